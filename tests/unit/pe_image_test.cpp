// The hand-over starts the sibling only when it is an x86-64 image.
#include "app/pe_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

// A minimal PE header: MZ, the PE offset at 0x3C, the signature, machine and optional magic.
std::vector<BYTE> Header(WORD machine, WORD magic, DWORD peOffset = 0x80) {
    std::vector<BYTE> bytes(0x200, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    for (int i = 0; i < 4; ++i)
        bytes[0x3C + i] = (BYTE)(peOffset >> (8 * i));
    if ((size_t)peOffset + 26 <= bytes.size()) {
        memcpy(bytes.data() + peOffset, "PE\0\0", 4);
        bytes[peOffset + 4] = (BYTE)machine;
        bytes[peOffset + 5] = (BYTE)(machine >> 8);
        bytes[peOffset + 24] = (BYTE)magic;
        bytes[peOffset + 25] = (BYTE)(magic >> 8);
    }
    return bytes;
}

BOOL Check(const std::vector<BYTE>& bytes) {
    return IsX64Image(bytes.data(), (DWORD)bytes.size());
}

} // namespace

TEST(PeImage, OnlyAnX64ImageCounts) {
    EXPECT_TRUE(Check(Header(0x8664, 0x20B)));
    EXPECT_FALSE(Check(Header(0x14C, 0x10B)));  // i386: the loop the hand-over must not start
    EXPECT_FALSE(Check(Header(0xAA64, 0x20B))); // ARM64
    EXPECT_FALSE(Check(Header(0x8664, 0x10B))); // inconsistent magic
    EXPECT_FALSE(Check(Header(0x8664, 0x20B, 0x1F0))); // headers past the bytes read
    EXPECT_FALSE(Check(Header(0x8664, 0x20B, 0xFFFFFFF0)));
    std::vector<BYTE> text(0x200, 'x');
    EXPECT_FALSE(Check(text));
    EXPECT_FALSE(IsX64Image(Header(0x8664, 0x20B).data(), 0x3F)); // cut before the PE offset
}

// The product exes, where this machine has built them.
TEST(PeImage, TheBuiltExesAreToldApart) {
    const std::filesystem::path build = std::filesystem::path(QEL_SOURCE_DIR) / "build";
    auto read = [](const std::filesystem::path& path) {
        std::ifstream file(path, std::ios::binary);
        std::vector<BYTE> bytes((std::istreambuf_iterator<char>(file)), {});
        bytes.resize(std::min<size_t>(bytes.size(), 4096));
        return bytes;
    };
    const auto exe64 = build / "win64/qel-driver-fix.exe",
               exe32 = build / "win32/qel-driver-fix.exe";
    if (!std::filesystem::exists(exe64) || !std::filesystem::exists(exe32))
        GTEST_SKIP() << "the win32 and win64 presets are not built";
    EXPECT_TRUE(Check(read(exe64)));
    EXPECT_FALSE(Check(read(exe32)));
}
