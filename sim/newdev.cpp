// The driver installer of the simulated PC: newdev.dll and UpdateDriverForPlugAndPlayDevicesA.
#include "sim/pc.h"
#include "sim/scheduler.h"
#include "sim/winapi.h"

using namespace sim;

static const uintptr_t kNewdevModule = 0x6E650000;

// Whether every phone with this hardware ID has its ADB interface off.
static bool PhoneAdbOff(const std::string& hardwareId) {
    for (const SetupClass& c : CurrentWorld().pc.classes)
        for (const Device& d : c.devices)
            if (Lower(d.instanceId.substr(0, 21)) == Lower(hardwareId) && d.adbOn)
                return false;
    return true;
}

// A successful install puts usbccgp on the composite devices with this hardware ID.
static bool BindComposite(const std::string& hardwareId) {
    bool bound = false;
    World& w = CurrentWorld();
    for (const SetupClass& c : w.pc.classes)
        for (const Device& d : c.devices) {
            const std::string& id = d.instanceId;
            if (id.size() > 21 && id[21] == '\\' && Lower(id.substr(0, 21)) == Lower(hardwareId)) {
                SetService(w.pc, id, "usbccgp");
                bound = true;
            }
        }
    return bound;
}

static DWORD InstallOutcome(const std::string& hardwareId, const std::string& infPath, uint64_t* ms,
                            bool* reboot) {
    World& w = CurrentWorld();
    const Installer& installer = w.pc.installer;
    *ms = installer.ms;
    if (Lower(infPath) != Lower(w.pc.windowsDir + "\\inf\\usb.inf"))
        return ERROR_FILE_NOT_FOUND;
    if (installer.failWhileAdbOff && PhoneAdbOff(hardwareId))
        return installer.failWhileAdbOff;
    if (w.installCallIndex < installer.outcomes.size()) {
        const Outcome& outcome = installer.outcomes[w.installCallIndex++];
        if (outcome.ms)
            *ms = outcome.ms;
        *reboot = outcome.reboot;
        return outcome.error;
    }
    return 0;
}

static BOOL WINAPI SimUpdateDriverForPlugAndPlayDevicesA(HWND hwndParent, LPCSTR HardwareId,
                                                         LPCSTR FullInfPath, DWORD InstallFlags,
                                                         PBOOL bRebootRequired) {
    World& w = CurrentWorld();
    InstallCall call;
    call.hardwareId = HardwareId ? HardwareId : "";
    call.infPath = FullInfPath ? FullInfPath : "";
    call.flags = InstallFlags;
    call.atMs = w.nowMs;
    uint64_t ms = 0;
    bool reboot = false;
    DWORD error = hwndParent != NULL || HardwareId == NULL || FullInfPath == NULL
                      ? ERROR_INVALID_PARAMETER
                      : InstallOutcome(call.hardwareId, call.infPath, &ms, &reboot);
    if (error == 0 && !BindComposite(call.hardwareId))
        error = ERROR_NO_SUCH_DEVINST;
    if (ms)
        Block(ms);
    call.error = error;
    call.reboot = error == 0 && reboot;
    Trace("UpdateDriverForPlugAndPlayDevicesA(\"%s\", \"%s\", %#x) = %s (%#x)%s",
          call.hardwareId.c_str(), call.infPath.c_str(), (unsigned)InstallFlags,
          error ? "FALSE" : "TRUE", (unsigned)error, call.reboot ? ", restart required" : "");
    if (bRebootRequired)
        *bRebootRequired = call.reboot ? TRUE : FALSE;
    w.installCalls.push_back(call);
    SetLastError(error);
    return error == 0;
}

HMODULE WINAPI LoadLibraryA(LPCSTR lpLibFileName) {
    World& w = CurrentWorld();
    DWORD error = Lower(lpLibFileName ? lpLibFileName : "") == "newdev.dll"
                      ? w.pc.installer.loadError
                      : ERROR_MOD_NOT_FOUND;
    if (error) {
        Trace("LoadLibraryA(\"%s\") = NULL (%u)", lpLibFileName, (unsigned)error);
        SetLastError(error);
        return NULL;
    }
    uintptr_t module = kNewdevModule + NewHandleValue();
    w.libraries.insert(module);
    LedgerOpen(module, Resource::Library, lpLibFileName);
    Trace("LoadLibraryA(\"%s\") = module %#llx", lpLibFileName, (unsigned long long)module);
    return (HMODULE)module;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    World& w = CurrentWorld();
    DWORD error = 0;
    if (!w.libraries.count((uintptr_t)hModule))
        error = ERROR_INVALID_HANDLE;
    else if (w.pc.installer.exportError)
        error = w.pc.installer.exportError;
    else if (std::string(lpProcName) != "UpdateDriverForPlugAndPlayDevicesA")
        error = ERROR_PROC_NOT_FOUND;
    if (error) {
        Trace("GetProcAddress(\"%s\") = NULL (%u)", lpProcName, (unsigned)error);
        SetLastError(error);
        return NULL;
    }
    Trace("GetProcAddress(\"%s\") = export", lpProcName);
    return reinterpret_cast<FARPROC>(
        reinterpret_cast<void (*)(void)>(&SimUpdateDriverForPlugAndPlayDevicesA));
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule) {
    uintptr_t module = (uintptr_t)hLibModule;
    Trace("FreeLibrary(module %#llx)", (unsigned long long)module);
    if (!LedgerClose(module, Resource::Library)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    CurrentWorld().libraries.erase(module);
    return TRUE;
}
