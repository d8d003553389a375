#include "adb/disk_interfaces.h"

#include "log/write_log.h"

int EnumDiskInterfaces(PATH_LIST* list, HDEVINFO set) {
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail =
        (PSP_DEVICE_INTERFACE_DETAIL_DATA_A)GlobalAlloc(GPTR, DISK_DETAIL_SIZE);
    SP_DEVICE_INTERFACE_DATA interfaceData;
    for (DWORD index = 0; detail != NULL; ++index) {
        interfaceData.cbSize = sizeof(interfaceData);
        if (!SetupDiEnumDeviceInterfaces(set, NULL, &GUID_DEVINTERFACE_DISK, index, &interfaceData))
            break;
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, DISK_DETAIL_SIZE, NULL,
                                              NULL))
            break;
        // The path ends inside the buffer whatever the service wrote.
        ((char*)detail)[DISK_DETAIL_SIZE - 1] = '\0';
        if (!AppendPath(list, detail->DevicePath))
            break;
        WriteLog("InterfaceDevice : %s\n", detail->DevicePath);
    }
    if (detail != NULL)
        GlobalFree(detail);
    SetupDiDestroyDeviceInfoList(set);
    return (int)list->Count;
}
