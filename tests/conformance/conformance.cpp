// The Windows behaviours the tool's logic relies on. Built natively against the simulated PC
// and with mingw-w64 against Windows (run under Wine by tests/wine), so the sim cannot drift
// from what the real API does. Prints one line per check; exits 1 when any check fails.
// As in Wine's own tests, the last error is set to a sentinel before each checked call, so a
// call that leaves it alone is told from one that sets 0. A known gap is a check that fails
// under Wine for a stated reason; it is reported, not counted as a failure. A gap that starts to
// pass counts as a failure until its mark is removed, so a fixed gap cannot hide.
#include "conformance.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

int g_failed = 0;
int g_passed = 0;
int g_gaps = 0;

const DWORD kSentinel = 0xDEADBEEF;

// gap: why this check fails on Wine, where the sim follows Windows; null when it must pass.
void Check(const char* name, bool ok, const std::string& detail, const char* gap = nullptr) {
    if (ok && gap != nullptr && SiteIsWine()) {
        ++g_failed;
        printf("FAIL  %s: passes under Wine now; remove its known-gap mark (%s)\n", name, gap);
    } else if (ok) {
        ++g_passed;
        printf("ok    %s\n", name);
    } else if (gap != nullptr && SiteIsWine()) {
        ++g_gaps;
        printf("gap   %s: %s (%s)\n", name, detail.c_str(), gap);
    } else {
        ++g_failed;
        printf("FAIL  %s: %s\n", name, detail.c_str());
    }
}

std::string Text(const char* format, unsigned long a = 0, unsigned long b = 0,
                 unsigned long c = 0) {
    char text[256];
    snprintf(text, sizeof(text), format, a, b, c);
    return text;
}

