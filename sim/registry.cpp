// The registry of the simulated PC: keys below HKEY_LOCAL_MACHINE, read only.
#include "sim/pc.h"
#include "sim/winapi.h"

#include <cstring>

using namespace sim;

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired,
                             PHKEY phkResult) {
    World& w = CurrentWorld();
    if (hKey != HKEY_LOCAL_MACHINE || lpSubKey == NULL || ulOptions != 0 || phkResult == NULL) {
        Trace("RegOpenKeyExA() = 87");
        return ERROR_INVALID_PARAMETER;
    }
    auto it = w.pc.registry.find(Lower(lpSubKey));
    LSTATUS status = it == w.pc.registry.end() ? ERROR_FILE_NOT_FOUND : it->second.openError;
    if (status == ERROR_SUCCESS && samDesired != KEY_READ)
        status = ERROR_ACCESS_DENIED; // the tool only ever reads
    if (status != ERROR_SUCCESS) {
        Trace("RegOpenKeyExA(HKLM\\%s) = %ld", lpSubKey, (long)status);
        return status;
    }
    uintptr_t handle = NewHandleValue();
    w.keys[handle] = it->first;
    LedgerOpen(handle, Resource::Key, lpSubKey);
    *phkResult = (HKEY)handle;
    Trace("RegOpenKeyExA(HKLM\\%s) = 0 key %#llx", lpSubKey, (unsigned long long)handle);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    World& w = CurrentWorld();
    auto key = w.keys.find((uintptr_t)hKey);
    if (key == w.keys.end() || lpReserved != NULL || (lpData != NULL && lpcbData == NULL))
        return ERROR_INVALID_PARAMETER;
    const RegKey& regKey = w.pc.registry.at(key->second);
    auto value = regKey.values.find(Lower(lpValueName ? lpValueName : ""));
    if (value == regKey.values.end()) {
        Trace("RegQueryValueExA(\"%s\") = 2", lpValueName);
        return ERROR_FILE_NOT_FOUND;
    }
    const RegValue& v = value->second;
    if (lpType)
        *lpType = v.type;
    DWORD size = (DWORD)v.data.size();
    LSTATUS status = ERROR_SUCCESS;
    if (lpData != NULL && *lpcbData < size)
        status = ERROR_MORE_DATA;
    else if (lpData != NULL && size)
        memcpy(lpData, v.data.data(), size);
    if (lpcbData)
        *lpcbData = size;
    Trace("RegQueryValueExA(\"%s\") = %ld type=%u size=%u", lpValueName, (long)status,
          (unsigned)v.type, (unsigned)size);
    return status;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    uintptr_t handle = (uintptr_t)hKey;
    Trace("RegCloseKey(key %#llx)", (unsigned long long)handle);
    if (!LedgerClose(handle, Resource::Key))
        return ERROR_INVALID_HANDLE;
    CurrentWorld().keys.erase(handle);
    return ERROR_SUCCESS;
}
