// The ADB mode command: a vendor command block in a SCSI pass-through request to the phone's
// disk that switches the phone's ADB interface on or off.
#pragma once

#include "platform/platform.h"

#define ADB_SENSE_SIZE 32
#define ADB_DATA_SIZE 512
#define ADB_CDB_LENGTH 6
// The field counts seconds (5000 s, not 5 s): a slow phone is left to answer, never cut short
// by the storage stack's time-out.
#define ADB_TIMEOUT_SECONDS 5000
#define ADB_MODE_ON 1
#define ADB_MODE_OFF 2

// The request as the storage stack sees it; the stack writes its reply over it.
typedef struct AdbModeRequest {
    SCSI_PASS_THROUGH Header;
    ULONG Filler;
    UCHAR SenseArea[ADB_SENSE_SIZE];
    UCHAR DataArea[ADB_DATA_SIZE];
} AdbModeRequest;

// The phone expects the 592-byte request of 32-bit Windows wherever the header has that size.
static_assert(sizeof(SCSI_PASS_THROUGH) != 44 || sizeof(AdbModeRequest) == 592);

// Fills the request for mode 1 (on) or 2 (off).
void BuildAdbModeRequest(AdbModeRequest* request, BOOL on);

// TRUE when the command was accepted, or the device is gone (ERROR_DEV_NOT_EXIST).
BOOL SendAdbModeCommand(HANDLE handle, BOOL on);
