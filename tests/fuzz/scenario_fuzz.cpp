// libFuzzer target over the scenario parser: whatever the bytes, ParseScenario either gives a PC
// or an error naming the source and a line, and never crashes, hangs or leaks. A PC it gives
// prints as a scenario that reads back to the same PC, as long as a scenario file can hold the
// PC's text (the code page's case mapping can leave bytes in a name that are not UTF-8).
#include "sim/scenario.h"
#include "sim/scenario_keys.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what, const std::string& detail) {
    fprintf(stderr, "%s\n%s\n", what, detail.c_str());
    abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    sim::Pc pc;
    std::string error;
    if (!sim::ParseScenario(text, "fuzz.toml", &pc, &error)) {
        // A malformed scenario is reported as "fuzz.toml:LINE: problem".
        if (error.rfind("fuzz.toml:", 0) != 0 || error.size() <= sizeof("fuzz.toml:"))
            Fail("unclear scenario error:", error);
        return 0;
    }
    std::string printed = sim::PrintScenario(pc);
    if (!sim::IsScenarioText(printed))
        return 0;
    sim::Pc again;
    if (!sim::ParseScenario(printed, "printed.toml", &again, &error))
        Fail("the printed scenario does not parse:", error + "\n" + printed);
    if (sim::PrintScenario(again) != printed)
        Fail("the printed scenario reads back as another PC:", printed);
    return 0;
}
