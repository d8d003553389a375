#include "test_support.h"

using namespace qtest;

static const char kBanner[] = "===============================\n"
                              "QEL Android driver update tool\n"
                              "===============================\n"
                              "\nDetecting \"QEL Tarrow\" on your PC...";

TEST(RunSequence, PhoneAlreadyOnComposite) {
    sim::RunResult r = RunClean(PhonePc("usbccgp"));
    EXPECT_EQ(r.console, std::string(kBanner) + ".\nUpdating driver...\nDriver updated.\n");
    EXPECT_EQ(r.exitCode, 0u);
}
