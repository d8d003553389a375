/* The phone's USB disk for the Wine tests: a kernel driver, loaded by Wine's winedevice, that
 * creates one disk device with the \??\ link the tool opens and answers its SCSI pass-through
 * requests as a script file says, recording every request's bytes to a file.
 *
 * Script (C:\qel\scsi-script.txt): whitespace-separated NTSTATUS values in hex, one per
 * request in order; requests after the last are accepted (0).
 * Record (C:\qel\scsi-requests.bin): one fixed-size record per request, see ScsiRecord. The
 * harness deletes it between cases, which also restarts the script: the number of records so far
 * is the index of the next request. */
#include <ntddk.h>

#define IOCTL_SCSI_PASS_THROUGH_CODE 0x0004D004
#define RECORD_BYTES 64

/* The serial must match the phone the harness puts in the registry. */
#define DISK_LINK                                                                                  \
    L"\\??\\usbstor#disk&ven_qel&prod_tarrow&rev_0001#qel0123456789ab&0#"                         \
    L"{53f56307-b6bf-11d0-94f2-00a0c91efb8b}"
#define SCRIPT_PATH L"\\??\\C:\\qel\\scsi-script.txt"
#define RECORD_PATH L"\\??\\C:\\qel\\scsi-requests.bin"

typedef struct ScsiRecord {
    ULONG IoControlCode;
    ULONG InputLength;
    ULONG OutputLength;
    ULONG Status; /* what this request was answered with */
    UCHAR Input[RECORD_BYTES]; /* the first bytes of the input, zero-filled behind it */
} ScsiRecord;

static PDEVICE_OBJECT g_disk;

static NTSTATUS OpenFile(HANDLE* file, const WCHAR* path, ACCESS_MASK access, ULONG disposition) {
    UNICODE_STRING name;
    OBJECT_ATTRIBUTES attributes;
    IO_STATUS_BLOCK io;
    RtlInitUnicodeString(&name, path);
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                               NULL);
    return ZwCreateFile(file, access | SYNCHRONIZE, &attributes, &io, NULL, FILE_ATTRIBUTE_NORMAL,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, disposition,
                        FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, NULL, 0);
}

/* The number of requests recorded so far. */
static ULONG RecordedRequests(void) {
    HANDLE file;
    IO_STATUS_BLOCK io;
    FILE_STANDARD_INFORMATION info;
    ULONG count = 0;
    if (!NT_SUCCESS(OpenFile(&file, RECORD_PATH, FILE_READ_ATTRIBUTES, FILE_OPEN)))
        return 0;
    if (NT_SUCCESS(ZwQueryInformationFile(file, &io, &info, sizeof(info),
                                          FileStandardInformation)))
        count = (ULONG)(info.EndOfFile.QuadPart / sizeof(ScsiRecord));
    ZwClose(file);
    return count;
}

static int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

/* The scripted answer to request number index. */
static NTSTATUS ScriptedStatus(ULONG index) {
    HANDLE file;
    IO_STATUS_BLOCK io;
    char text[1024];
    ULONG length, i, value = 0, count = 0;
    int inNumber = 0;
    if (!NT_SUCCESS(OpenFile(&file, SCRIPT_PATH, GENERIC_READ, FILE_OPEN)))
        return STATUS_SUCCESS;
    if (!NT_SUCCESS(ZwReadFile(file, NULL, NULL, NULL, &io, text, sizeof(text) - 1, NULL, NULL)))
        io.Information = 0;
    ZwClose(file);
    length = (ULONG)io.Information;
    text[length] = ' ';
    for (i = 0; i <= length; ++i) {
        int digit = HexDigit(text[i]);
        if (digit >= 0) {
            value = value * 16 + (ULONG)digit;
            inNumber = 1;
        } else if (inNumber) {
            if (count == index)
                return (NTSTATUS)value;
            ++count;
            value = 0;
            inNumber = 0;
        }
    }
    return STATUS_SUCCESS;
}

static void Record(const ScsiRecord* record) {
    HANDLE file;
    IO_STATUS_BLOCK io;
    if (!NT_SUCCESS(OpenFile(&file, RECORD_PATH, FILE_APPEND_DATA, FILE_OPEN_IF)))
        return;
    ZwWriteFile(file, NULL, NULL, NULL, &io, (PVOID)record, sizeof(*record), NULL, NULL);
    ZwClose(file);
}

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS NTAPI DispatchOpenClose(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    const UCHAR* input = irp->AssociatedIrp.SystemBuffer;
    ScsiRecord record;
    NTSTATUS status;
    (void)device;

    RtlZeroMemory(&record, sizeof(record));
    record.IoControlCode = stack->Parameters.DeviceIoControl.IoControlCode;
    record.InputLength = inLength;
    record.OutputLength = outLength;
    if (input != NULL)
        RtlCopyMemory(record.Input, input, inLength < RECORD_BYTES ? inLength : RECORD_BYTES);
    status = record.IoControlCode == IOCTL_SCSI_PASS_THROUGH_CODE
                 ? ScriptedStatus(RecordedRequests())
                 : STATUS_INVALID_DEVICE_REQUEST;
    record.Status = (ULONG)status;
    Record(&record);
    /* On success the reply is the header as sent, as a disk that had nothing to say. */
    return Complete(irp, status, NT_SUCCESS(status) ? (inLength < outLength ? inLength : outLength)
                                                    : 0);
}

static void NTAPI DriverUnload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    (void)driver;
    RtlInitUnicodeString(&link, DISK_LINK);
    IoDeleteSymbolicLink(&link);
    if (g_disk != NULL)
        IoDeleteDevice(g_disk);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    UNICODE_STRING name, link;
    NTSTATUS status;
    (void)registryPath;

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->DriverUnload = DriverUnload;

    RtlInitUnicodeString(&name, L"\\Device\\QelScsiDisk0");
    status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_DISK, 0, FALSE, &g_disk);
    if (!NT_SUCCESS(status))
        return status;
    g_disk->Flags |= DO_BUFFERED_IO;
    RtlInitUnicodeString(&link, DISK_LINK);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(g_disk);
        g_disk = NULL;
    }
    return status;
}
