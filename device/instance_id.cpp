#include "device/instance_id.h"

#include "device/ansi_text.h"

#include <cstring>

CONFIGRET ReadDeviceInstanceId(const SP_DEVINFO_LIST_DETAIL_DATA_A* listDetail,
                               const SP_DEVINFO_DATA* deviceInfo, char* id) {
    memset(id, 0, DEVICE_ID_SIZE);
    CONFIGRET result = CM_Get_Device_ID_ExA(deviceInfo->DevInst, id, DEVICE_ID_SIZE, 0,
                                            listDetail->RemoteMachineHandle);
    // Whatever the service wrote, the ID is read as text that ends inside the buffer.
    id[DEVICE_ID_SIZE - 1] = '\0';
    return result;
}

BOOL HasVendorPrefix(const char* id) {
    return StartsWithNoCase(id, VENDOR_PREFIX);
}