const GUID kUsb = {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
const GUID kSecondUsb = {
    0x88BAE032, 0x5A81, 0x49F0, {0xBC, 0x3D, 0xA4, 0xFF, 0x13, 0x82, 0x16, 0xD6}};

// Where Wine is known to differ from Windows; the logic ends its walk on any failure alike.
const char kWineCbSizeError[] = "Wine 8 answers ERROR_INVALID_PARAMETER here; Windows, and so the "
                                "sim, ERROR_INVALID_USER_BUFFER";

bool SameGuid(const GUID& a, const GUID& b) {
    return memcmp(&a, &b, sizeof(GUID)) == 0;
}

// The scan's class lookup: a list too small fails with ERROR_INSUFFICIENT_BUFFER and the count.
void ClassLookupRounds() {
    GUID guids[4];
    memset(guids, 0, sizeof(guids));
    DWORD count = 0;
    SetLastError(kSentinel);
    BOOL ok = SetupDiClassGuidsFromNameExA("USB", guids, 1, &count, NULL, NULL);
    DWORD error = GetLastError();
    Check("class lookup, list too small: ERROR_INSUFFICIENT_BUFFER and the count",
          !ok && error == ERROR_INSUFFICIENT_BUFFER && count == 2,
          Text("result %lu, error %lu, count %lu", (unsigned long)ok, error, count));

    count = 0;
    ok = SetupDiClassGuidsFromNameExA("USB", guids, 4, &count, NULL, NULL);
    Check("class lookup, list large enough: both classes in order",
          ok && count == 2 && SameGuid(guids[0], kUsb) && SameGuid(guids[1], kSecondUsb),
          Text("result %lu, count %lu", (unsigned long)ok, count));

    count = 99;
    ok = SetupDiClassGuidsFromNameExA("NoSuchClassName", guids, 4, &count, NULL, NULL);
    Check("class lookup, unknown name: success with count 0", ok && count == 0,
          Text("result %lu, count %lu", (unsigned long)ok, count));
}

// The device walk: indexes until the first failure, which is ERROR_NO_MORE_ITEMS at the end;
// records checked by cbSize; instance IDs read with the set's machine handle.
void DeviceWalk() {
    SetLastError(kSentinel);
    HDEVINFO set = SetupDiGetClassDevsExA(&kUsb, NULL, NULL, DIGCF_PRESENT, NULL, NULL, NULL);
    Check("class set made", set != INVALID_HANDLE_VALUE, Text("error %lu", GetLastError()));
    if (set == INVALID_HANDLE_VALUE)
        return;

    std::vector<std::string> ids;
    SP_DEVINFO_DATA device;
    DWORD index = 0;
    for (;; ++index) {
        memset(&device, 0, sizeof(device));
        device.cbSize = sizeof(device);
        SetLastError(kSentinel);
        if (!SetupDiEnumDeviceInfo(set, index, &device))
            break;
        SP_DEVINFO_LIST_DETAIL_DATA_A detail;
        memset(&detail, 0, sizeof(detail));
        detail.cbSize = sizeof(detail);
        if (!SetupDiGetDeviceInfoListDetailA(set, &detail)) {
            ids.push_back("(list detail failed)");
            continue;
        }
        char id[200];
        memset(id, 0, sizeof(id));
        // As the tool reads it: CM_Get_Device_ID_ExA with the fallback that Wine needs.
        CONFIGRET cr =
            GetDeviceIdWithWineFallback(device.DevInst, id, sizeof(id), detail.RemoteMachineHandle);
        ids.push_back(cr == CR_SUCCESS ? id : Text("(CONFIGRET %lu)", cr));
    }
    DWORD error = GetLastError();
    Check("device walk ends with ERROR_NO_MORE_ITEMS after the last device",
          index == 2 && error == ERROR_NO_MORE_ITEMS,
          Text("ended at index %lu with error %lu", index, error));
    bool idsOk = ids.size() == 2 && ids[0] == kHubId && ids[1] == kDeviceId;
    std::string got;
    for (const std::string& id : ids)
        got += id + " ";
    Check("instance IDs in key order, as stored", idsOk, got);

    memset(&device, 0, sizeof(device));
    SetLastError(kSentinel);
    BOOL ok = SetupDiEnumDeviceInfo(set, 0, &device);
    error = GetLastError();
    Check("SP_DEVINFO_DATA with cbSize 0: ERROR_INVALID_USER_BUFFER",
          !ok && error == ERROR_INVALID_USER_BUFFER,
          Text("result %lu, error %lu", (unsigned long)ok, error));

    SP_DEVINFO_LIST_DETAIL_DATA_A detail;
    memset(&detail, 0, sizeof(detail));
    detail.cbSize = sizeof(detail) - 1;
    SetLastError(kSentinel);
    ok = SetupDiGetDeviceInfoListDetailA(set, &detail);
    error = GetLastError();
    Check("SP_DEVINFO_LIST_DETAIL_DATA_A with a wrong cbSize fails", !ok, "succeeded");
    Check("SP_DEVINFO_LIST_DETAIL_DATA_A with a wrong cbSize: ERROR_INVALID_USER_BUFFER",
          !ok && error == ERROR_INVALID_USER_BUFFER,
          Text("result %lu, error %lu", (unsigned long)ok, error), kWineCbSizeError);
    SetupDiDestroyDeviceInfoList(set);
}

// The disk walk: interfaces until ERROR_NO_MORE_ITEMS, and the detail call's size rule: the
// path and its NUL must fit behind cbSize.
void DiskWalk() {
    SetLastError(kSentinel);
    HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_DISK, NULL, NULL,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    Check("disk interface set made", set != INVALID_HANDLE_VALUE,
          Text("error %lu", GetLastError()));
    if (set == INVALID_HANDLE_VALUE)
        return;

    const DWORD pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    std::vector<char> buffer(2048);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    SP_DEVICE_INTERFACE_DATA data;
    bool sawDisk = false, sizesOk = true, saw1019 = false, saw1020 = false;
    std::string sizeDetail;
    DWORD index = 0;
    for (;; ++index) {
        memset(&data, 0, sizeof(data));
        data.cbSize = sizeof(data);
        SetLastError(kSentinel);
        if (!SetupDiEnumDeviceInterfaces(set, NULL, &GUID_DEVINTERFACE_DISK, index, &data))
            break;
        DWORD required = 0;
        SetLastError(kSentinel);
        BOOL ok = SetupDiGetDeviceInterfaceDetailA(set, &data, NULL, 0, &required, NULL);
        DWORD error = GetLastError();
        memset(buffer.data(), 0, buffer.size());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SetLastError(kSentinel);
        BOOL fits = required <= buffer.size() &&
                    SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required, NULL, NULL);
        size_t length = fits ? strlen(detail->DevicePath) : 0;
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SetLastError(kSentinel);
        BOOL oneShort =
            SetupDiGetDeviceInterfaceDetailA(set, &data, detail, required - 1, NULL, NULL);
        DWORD shortError = GetLastError();
        if (ok || error != ERROR_INSUFFICIENT_BUFFER || !fits ||
            required != pathOffset + length + 1 || oneShort ||
            shortError != ERROR_INSUFFICIENT_BUFFER) {
            sizesOk = false;
            sizeDetail +=
                Text("[interface %lu: required %lu, path length %lu] ", index, required, length);
        }
        if (fits && strcmp(detail->DevicePath, kDiskPath) == 0)
            sawDisk = true;

        // The tool's own call: a 1024-byte buffer.
        memset(buffer.data(), 0, buffer.size());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        SetLastError(kSentinel);
        SetLastError(kSentinel);
        BOOL in1024 = SetupDiGetDeviceInterfaceDetailA(set, &data, detail, 1024, NULL, NULL);
        DWORD error1024 = GetLastError();
        if (length == 1019) {
            saw1019 = true;
            Check("a 1019-character path fits the tool's 1024-byte buffer", in1024,
                  Text("error %lu", error1024));
        } else if (length == 1020) {
            saw1020 = true;
            Check("a 1020-character path fails in 1024 bytes with ERROR_INSUFFICIENT_BUFFER",
                  !in1024 && error1024 == ERROR_INSUFFICIENT_BUFFER,
                  Text("result %lu, error %lu", (unsigned long)in1024, error1024));
        }
    }
    DWORD error = GetLastError();
    Check("disk interface walk ends with ERROR_NO_MORE_ITEMS", error == ERROR_NO_MORE_ITEMS,
          Text("ended at index %lu with error %lu", index, error));
    Check("the disk's path comes back lower-cased", sawDisk, "path not listed");
    Check("detail size: offset of DevicePath + path + NUL; one byte less gives 122", sizesOk,
          sizeDetail);
    const char* noLongKeys = "Wine builds the path from the interface's registry key name, "
                             "and key names stop at 255 characters";
    Check("an interface with a 1019-character path is listed", saw1019, "not listed", noLongKeys);
    Check("an interface with a 1020-character path is listed", saw1020, "not listed", noLongKeys);

    if (index > 0) {
        memset(&data, 0, sizeof(data));
        data.cbSize = sizeof(data);
        SetupDiEnumDeviceInterfaces(set, NULL, &GUID_DEVINTERFACE_DISK, 0, &data);
        detail->cbSize = 0;
        SetLastError(kSentinel);
        BOOL ok = SetupDiGetDeviceInterfaceDetailA(set, &data, detail, 1024, NULL, NULL);
        error = GetLastError();
        Check("SP_DEVICE_INTERFACE_DETAIL_DATA_A with cbSize 0: ERROR_INVALID_USER_BUFFER",
              !ok && error == ERROR_INVALID_USER_BUFFER,
              Text("result %lu, error %lu", (unsigned long)ok, error));
    }
    memset(&data, 0, sizeof(data));
    SetLastError(kSentinel);
    BOOL ok = SetupDiEnumDeviceInterfaces(set, NULL, &GUID_DEVINTERFACE_DISK, 0, &data);
    error = GetLastError();
    Check("SP_DEVICE_INTERFACE_DATA with cbSize 0 fails", !ok, "succeeded");
    Check("SP_DEVICE_INTERFACE_DATA with cbSize 0: ERROR_INVALID_USER_BUFFER",
          !ok && error == ERROR_INVALID_USER_BUFFER,
          Text("result %lu, error %lu", (unsigned long)ok, error), kWineCbSizeError);
    SetupDiDestroyDeviceInfoList(set);
}

