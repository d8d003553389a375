// Large simulated PCs for the benchmarks.
#pragma once

#include "sim/pc.h"

#include <cstddef>
#include <string>

namespace qbench {

extern const char kPhoneSerial[];

// A PC with `devices` present devices spread round-robin over four setup classes named "USB",
// each with its Enum key and Service value. The QEL Tarrow (composite device already on
// usbccgp, and one interface) are the last two devices of the last class, so a detection walks
// every device before it finds the phone and a repair pass installs nothing.
sim::Pc LargePc(size_t devices);

// A PC with `disks` present disk interfaces; the last one is the phone's disk.
sim::Pc DiskPc(size_t disks);

// A scenario file of the source tree, e.g. "scenarios/default.toml"; aborts when it fails.
sim::Pc LoadSourceScenario(const std::string& relativePath);

} // namespace qbench
