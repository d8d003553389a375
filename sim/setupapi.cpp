// Device installation services of the simulated PC: setup classes, device-information sets of
// present devices and of disk interfaces, records and instance IDs.
#include "sim/pc.h"
#include "sim/winapi.h"

#include <cstddef>
#include <cstring>

using namespace sim;

const GUID GUID_DEVINTERFACE_DISK = {
    0x53f56307, 0xb6bf, 0x11d0, {0x94, 0xf2, 0x00, 0xa0, 0xc9, 0x1e, 0xfb, 0x8b}};

static const DWORD kDevInstShift = 20;

static bool SameGuid(const GUID& a, const GUID& b) {
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}

static BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

static SetState* FindSet(HDEVINFO set) {
    auto it = CurrentWorld().sets.find((uintptr_t)set);
    return it == CurrentWorld().sets.end() ? nullptr : &it->second;
}

BOOL WINAPI SetupDiClassGuidsFromNameExA(PCSTR ClassName, LPGUID ClassGuidList,
                                         DWORD ClassGuidListSize, PDWORD RequiredSize,
                                         PCSTR MachineName, void*) {
    World& w = CurrentWorld();
    unsigned call = w.lookupCalls++;
    if (MachineName != NULL)
        return Fail(ERROR_INVALID_PARAMETER);
    if (call < w.pc.lookupFaults.size()) {
        const LookupFault& fault = w.pc.lookupFaults[call];
        if (RequiredSize)
            *RequiredSize = fault.count;
        Trace("SetupDiClassGuidsFromNameExA(\"%s\", %u) = FALSE (%u) count=%u", ClassName,
              (unsigned)ClassGuidListSize, (unsigned)fault.error, (unsigned)fault.count);
        return Fail(fault.error);
    }
    DWORD count = 0;
    for (const SetupClass& c : w.pc.classes) {
        if (Lower(c.name) != Lower(ClassName))
            continue;
        if (count < ClassGuidListSize)
            ClassGuidList[count] = c.guid;
        ++count;
    }
    if (RequiredSize)
        *RequiredSize = count;
    if (count > ClassGuidListSize) {
        Trace("SetupDiClassGuidsFromNameExA(\"%s\", %u) = FALSE (122) count=%u", ClassName,
              (unsigned)ClassGuidListSize, (unsigned)count);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    Trace("SetupDiClassGuidsFromNameExA(\"%s\", %u) = TRUE count=%u", ClassName,
          (unsigned)ClassGuidListSize, (unsigned)count);
    return TRUE;
}

static HDEVINFO NewSet(SetState state, const std::string& what) {
    uintptr_t handle = NewHandleValue();
    CurrentWorld().sets[handle] = std::move(state);
    LedgerOpen(handle, Resource::Set, what);
    return (HDEVINFO)handle;
}

static bool DiskPresent(const Disk& disk) {
    const World& w = CurrentWorld();
    return w.nowMs >= disk.presentFromMs && w.nowMs < disk.presentUntilMs &&
           (w.vanishedDisks.empty() || !w.vanishedDisks.count(LowerDiskPath(disk.path)));
}

static HDEVINFO MakeDiskSet(DWORD Flags) {
    World& w = CurrentWorld();
    unsigned call = w.diskSetCalls++;
    DWORD error = call < w.pc.diskSetErrors.size() ? w.pc.diskSetErrors[call] : 0;
    if (Flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE))
        error = ERROR_INVALID_PARAMETER;
    if (error) {
        Trace("SetupDiGetClassDevsA(disk interfaces, %#x) = INVALID_HANDLE_VALUE (%u)",
              (unsigned)Flags, (unsigned)error);
        SetLastError(error);
        return INVALID_HANDLE_VALUE;
    }
    SetState state;
    state.disks = true;
    for (size_t i = 0; i < w.pc.disks.size(); ++i)
        if (DiskPresent(w.pc.disks[i]))
            state.members.push_back(i);
    size_t count = state.members.size();
    HDEVINFO set = NewSet(std::move(state), "disk interfaces");
    Trace("SetupDiGetClassDevsA(disk interfaces, %#x) = set %#llx (%zu interfaces)",
          (unsigned)Flags, (unsigned long long)(uintptr_t)set, count);
    return set;
}