// The registry test: value types and sizes as stored; a value too long gives ERROR_MORE_DATA.
void RegistryValues() {
    std::string keyPath = std::string("SYSTEM\\CurrentControlSet\\Enum\\") + kDeviceId;
    HKEY key = NULL;
    LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_READ, &key);
    Check("device key opens with KEY_READ", status == ERROR_SUCCESS, Text("status %lu", status));
    if (status != ERROR_SUCCESS)
        return;

    char value[256];
    DWORD type = 0, size = 255;
    memset(value, 0, sizeof(value));
    status = RegQueryValueExA(key, "Service", NULL, &type, (LPBYTE)value, &size);
    Check("REG_SZ value: type 1, size with its NUL, the text",
          status == ERROR_SUCCESS && type == REG_SZ && size == 8 && strcmp(value, "usbccgp") == 0,
          Text("status %lu, type %lu, size %lu", status, type, size));

    type = 0;
    size = 255;
    memset(value, 0, sizeof(value));
    status = RegQueryValueExA(key, "Number", NULL, &type, (LPBYTE)value, &size);
    Check("REG_DWORD value: type 4, size 4",
          status == ERROR_SUCCESS && type == REG_DWORD && size == 4 && value[0] == 7,
          Text("status %lu, type %lu, size %lu", status, type, size));

    type = 0;
    size = 255;
    status = RegQueryValueExA(key, "Long", NULL, &type, (LPBYTE)value, &size);
    Check("300-character REG_SZ into 255 bytes: ERROR_MORE_DATA and the size needed",
          status == ERROR_MORE_DATA && type == REG_SZ && size == 301,
          Text("status %lu, type %lu, size %lu", status, type, size));

    size = 255;
    status = RegQueryValueExA(key, "NoSuchValue", NULL, &type, (LPBYTE)value, &size);
    Check("missing value: ERROR_FILE_NOT_FOUND", status == ERROR_FILE_NOT_FOUND,
          Text("status %lu", status));
    RegCloseKey(key);

    HKEY missing = NULL;
    status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Enum\\USB\\NoSuchKey", 0,
                           KEY_READ, &missing);
    Check("missing key: ERROR_FILE_NOT_FOUND", status == ERROR_FILE_NOT_FOUND,
          Text("status %lu", status));
    if (status == ERROR_SUCCESS)
        RegCloseKey(missing);
}

