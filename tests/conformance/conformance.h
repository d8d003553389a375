// The Windows behaviours the tool's logic relies on, checked on whatever stands behind
// platform/platform.h: the simulated PC natively, real Windows (or Wine) with mingw-w64.
// The site (sim_site.cpp or win_site.cpp) provides the machine these checks expect:
//  - two setup classes named "USB": {36FC9E60-C465-11CF-8056-444553540000} holding the devices
//    kHubId and kDeviceId in this order, and {88BAE032-5A81-49F0-BC3D-A4FF138216D6}, empty;
//  - under HKLM\SYSTEM\CurrentControlSet\Enum\<kDeviceId>: "Service" = "usbccgp" (REG_SZ),
//    "Number" = 7 (REG_DWORD), "Long" = 300 x's (REG_SZ);
//  - the disk interface kDiskPath, and where the site can make them, interfaces whose paths
//    are 1019 and 1020 characters long;
//  - TEMP = kTemp; the folder kCyrillicFolder, whose name the ANSI code page (1252) lacks;
//  - no console: standard input and output are files or pipes.
#pragma once

#include "platform/platform.h"

#include <string>

inline constexpr char kHubId[] = "USB\\ROOT_HUB20\\4&1234&0";
inline constexpr char kDeviceId[] = "USB\\VID_1E3F&PID_0C02\\CONFORMANCE";
inline constexpr char kDiskPath[] = "\\\\?\\usbstor#disk&ven_qel&prod_tarrow&rev_0001#"
                                    "qel0123456789ab&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
inline constexpr char kTemp[] = "C:\\qel\\temp";
inline constexpr WCHAR kCyrillicFolder[] = L"C:\\qel\\temp\\\u0418\u0432\u0430\u043d";

// Sets the machine up; the checks run after it.
void SiteSetUp();
// Where the checks may create a file, and a path in a folder that does not exist.
std::string SiteFilePath();
std::string SiteMissingFolderFile();
// A file's bytes as stored.
std::string SiteReadFile(const std::string& path);
// Running under Wine (known gaps apply there only).
bool SiteIsWine();
// What the site left behind that it should not have: "" when clean.
std::string SiteTearDown();
