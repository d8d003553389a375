// The simulated ANSI code page, Windows-1252, and the conversions between it, wide text and the
// scenario files' UTF-8.
#include "sim/pc.h"
#include "sim/winapi.h"

#include <cstring>

namespace sim {

// 0x80 to 0x9F; the five bytes Windows-1252 leaves undefined map to the C1 controls, as in
// Windows' own table, so every byte converts there and back.
static const wchar_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::wstring FromCp1252(const std::string& bytes) {
    std::wstring text;
    for (unsigned char c : bytes)
        text += c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : (wchar_t)c;
    return text;
}

std::string ToCp1252(const std::wstring& text, bool* lossless) {
    std::string bytes;
    for (wchar_t c : text) {
        int byte = c < 0x80 || (c >= 0xA0 && c <= 0xFF) ? (int)c : -1;
        for (int i = 0; i < 32 && byte < 0; ++i)
            if (kHigh[i] == c)
                byte = 0x80 + i;
        if (byte < 0) {
            byte = '?';
            if (lossless)
                *lossless = false;
        }
        bytes += (char)byte;
    }
    return bytes;
}

std::wstring FromUtf8(const std::string& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        unsigned char lead = (unsigned char)text[i];
        int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : 3;
        uint32_t cp = extra == 0 ? lead : lead & (0x3F >> extra);
        size_t k = 1;
        for (; k <= (size_t)extra && i + k < text.size(); ++k)
            cp = (cp << 6) | ((unsigned char)text[i + k] & 0x3F);
        out += (wchar_t)cp;
        i += k;
    }
    return out;
}

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    for (wchar_t w : text) {
        uint32_t cp = (uint32_t)w;
        if (cp < 0x80) {
            out += (char)cp;
        } else if (cp < 0x800) {
            out += (char)(0xC0 | (cp >> 6));
            out += (char)(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += (char)(0xE0 | (cp >> 12));
            out += (char)(0x80 | ((cp >> 6) & 0x3F));
            out += (char)(0x80 | (cp & 0x3F));
        } else {
            out += (char)(0xF0 | (cp >> 18));
            out += (char)(0x80 | ((cp >> 12) & 0x3F));
            out += (char)(0x80 | ((cp >> 6) & 0x3F));
            out += (char)(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

} // namespace sim

using namespace sim;

// Only the ANSI code page, without flags and with -1 or explicit lengths, as the tool calls it.
int WINAPI WideCharToMultiByte(unsigned CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr,
                               int cchWideChar, LPSTR lpMultiByteStr, int cbMultiByte,
                               LPCSTR lpDefaultChar, PBOOL lpUsedDefaultChar) {
    if (CodePage != CP_ACP || dwFlags != 0 || lpWideCharStr == NULL || cchWideChar == 0 ||
        cbMultiByte < 0 || lpDefaultChar != NULL) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::wstring text = cchWideChar < 0 ? std::wstring(lpWideCharStr, wcslen(lpWideCharStr) + 1)
                                        : std::wstring(lpWideCharStr, (size_t)cchWideChar);
    bool lossless = true;
    std::string bytes = ToCp1252(text, &lossless);
    if (lpUsedDefaultChar)
        *lpUsedDefaultChar = lossless ? FALSE : TRUE;
    Trace("WideCharToMultiByte(CP_ACP, %d) = %zu%s", cchWideChar, bytes.size(),
          lossless ? "" : " (default char used)");
    if (cbMultiByte == 0)
        return (int)bytes.size();
    if ((size_t)cbMultiByte < bytes.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(lpMultiByteStr, bytes.data(), bytes.size());
    return (int)bytes.size();
}

int WINAPI MultiByteToWideChar(unsigned CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr,
                               int cbMultiByte, LPWSTR lpWideCharStr, int cchWideChar) {
    if (CodePage != CP_ACP || dwFlags != 0 || lpMultiByteStr == NULL || cbMultiByte == 0 ||
        cchWideChar < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string bytes = cbMultiByte < 0 ? std::string(lpMultiByteStr, strlen(lpMultiByteStr) + 1)
                                        : std::string(lpMultiByteStr, (size_t)cbMultiByte);
    std::wstring text = FromCp1252(bytes);
    Trace("MultiByteToWideChar(CP_ACP, %d) = %zu", cbMultiByte, text.size());
    if (cchWideChar == 0)
        return (int)text.size();
    if ((size_t)cchWideChar < text.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    wmemcpy(lpWideCharStr, text.data(), text.size());
    return (int)text.size();
}
