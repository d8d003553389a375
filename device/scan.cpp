#include "device/scan.h"

#include "device/class_lookup.h"
#include "device/instance_id.h"
#include "device/update_device.h"
#include "log/write_log.h"

#include <cstring>

#define CHECK_MATCH 0
#define CHECK_NO_MATCH 2

static BOOL ReadListDetail(HDEVINFO set, SP_DEVINFO_LIST_DETAIL_DATA_A* listDetail) {
    memset(listDetail, 0, sizeof(*listDetail));
    listDetail->cbSize = sizeof(*listDetail);
    return SetupDiGetDeviceInfoListDetailA(set, listDetail);
}

// CHECK_MATCH when the device's instance ID begins with the vendor prefix or cannot be read,
// else CHECK_NO_MATCH.
static DWORD CheckDevice(SP_DEVINFO_LIST_DETAIL_DATA_A* listDetail, SP_DEVINFO_DATA* deviceInfo) {
    char id[DEVICE_ID_SIZE];
    if (ReadDeviceInstanceId(listDetail, deviceInfo, id) != CR_SUCCESS)
        return CHECK_MATCH;
    WriteLog("Check Device : %s\n", id);
    return HasVendorPrefix(id) ? CHECK_MATCH : CHECK_NO_MATCH;
}

// DEVICE_FOUND when the class holds a phone (or a device that cannot be told apart from one),
// else 0.
static DWORD FindDevicesInClass(GUID classGuid) {
    LogClassHeader("remove devices", &classGuid);
    HDEVINFO set = SetupDiGetClassDevsExA(&classGuid, NULL, NULL, DIGCF_PRESENT, NULL, NULL, NULL);
    if (set == INVALID_HANDLE_VALUE)
        return 0;

    DWORD found = 0;
    SP_DEVINFO_DATA deviceInfo;
    SP_DEVINFO_LIST_DETAIL_DATA_A listDetail;
    for (DWORD index = 0; !found; ++index) {
        memset(&deviceInfo, 0, sizeof(deviceInfo));
        deviceInfo.cbSize = sizeof(deviceInfo);
        if (!SetupDiEnumDeviceInfo(set, index, &deviceInfo))
            break;
        // A device that cannot be examined may be the phone: count it as one.
        if (!ReadListDetail(set, &listDetail) ||
            CheckDevice(&listDetail, &deviceInfo) == CHECK_MATCH)
            found = DEVICE_FOUND;
    }
    SetupDiDestroyDeviceInfoList(set);
    return found;
}

DWORD DetectDevice(void) {
    GUID* classes;
    DWORD count;
    DWORD error = LookupUsbClasses(&classes, &count);
    if (error != 0)
        return error;

    DWORD found = 0;
    for (DWORD i = 0; i < count && !found; ++i)
        found = FindDevicesInClass(classes[i]);
    GlobalFree(classes);
    return found;
}

DWORD UpdateDevicesInClass(GUID classGuid) {
    LogClassHeader("update devices", &classGuid);
    HDEVINFO set = SetupDiGetClassDevsExA(&classGuid, NULL, NULL, DIGCF_PRESENT, NULL, NULL, NULL);
    if (set == INVALID_HANDLE_VALUE)
        return 0;

    DWORD result = 0;
    SP_DEVINFO_DATA deviceInfo;
    SP_DEVINFO_LIST_DETAIL_DATA_A listDetail;
    for (DWORD index = 0;; ++index) {
        memset(&deviceInfo, 0, sizeof(deviceInfo));
        deviceInfo.cbSize = sizeof(deviceInfo);
        if (!SetupDiEnumDeviceInfo(set, index, &deviceInfo))
            break;
        if (!ReadListDetail(set, &listDetail))
            continue;
        DWORD deviceResult = UpdateDevice(&listDetail, &deviceInfo);
        if (deviceResult != 0)
            result = deviceResult;
    }
    SetupDiDestroyDeviceInfoList(set);
    return result;
}

DWORD UpdateAllDevices(void) {
    GUID* classes;
    DWORD count;
    DWORD error = LookupUsbClasses(&classes, &count);
    if (error != 0)
        return error;

    DWORD result = 0;
    for (DWORD i = 0; i < count; ++i) {
        DWORD classResult = UpdateDevicesInClass(classes[i]);
        if (classResult != 0)
            result = classResult;
    }
    GlobalFree(classes);
    return result;
}
