// Random simulated PCs from a seed, for the reliability runner. The same seed gives the same PC
// on every platform: the generator uses its own splitmix64 stream and no standard distribution.
#pragma once

#include "sim/pc.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace rel {

// How often each kind of trouble is put into a PC. Each is a probability from 0 to 1; the
// runner takes --rate-NAME=VALUE for every name of RateOptions().
struct FaultRates {
    double phone = 0.85;            // the PC has a QEL phone's composite device
    double secondPhone = 0.2;       // and a second one
    double oddId = 0.2;             // a phone-like device with an odd instance ID
    double nonAsciiSerial = 0.1;    // a serial with non-ASCII (UTF-8) characters
    double longSerial = 0.08;       // an ID near the 199-character limit
    double idTooLong = 0.04;        // an ID of 200 or more characters (CR_BUFFER_SMALL)
    double lowerPrefix = 0.15;      // the vendor prefix in lower or mixed case
    double extraClass = 0.3;        // more setup classes, some not named "USB"
    double lookupFault = 0.05;      // the class lookup fails (122 with counts, or another code)
    double allocFault = 0.05;       // GlobalAlloc calls fail
    double classSetError = 0.03;    // a class's device set cannot be made
    double classEnumFail = 0.03;    // SetupDiEnumDeviceInfo fails at an index
    double listDetailFail = 0.03;   // SetupDiGetDeviceInfoListDetailA fails for a device
    double idFail = 0.03;           // CM_Get_Device_ID_ExA fails for a device
    double afterEnter = 0.08;       // a device shows up only after the prompt
    double usbccgp = 0.25;          // the phone is on usbccgp already
    double oddService = 0.3;        // the Service value has an odd type, length or key
    double loadError = 0.03;        // newdev.dll cannot be loaded
    double exportError = 0.03;      // its export is missing
    double installFail = 0.4;       // each scripted install outcome is a failure
    double failWhileAdbOff = 0.4;   // the installer fails while the phone's ADB is off
    double diskSetError = 0.05;     // disk-interface sets cannot be made
    double diskEnumFail = 0.03;     // SetupDiEnumDeviceInterfaces fails at an index
    double diskDetailFail = 0.03;   // SetupDiGetDeviceInterfaceDetailA fails at an index
    double diskOpenError = 0.05;    // a disk cannot be opened
    double diskRefuse = 0.12;       // a disk refuses commands
    double diskVanish = 0.04;       // a disk vanishes on a command (ERROR_DEV_NOT_EXIST)
    double diskLate = 0.05;         // a disk shows up late
    double diskGone = 0.03;         // a disk goes away after a while
    double longPath = 0.05;         // a disk path near or over the 1019-character limit
    double serialMissing = 0.08;    // the phone's disk path does not hold its serial
    double oddTemp = 0.15;          // TEMP missing, empty or of a length at a limit
    double logFolderMissing = 0.03; // the log folder does not exist
    double oldLog = 0.05;           // a log file from an earlier run exists
    double stdinLine = 0.5;         // the user presses Enter (else stdin is at its end)
    double threadFail = 0.02;       // the progress thread cannot be started
    double logOn = 0.85;            // the log switch is given
    double oddWindowsDir = 0.03;    // the Windows directory is long or cannot be read
    double slow = 0.1;              // calls take scripted virtual time
    double doubleByte = 0.1;        // the ANSI code page is a double-byte one (932 or 936)
    double reboot = 0.1;            // a successful install asks for a restart
    double ownConsole = 0.1;        // the tool is alone on its console (a window of its own)
    double wideTemp = 0.05;         // TEMP holds letters outside the ANSI code page
    double oddSystem = 0.1;         // an older Windows, not elevated, or the 64-bit build
};

struct RateOption {
    const char* name; // as in --rate-NAME
    double FaultRates::*member;
};

const std::vector<RateOption>& RateOptions();
// FALSE when name is unknown or value is not within 0 to 1.
bool SetRate(FaultRates* rates, const std::string& name, double value);

struct GeneratedPc {
    sim::Pc pc;
    std::vector<std::string> args;            // the tool's arguments
    std::map<std::string, unsigned> injected; // fault kind -> how many were put into this PC
};

// The rates of one seed, drawn from the seed itself (swarm testing): each is off, halved, as it
// stands, doubled or most of the time, so a seed's PC leans on a few kinds of trouble and leaves
// others out. The same seed gives the same rates everywhere.
FaultRates SwarmRates(uint64_t seed);
// The rates that differ from the defaults, as NAME=P pairs.
std::string DescribeRates(const FaultRates& rates);

GeneratedPc GeneratePc(uint64_t seed, const FaultRates& rates);

// The PC and arguments as a scenario file that sim::ParseScenario reads back to the same PC.
std::string DescribePc(const sim::Pc& pc, const std::vector<std::string>& args);

} // namespace rel
