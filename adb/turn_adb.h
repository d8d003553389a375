// The ADB mode switch over all disks: finds the phone's disks by its serial and sends each the
// command. One pass lists the disks, one disk gets the command until it accepts.
#pragma once

#include "platform/platform.h"

// A second listing, a second later, catches a phone disk that shows up late; then it gives up.
#define ADB_PASSES 2
// Twenty tries a second apart give a busy phone about 20 s to take the command.
#define ADB_ATTEMPTS_PER_DISK 20
#define ADB_WAIT_MS 1000
// The lowered serial: a serial from a 200-character instance ID, with room for a double-byte
// code page's mapping to grow it.
#define DEVICE_FILTER_SIZE 512
// The lowered serial: a serial from a 200-character instance ID, with room for a double-byte
// code page's mapping to grow it.
#define DEVICE_FILTER_SIZE 512

// Switches ADB on or off on every present disk whose lower-cased path holds the lower-cased
// serial. Works on a copy of its own, so the caller's serial stays unchanged and the caller's.
// 1 when any disk accepted the command, else 0.
int TurnAdb(BOOL on, const char* serial);