// The log: TEMP's length, the size a too-small buffer needs, and text-mode append.
void EnvironmentAndFiles() {
    char temp[MAX_PATH];
    SetLastError(kSentinel);
    DWORD length = GetEnvironmentVariableA("TEMP", temp, MAX_PATH);
    Check("TEMP: its length", length == strlen(kTemp) && strcmp(temp, kTemp) == 0,
          Text("length %lu", length));
    length = GetEnvironmentVariableA("TEMP", temp, 5);
    Check("TEMP into a small buffer: the size needed, NUL included", length == strlen(kTemp) + 1,
          Text("result %lu", length));
    SetLastError(kSentinel);
    length = GetEnvironmentVariableA("QEL_NO_SUCH_VARIABLE", temp, MAX_PATH);
    DWORD error = GetLastError();
    Check("missing variable: 0 and ERROR_ENVVAR_NOT_FOUND",
          length == 0 && error == ERROR_ENVVAR_NOT_FOUND,
          Text("result %lu, error %lu", length, error));

    std::string path = SiteFilePath();
    for (const char* text : {"one\n", "two\nthree"}) {
        HLOGFILE file = LogFileOpenAppend(path.c_str());
        if (file == NULL)
            break;
        LogFileWrite(file, text, strlen(text));
        LogFileClose(file);
    }
    std::string bytes = SiteReadFile(path);
    Check("text-mode append: LF stored as CR LF, earlier text kept", bytes == "one\r\ntwo\r\nthree",
          "got \"" + bytes + "\"");
    HLOGFILE file = LogFileOpenAppend(SiteMissingFolderFile().c_str());
    Check("append in a folder that does not exist fails", file == NULL, "opened");
    if (file != NULL)
        LogFileClose(file);
}

// The driver package path: the Windows directory's length without its NUL, and for a buffer too
// small the size it needs, NUL included.
void WindowsDirectory() {
    char directory[MAX_PATH];
    memset(directory, 'x', sizeof(directory));
    SetLastError(kSentinel);
    unsigned length = GetWindowsDirectoryA(directory, MAX_PATH);
    bool fits = length > 0 && length < MAX_PATH;
    Check("GetWindowsDirectoryA: the length without the NUL, the path ending there",
          fits && strlen(directory) == length && directory[length - 1] != '\\',
          Text("result %lu, text length %lu", length, fits ? strlen(directory) : 0));
    if (!fits)
        return;
    std::string full(directory);
    char small[MAX_PATH];
    memset(small, 'x', sizeof(small));
    unsigned needed = GetWindowsDirectoryA(small, length);
    Check("GetWindowsDirectoryA into one byte too few: the size needed, NUL included",
          needed == length + 1, Text("result %lu for a length of %lu", needed, length));
    needed = GetWindowsDirectoryA(NULL, 0);
    Check("GetWindowsDirectoryA with no buffer: the size needed", needed == length + 1,
          Text("result %lu", needed));
    needed = GetWindowsDirectoryA(small, length + 1);
    Check("GetWindowsDirectoryA into exactly the size needed: the path",
          needed == length && full == small, Text("result %lu", needed));
}

