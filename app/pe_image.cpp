#include "app/pe_image.h"

#include <cstring>

static DWORD ReadLittleEndian(const BYTE* bytes, int count) {
    DWORD value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

BOOL IsX64Image(const BYTE* header, DWORD cb) {
    static const DWORD kPeOffsetAt = 0x3C;
    static const WORD kMachineAmd64 = 0x8664;
    static const WORD kMagicPe32Plus = 0x20B;
    if (cb < kPeOffsetAt + 4 || header[0] != 'M' || header[1] != 'Z')
        return FALSE;
    // The PE signature, the machine (4 bytes on) and the optional header's magic (24 bytes on).
    DWORD pe = ReadLittleEndian(header + kPeOffsetAt, 4);
    if (pe > cb || cb - pe < 26 || memcmp(header + pe, "PE\0\0", 4) != 0)
        return FALSE;
    return ReadLittleEndian(header + pe + 4, 2) == kMachineAmd64 &&
           ReadLittleEndian(header + pe + 24, 2) == kMagicPe32Plus;
}
