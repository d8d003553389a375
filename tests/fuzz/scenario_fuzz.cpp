// libFuzzer target over the scenario parser: whatever the bytes, ParseScenario either gives a PC
// or an error naming the source and a line, and never crashes, hangs or leaks.
#include "sim/scenario.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    sim::Pc pc;
    std::string error;
    if (!sim::ParseScenario(text, "fuzz.toml", &pc, &error)) {
        // A malformed scenario is reported as "fuzz.toml:LINE: problem".
        if (error.rfind("fuzz.toml:", 0) != 0 || error.size() <= sizeof("fuzz.toml:")) {
            fprintf(stderr, "unclear scenario error: '%s'\n", error.c_str());
            abort();
        }
    }
    return 0;
}