// The tool's lower-casing: LCMapStringA with LCMAP_LOWERCASE, the mapped length, the size
// query, a destination too small and an empty source.
void CaseMapping() {
    const char text[] = "QEL Tarrow\\USB#Disk&Ven_QEL";
    const char lower[] = "qel tarrow\\usb#disk&ven_qel";
    const int length = (int)strlen(text);
    char out[64];
    memset(out, 'x', sizeof(out));
    SetLastError(kSentinel);
    int mapped = LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, text, length, out, 64);
    Check("LCMapStringA lowers ASCII into another buffer, the length as mapped, no NUL added",
          mapped == length && memcmp(out, lower, (size_t)length) == 0 && out[length] == 'x',
          Text("result %lu", (unsigned long)mapped));

    mapped = LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, text, -1, out, 64);
    Check("LCMapStringA with cchSrc -1 maps the NUL too",
          mapped == length + 1 && strcmp(out, lower) == 0,
          Text("result %lu", (unsigned long)mapped));

    mapped = LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, text, length, NULL, 0);
    Check("LCMapStringA with cchDest 0: the size needed", mapped == length,
          Text("result %lu", (unsigned long)mapped));

    SetLastError(kSentinel);
    mapped = LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, text, length, out, 5);
    DWORD error = GetLastError();
    Check("LCMapStringA into too small a buffer: 0 and ERROR_INSUFFICIENT_BUFFER",
          mapped == 0 && error == ERROR_INSUFFICIENT_BUFFER,
          Text("result %lu, error %lu", (unsigned long)mapped, error));

    SetLastError(kSentinel);
    mapped = LCMapStringA(LOCALE_SYSTEM_DEFAULT, LCMAP_LOWERCASE, text, 0, out, 64);
    error = GetLastError();
    Check("LCMapStringA with cchSrc 0: 0 and ERROR_INVALID_PARAMETER",
          mapped == 0 && error == ERROR_INVALID_PARAMETER,
          Text("result %lu, error %lu", (unsigned long)mapped, error));
}

// The log's TEMP in wide text, and the ANSI code page's conversions both ways: what holds and
// what is lost.
void WideTextAndCodePage() {
    WCHAR wide[MAX_PATH];
    SetLastError(kSentinel);
    DWORD length = GetEnvironmentVariableW(L"TEMP", wide, MAX_PATH);
    bool same = length == strlen(kTemp);
    for (DWORD i = 0; same && i < length; ++i)
        same = wide[i] == (WCHAR)(unsigned char)kTemp[i];
    Check("TEMP, wide: its length and text", same && wide[length] == 0, Text("length %lu", length));
    length = GetEnvironmentVariableW(L"TEMP", wide, 5);
    Check("TEMP, wide, into a small buffer: the size needed, NUL included",
          length == strlen(kTemp) + 1, Text("result %lu", length));

    const WCHAR accented[] = L"Jos\u00e9";
    char ansi[MAX_PATH];
    BOOL usedDefault = TRUE;
    int cb = WideCharToMultiByte(CP_ACP, 0, accented, -1, ansi, MAX_PATH, NULL, &usedDefault);
    Check("a letter of the code page converts to its byte",
          cb == 5 && strcmp(ansi, "Jos\xE9") == 0 && !usedDefault, Text("result %lu", cb));
    WCHAR back[MAX_PATH];
    int cch = MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, MAX_PATH);
    Check("and back to the same wide text", cch == 5 && wcscmp(back, accented) == 0,
          Text("result %lu", cch));
    usedDefault = FALSE;
    cb = WideCharToMultiByte(CP_ACP, 0, kCyrillicFolder, -1, ansi, MAX_PATH, NULL, &usedDefault);
    Check("letters outside the code page become '?', and the default char is reported",
          cb == 17 && strcmp(ansi, "C:\\qel\\temp\\????") == 0 && usedDefault,
          Text("result %lu", cb));
    cb = WideCharToMultiByte(CP_ACP, 0, kCyrillicFolder, -1, ansi, 4, NULL, NULL);
    DWORD error = GetLastError();
    Check("a buffer too small: 0 and ERROR_INSUFFICIENT_BUFFER",
          cb == 0 && error == ERROR_INSUFFICIENT_BUFFER, Text("result %lu, error %lu", cb, error));
}

