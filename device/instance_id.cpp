#include "device/instance_id.h"

#include "text/ansi_text.h"

#include <cstring>

CONFIGRET ReadDeviceInstanceId(const SP_DEVINFO_LIST_DETAIL_DATA_A* listDetail,
                               const SP_DEVINFO_DATA* deviceInfo, char* id) {
    memset(id, 0, DEVICE_ID_SIZE);
    // CM_Get_Device_ID_ExA, with the fallback that Wine needs (see platform/seam.h).
    CONFIGRET result = GetDeviceIdWithWineFallback(deviceInfo->DevInst, id, DEVICE_ID_SIZE,
                                                   listDetail->RemoteMachineHandle);
    // Whatever the service wrote, the ID is read as text that ends inside the buffer.
    id[DEVICE_ID_SIZE - 1] = '\0';
    return result;
}

BOOL HasVendorPrefix(const char* id) {
    return StartsWithNoCase(id, VENDOR_PREFIX);
}
