// The storage stack of the simulated PC: disks opened by device path, and the phone behind a
// disk that answers SCSI pass-through requests.
#include "sim/pc.h"
#include "sim/scheduler.h"
#include "sim/winapi.h"

#include <cstring>

using namespace sim;

// Whether path, lower-cased, is lowerPath. Windows opens a device path whatever the case of its
// letters, accented ones too; in the single-byte code page without a copy, as it runs for every
// disk.
static bool SameLowerPath(const std::string& path, const std::string& lowerPath) {
    if (CurrentWorld().pc.ansiCodePage != 1252)
        return LowerDiskPath(path) == lowerPath;
    if (path.size() != lowerPath.size())
        return false;
    for (size_t i = 0; i < path.size(); ++i) {
        if ((char)LowerCp1252((unsigned char)path[i]) != lowerPath[i])
            return false;
    }
    return true;
}

static Disk* FindPresentDisk(const std::string& lowerPath) {
    World& w = CurrentWorld();
    if (w.vanishedDisks.count(lowerPath))
        return nullptr;
    for (Disk& disk : w.pc.disks)
        if (SameLowerPath(disk.path, lowerPath) && w.nowMs >= disk.presentFromMs &&
            w.nowMs < disk.presentUntilMs)
            return &disk;
    return nullptr;
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition, DWORD, HANDLE) {
    World& w = CurrentWorld();
    std::string path = LowerDiskPath(lpFileName ? lpFileName : "");
    Disk* disk = FindPresentDisk(path);
    DWORD error = disk == nullptr ? ERROR_FILE_NOT_FOUND : disk->openError;
    if (!error && (dwCreationDisposition != OPEN_EXISTING ||
                   dwDesiredAccess != (GENERIC_READ | GENERIC_WRITE) ||
                   dwShareMode != (FILE_SHARE_READ | FILE_SHARE_WRITE)))
        error = ERROR_INVALID_PARAMETER;
    if (error) {
        Trace("CreateFileA(\"%s\") = INVALID_HANDLE_VALUE (%u)", lpFileName, (unsigned)error);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    uintptr_t handle = NewHandleValue();
    w.diskHandles[handle] = path;
    LedgerOpen(handle, Resource::Handle, "disk " + path);
    Trace("CreateFileA(\"%s\") = handle %#llx", lpFileName, (unsigned long long)handle);
    return (HANDLE)handle;
}

bool CloseDiskHandle(uintptr_t handle) {
    World& w = CurrentWorld();
    if (!w.diskHandles.count(handle))
        return false;
    w.diskHandles.erase(handle);
    LedgerClose(handle, Resource::Handle);
    return true;
}

// The phone's answer to a well-formed ADB mode command: it switches its ADB interface.
static void PhoneTakesCommand(const Disk& disk, const SCSI_PASS_THROUGH* header) {
    static const UCHAR command[5] = {0x16, 'q', 'e', 'l', 0x80};
    if (disk.phoneSerial.empty() || memcmp(header->Cdb, command, sizeof(command)) != 0)
        return;
    UCHAR mode = header->Cdb[5];
    if (mode != 1 && mode != 2)
        return;
    for (SetupClass& c : CurrentWorld().pc.classes)
        for (Device& d : c.devices)
            if (Lower(SerialOf(d.instanceId)) == Lower(disk.phoneSerial))
                d.adbOn = mode == 1;
}

static Outcome NextReply(const Disk& disk) {
    World& w = CurrentWorld();
    size_t& next = w.diskReplyIndex[LowerDiskPath(disk.path)];
    return next < disk.replies.size() ? disk.replies[next++] : Outcome{};
}

// The storage stack's checks of a pass-through request before it goes to the device: 0 when the
// request may go on, else the error it fails with. Field values that no request may carry give
// ERROR_INVALID_PARAMETER; a request whose areas do not lie in the output buffer gives
// ERROR_INVALID_USER_BUFFER, the buffer not being valid for the operation.
static DWORD CheckPassThrough(const SCSI_PASS_THROUGH* header, DWORD inLength, LPVOID out,
                              DWORD outLength) {
    if (header == NULL || inLength < sizeof(SCSI_PASS_THROUGH) ||
        header->Length != sizeof(SCSI_PASS_THROUGH) || header->CdbLength > 16 ||
        header->DataIn > SCSI_IOCTL_DATA_UNSPECIFIED || header->TimeOutValue == 0)
        return ERROR_INVALID_PARAMETER;
    uint64_t dataEnd = (uint64_t)header->DataBufferOffset + header->DataTransferLength;
    uint64_t senseEnd = (uint64_t)header->SenseInfoOffset + header->SenseInfoLength;
    bool dataInside = header->DataTransferLength == 0 ||
                      (header->DataBufferOffset >= header->Length && dataEnd <= outLength);
    bool senseInside = header->SenseInfoLength == 0 ||
                       (header->SenseInfoOffset >= header->Length && senseEnd <= outLength);
    if (out == NULL || !dataInside || !senseInside)
        return ERROR_INVALID_USER_BUFFER;
    return 0;
}

BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer,
                            DWORD nInBufferSize, LPVOID lpOutBuffer, DWORD nOutBufferSize,
                            LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped) {
    World& w = CurrentWorld();
    auto handle = w.diskHandles.find((uintptr_t)hDevice);
    if (handle == w.diskHandles.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    AdbRequest request;
    request.diskPath = handle->second;
    request.atMs = w.nowMs;
    request.ioctl = dwIoControlCode;
    request.inLength = nInBufferSize;
    request.outLength = nOutBufferSize;
    if (lpInBuffer) {
        DWORD recorded = nInBufferSize > nOutBufferSize ? nInBufferSize : nOutBufferSize;
        const uint8_t* bytes = (const uint8_t*)lpInBuffer;
        request.bytes.assign(bytes, bytes + recorded);
    }

    const SCSI_PASS_THROUGH* header = (const SCSI_PASS_THROUGH*)lpInBuffer;
    Disk* disk = FindPresentDisk(handle->second);
    Outcome outcome;
    if (disk == nullptr)
        outcome.error = ERROR_DEV_NOT_EXIST;
    else if (dwIoControlCode != IOCTL_SCSI_PASS_THROUGH || lpOverlapped != NULL)
        outcome.error = ERROR_INVALID_PARAMETER;
    else if ((outcome.error =
                  CheckPassThrough(header, nInBufferSize, lpOutBuffer, nOutBufferSize)) == 0)
        outcome = NextReply(*disk); // only a request that passed reaches the phone
    if (outcome.ms)
        Block(outcome.ms);
    if (outcome.vanish) {
        outcome.error = ERROR_DEV_NOT_EXIST;
        w.vanishedDisks.insert(handle->second);
    }
    if (outcome.error == 0 && disk) {
        PhoneTakesCommand(*disk, header);
        ((SCSI_PASS_THROUGH*)lpOutBuffer)->ScsiStatus = outcome.scsiStatus;
    }
    request.error = outcome.error;
    char cdb[40] = "";
    if (header && nInBufferSize >= sizeof(SCSI_PASS_THROUGH))
        snprintf(cdb, sizeof(cdb), "%02X %02X %02X %02X %02X %02X", header->Cdb[0], header->Cdb[1],
                 header->Cdb[2], header->Cdb[3], header->Cdb[4], header->Cdb[5]);
    Trace("DeviceIoControl(\"%s\", %#x, in %u, out %u, cdb %s) = %s (%u)", handle->second.c_str(),
          (unsigned)dwIoControlCode, (unsigned)nInBufferSize, (unsigned)nOutBufferSize, cdb,
          outcome.error ? "FALSE" : "TRUE", (unsigned)outcome.error);
    w.adbRequests.push_back(std::move(request));
    if (lpBytesReturned)
        *lpBytesReturned = outcome.error ? 0 : (DWORD)sizeof(SCSI_PASS_THROUGH);
    SetLastError(outcome.error);
    return outcome.error == 0;
}
