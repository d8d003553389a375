#include "adb/adb_command.h"

#include "log/write_log.h"

#include <cstddef>
#include <cstring>

static const UCHAR kAdbCommandBlock[ADB_CDB_LENGTH - 1] = {0x16, 'q', 'e', 'l', 0x80};

void BuildAdbModeRequest(AdbModeRequest* request, BOOL on) {
    memset(request, 0, sizeof(*request));
    SCSI_PASS_THROUGH* header = &request->Header;
    header->Length = sizeof(SCSI_PASS_THROUGH);
    header->TargetId = 1;
    header->CdbLength = ADB_CDB_LENGTH;
    header->SenseInfoLength = ADB_SENSE_SIZE;
    header->DataIn = SCSI_IOCTL_DATA_IN;
    header->DataTransferLength = ADB_DATA_SIZE;
    header->TimeOutValue = ADB_TIMEOUT_SECONDS;
    header->DataBufferOffset = offsetof(AdbModeRequest, DataArea);
    header->SenseInfoOffset = offsetof(AdbModeRequest, SenseArea);
    memcpy(header->Cdb, kAdbCommandBlock, sizeof(kAdbCommandBlock));
    header->Cdb[ADB_CDB_LENGTH - 1] = on ? ADB_MODE_ON : ADB_MODE_OFF;
}

BOOL SendAdbModeCommand(HANDLE handle, BOOL on) {
    if (handle == NULL)
        return FALSE;

    AdbModeRequest request;
    BuildAdbModeRequest(&request, on);
    DWORD returned = 0;
    if (DeviceIoControl(handle, IOCTL_SCSI_PASS_THROUGH, &request, sizeof(SCSI_PASS_THROUGH),
                        &request, sizeof(request), &returned, NULL))
        return TRUE;

    DWORD error = GetLastError();
    WriteLog("turn on/off ADB fail: %x\n", (unsigned)error);
    return error == ERROR_DEV_NOT_EXIST;
}
