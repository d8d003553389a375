#include "device/usb_composite.h"

#include "text/ansi_text.h"
#include "log/write_log.h"

#include <cstdio>
#include <cstring>

int CheckUsbComposite(const char* deviceInstanceId) {
    char keyPath[REGISTRY_KEY_SIZE];
    snprintf(keyPath, sizeof(keyPath), "SYSTEM\\CurrentControlSet\\Enum\\%s", deviceInstanceId);
    WriteLog("check usb composite: %s\n", keyPath);

    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return USB_COMPOSITE_NEEDS_REPAIR;

    int result = USB_COMPOSITE_NEEDS_REPAIR;
    DWORD type = 0;
    DWORD size = SERVICE_VALUE_SIZE;
    // One byte more than the read may fill, so a value without its zero still ends as text.
    char value[SERVICE_VALUE_SIZE + 1];
    memset(value, 0, sizeof(value));
    if (RegQueryValueExA(key, "Service", NULL, &type, (LPBYTE)value, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        WriteLog("%s: Service = %s\n", deviceInstanceId, value);
        if (EqualsNoCase(value, "usbccgp"))
            result = USB_COMPOSITE_SERVED;
    }
    RegCloseKey(key);
    return result;
}