static HDEVINFO MakeClassSet(const GUID* ClassGuid, DWORD Flags) {
    World& w = CurrentWorld();
    for (size_t c = 0; c < w.pc.classes.size(); ++c) {
        const SetupClass& setupClass = w.pc.classes[c];
        if (!SameGuid(setupClass.guid, *ClassGuid))
            continue;
        if (setupClass.setError || Flags != DIGCF_PRESENT) {
            DWORD error = setupClass.setError ? setupClass.setError : ERROR_INVALID_PARAMETER;
            Trace("SetupDiGetClassDevsExA(%s, %#x) = INVALID_HANDLE_VALUE (%u)",
                  GuidText(*ClassGuid).c_str(), (unsigned)Flags, (unsigned)error);
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        SetState state;
        state.classIndex = c;
        for (size_t d = 0; d < setupClass.devices.size(); ++d)
            if (!setupClass.devices[d].afterEnter || w.stdinRead)
                state.members.push_back(d);
        size_t count = state.members.size();
        HDEVINFO set = NewSet(std::move(state), "class " + GuidText(*ClassGuid));
        Trace("SetupDiGetClassDevsExA(%s, %#x) = set %#llx (%zu devices)",
              GuidText(*ClassGuid).c_str(), (unsigned)Flags, (unsigned long long)(uintptr_t)set,
              count);
        return set;
    }
    // An unknown class has no present devices.
    SetState empty;
    empty.classIndex = SIZE_MAX;
    HDEVINFO set = NewSet(empty, "class " + GuidText(*ClassGuid));
    Trace("SetupDiGetClassDevsExA(%s, %#x) = set %#llx (unknown class)",
          GuidText(*ClassGuid).c_str(), (unsigned)Flags, (unsigned long long)(uintptr_t)set);
    return set;
}

HDEVINFO WINAPI SetupDiGetClassDevsExA(const GUID* ClassGuid, PCSTR Enumerator, HWND, DWORD Flags,
                                       HDEVINFO DeviceInfoSet, PCSTR MachineName, void*) {
    if (ClassGuid == NULL || Enumerator != NULL || DeviceInfoSet != NULL || MachineName != NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (Flags & DIGCF_DEVICEINTERFACE)
        return MakeDiskSet(Flags);
    return MakeClassSet(ClassGuid, Flags);
}

HDEVINFO WINAPI SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND, DWORD Flags) {
    if (ClassGuid == NULL || Enumerator != NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if ((Flags & DIGCF_DEVICEINTERFACE) && SameGuid(*ClassGuid, GUID_DEVINTERFACE_DISK))
        return MakeDiskSet(Flags);
    return MakeClassSet(ClassGuid, Flags);
}

BOOL WINAPI SetupDiEnumDeviceInfo(HDEVINFO DeviceInfoSet, DWORD MemberIndex,
                                  PSP_DEVINFO_DATA DeviceInfoData) {
    SetState* set = FindSet(DeviceInfoSet);
    if (set == nullptr || set->disks)
        return Fail(ERROR_INVALID_HANDLE);
    if (DeviceInfoData == NULL || DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
        CurrentWorld().violations.push_back("SetupDiEnumDeviceInfo: wrong cbSize");
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    const SetupClass* setupClass = set->classIndex < CurrentWorld().pc.classes.size()
                                       ? &CurrentWorld().pc.classes[set->classIndex]
                                       : nullptr;
    if (setupClass && setupClass->enumFailsAt == (int)MemberIndex) {
        Trace("SetupDiEnumDeviceInfo(%u) = FALSE (%u)", (unsigned)MemberIndex,
              (unsigned)setupClass->enumError);
        return Fail(setupClass->enumError);
    }
    if (MemberIndex >= set->members.size()) {
        Trace("SetupDiEnumDeviceInfo(%u) = FALSE (259)", (unsigned)MemberIndex);
        return Fail(ERROR_NO_MORE_ITEMS);
    }
    size_t device = set->members[MemberIndex];
    DeviceInfoData->ClassGuid = setupClass->guid;
    DeviceInfoData->DevInst = (DWORD)(((set->classIndex + 1) << kDevInstShift) | device);
    DeviceInfoData->Reserved = 0;
    set->lastEnumerated = (long)MemberIndex;
    Trace("SetupDiEnumDeviceInfo(%u) = TRUE DevInst=%#x", (unsigned)MemberIndex,
          (unsigned)DeviceInfoData->DevInst);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInfoListDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVINFO_LIST_DETAIL_DATA_A DeviceInfoSetDetailData) {
    SetState* set = FindSet(DeviceInfoSet);
    if (set == nullptr)
        return Fail(ERROR_INVALID_HANDLE);
    if (DeviceInfoSetDetailData == NULL ||
        DeviceInfoSetDetailData->cbSize != sizeof(SP_DEVINFO_LIST_DETAIL_DATA_A)) {
        CurrentWorld().violations.push_back("SetupDiGetDeviceInfoListDetailA: wrong cbSize");
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (!set->disks && set->lastEnumerated >= 0) {
        const Device& device = CurrentWorld()
                                   .pc.classes[set->classIndex]
                                   .devices[set->members[(size_t)set->lastEnumerated]];
        if (device.listDetailFails) {
            Trace("SetupDiGetDeviceInfoListDetailA() = FALSE (13)");
            return Fail(ERROR_INVALID_DATA);
        }
    }
    DeviceInfoSetDetailData->ClassGuid = set->classIndex < CurrentWorld().pc.classes.size()
                                             ? CurrentWorld().pc.classes[set->classIndex].guid
                                             : GUID{};
    DeviceInfoSetDetailData->RemoteMachineHandle = 0;
    DeviceInfoSetDetailData->RemoteMachineName[0] = '\0';
    Trace("SetupDiGetDeviceInfoListDetailA() = TRUE");
    return TRUE;
}

CONFIGRET WINAPI CM_Get_Device_ID_ExA(DEVINST dnDevInst, PSTR Buffer, ULONG BufferLen,
                                      ULONG ulFlags, HMACHINE hMachine) {
    World& w = CurrentWorld();
    size_t classIndex = (dnDevInst >> kDevInstShift) - 1;
    size_t deviceIndex = dnDevInst & ((1u << kDevInstShift) - 1);
    if (ulFlags != 0 || hMachine != 0 || classIndex >= w.pc.classes.size() ||
        deviceIndex >= w.pc.classes[classIndex].devices.size()) {
        Trace("CM_Get_Device_ID_ExA(%#x) = CR_NO_SUCH_DEVNODE", (unsigned)dnDevInst);
        return CR_NO_SUCH_DEVNODE;
    }
    const Device& device = w.pc.classes[classIndex].devices[deviceIndex];
    if (device.idResult != CR_SUCCESS) {
        Trace("CM_Get_Device_ID_ExA(%#x) = %#x", (unsigned)dnDevInst, (unsigned)device.idResult);
        return device.idResult;
    }
    if (device.instanceId.size() + 1 > BufferLen) {
        Trace("CM_Get_Device_ID_ExA(%#x) = CR_BUFFER_SMALL", (unsigned)dnDevInst);
        return CR_BUFFER_SMALL;
    }
    memcpy(Buffer, device.instanceId.c_str(), device.instanceId.size() + 1);
    Trace("CM_Get_Device_ID_ExA(%#x) = CR_SUCCESS \"%s\"", (unsigned)dnDevInst, Buffer);
    return CR_SUCCESS;
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    SetState* set = FindSet(DeviceInfoSet);
    if (set == nullptr || !set->disks)
        return Fail(ERROR_INVALID_HANDLE);
    if (DeviceInfoData != NULL || InterfaceClassGuid == NULL ||
        !SameGuid(*InterfaceClassGuid, GUID_DEVINTERFACE_DISK))
        return Fail(ERROR_INVALID_PARAMETER);
    if (DeviceInterfaceData == NULL ||
        DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        CurrentWorld().violations.push_back("SetupDiEnumDeviceInterfaces: wrong cbSize");
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    const Pc& pc = CurrentWorld().pc;
    if (pc.diskEnumFailsAt == (int)MemberIndex) {
        Trace("SetupDiEnumDeviceInterfaces(%u) = FALSE (%u)", (unsigned)MemberIndex,
              (unsigned)pc.diskFailError);
        return Fail(pc.diskFailError);
    }
    if (MemberIndex >= set->members.size()) {
        Trace("SetupDiEnumDeviceInterfaces(%u) = FALSE (259)", (unsigned)MemberIndex);
        return Fail(ERROR_NO_MORE_ITEMS);
    }
    DeviceInterfaceData->InterfaceClassGuid = GUID_DEVINTERFACE_DISK;
    DeviceInterfaceData->Flags = 1; // SPINT_ACTIVE
    DeviceInterfaceData->Reserved = MemberIndex + 1;
    Trace("SetupDiEnumDeviceInterfaces(%u) = TRUE", (unsigned)MemberIndex);
    return TRUE;
}

BOOL WINAPI SetupDiGetDeviceInterfaceDetailA(
    HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
    PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
    DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData) {
    SetState* set = FindSet(DeviceInfoSet);
    if (set == nullptr || !set->disks)
        return Fail(ERROR_INVALID_HANDLE);
    if (DeviceInterfaceData == NULL ||
        DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        DeviceInterfaceData->Reserved == 0 || DeviceInterfaceData->Reserved > set->members.size() ||
        DeviceInfoData != NULL) {
        CurrentWorld().violations.push_back(
            "SetupDiGetDeviceInterfaceDetailA: bad interface record");
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (DeviceInterfaceDetailData != NULL &&
        DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        CurrentWorld().violations.push_back("SetupDiGetDeviceInterfaceDetailA: wrong cbSize");
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    DWORD index = DeviceInterfaceData->Reserved - 1;
    const Pc& pc = CurrentWorld().pc;
    if (pc.diskDetailFailsAt == (int)index) {
        Trace("SetupDiGetDeviceInterfaceDetailA(%u) = FALSE (%u)", (unsigned)index,
              (unsigned)pc.diskFailError);
        return Fail(pc.diskFailError);
    }
    const std::string& path = pc.disks[set->members[index]].path;
    DWORD required =
        (DWORD)(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (RequiredSize)
        *RequiredSize = required;
    if (DeviceInterfaceDetailData == NULL || DeviceInterfaceDetailDataSize < required) {
        Trace("SetupDiGetDeviceInterfaceDetailA(%u) = FALSE (122) required=%u", (unsigned)index,
              (unsigned)required);
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    memcpy(DeviceInterfaceDetailData->DevicePath, path.c_str(), path.size() + 1);
    Trace("SetupDiGetDeviceInterfaceDetailA(%u) = TRUE \"%s\"", (unsigned)index, path.c_str());
    return TRUE;
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    uintptr_t id = (uintptr_t)DeviceInfoSet;
    Trace("SetupDiDestroyDeviceInfoList(set %#llx)", (unsigned long long)id);
    if (!LedgerClose(id, Resource::Set))
        return Fail(ERROR_INVALID_HANDLE);
    CurrentWorld().sets.erase(id);
    return TRUE;
}