// The short (8.3) form of a folder whose name the code page lacks: plain ASCII.
void ShortPaths() {
    WCHAR shortPath[MAX_PATH];
    SetLastError(kSentinel);
    DWORD length = GetShortPathNameW(kCyrillicFolder, shortPath, MAX_PATH);
    bool ascii = length > 0 && length < MAX_PATH;
    for (DWORD i = 0; ascii && i < length; ++i)
        ascii = shortPath[i] > 0 && shortPath[i] < 0x80;
    Check("a folder named in Cyrillic has an ASCII short path", ascii && shortPath[length] == 0,
          Text("length %lu, error %lu", length, GetLastError()));
    DWORD needed = GetShortPathNameW(kCyrillicFolder, shortPath, 3);
    Check("short path into a small buffer: the size needed, NUL included", needed == length + 1,
          Text("result %lu", needed));
    SetLastError(kSentinel);
    length = GetShortPathNameW(L"C:\\qel\\no-such-folder", shortPath, MAX_PATH);
    DWORD error = GetLastError();
    Check("short path of a folder that does not exist: 0 and ERROR_FILE_NOT_FOUND",
          length == 0 && error == ERROR_FILE_NOT_FOUND,
          Text("result %lu, error %lu", length, error));
}

// What the log header reads: the Windows version, and whether the token is elevated.
void VersionAndElevation() {
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof(version));
    version.dwOSVersionInfoSize = sizeof(version);
    BOOL ok = GetVersionExA(&version);
    Check("GetVersionExA: Windows NT 6 or later with a build number",
          ok && version.dwMajorVersion >= 6 && version.dwBuildNumber > 0,
          Text("result %lu, %lu.%lu", ok, version.dwMajorVersion, version.dwMinorVersion));
    version.dwOSVersionInfoSize = sizeof(version) - 1;
    SetLastError(kSentinel);
    ok = GetVersionExA(&version);
    DWORD error = GetLastError();
    Check("GetVersionExA with a wrong record size: ERROR_INSUFFICIENT_BUFFER",
          !ok && error == ERROR_INSUFFICIENT_BUFFER, Text("result %lu, error %lu", ok, error));

    HANDLE token = NULL;
    ok = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    Check("the process token opens for TOKEN_QUERY", ok, Text("error %lu", GetLastError()));
    if (!ok)
        return;
    TOKEN_ELEVATION elevation;
    memset(&elevation, 0xFF, sizeof(elevation));
    DWORD returned = 0;
    ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &returned);
    Check("TokenElevation: 4 bytes, 0 or 1",
          ok && returned == 4 && (elevation.TokenIsElevated == 0 || elevation.TokenIsElevated == 1),
          Text("result %lu, returned %lu", ok, returned));
    returned = 0;
    SetLastError(kSentinel);
    ok = GetTokenInformation(token, TokenElevation, &elevation, 2, &returned);
    error = GetLastError();
    Check("TokenElevation into 2 bytes: ERROR_INSUFFICIENT_BUFFER and the size needed",
          !ok && error == ERROR_INSUFFICIENT_BUFFER && returned == 4,
          Text("result %lu, error %lu, returned %lu", ok, error));
    CloseHandle(token);
}

// Without a console (the checks run with files and pipes), nobody owns one and standard input
// is no console's keyboard. The console-ownership rule itself is shown on the simulated PC.
void NoConsole() {
    DWORD processes[4];
    SetLastError(kSentinel);
    DWORD count = GetConsoleProcessList(processes, 4);
    DWORD error = GetLastError();
    Check("no console: GetConsoleProcessList gives 0 and ERROR_INVALID_HANDLE",
          count == 0 && error == ERROR_INVALID_HANDLE, Text("result %lu, error %lu", count, error));
    DWORD mode = 0;
    SetLastError(kSentinel);
    BOOL ok = GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode);
    error = GetLastError();
    Check("standard input from a file: GetConsoleMode fails with ERROR_INVALID_HANDLE",
          !ok && error == ERROR_INVALID_HANDLE, Text("result %lu, error %lu", ok, error));
}

} // namespace

int main() {
    SiteSetUp();
    ClassLookupRounds();
    DeviceWalk();
    DiskWalk();
    RegistryValues();
    EnvironmentAndFiles();
    WindowsDirectory();
    CaseMapping();
    WideTextAndCodePage();
    ShortPaths();
    VersionAndElevation();
    NoConsole();
    std::string leftovers = SiteTearDown();
    Check("every set, key and file released", leftovers.empty(), leftovers);
    printf("%d passed, %d failed, %d known gaps\n", g_passed, g_failed, g_gaps);
    return g_failed == 0 ? 0 : 1;
}
