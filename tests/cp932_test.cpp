// Shift-JIS names read as people read them: byte for byte as the C library's CP932 converter
// reads them, and one name of a path at a time.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "cp932.hpp"

#ifndef _WIN32
#include <iconv.h>
#endif

namespace {

using vkt2::batch::cp932_to_utf8;
using vkt2::batch::name_encoding;
using vkt2::batch::readable;

#ifndef _WIN32
// What glibc's converter makes of `bytes`, or nothing when it refuses them.
std::optional<std::string> iconv_reads(iconv_t cd, std::string bytes) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char out[16];
    char* in_p = bytes.data();
    char* out_p = out;
    std::size_t in_n = bytes.size(), out_n = sizeof out;
    if (iconv(cd, &in_p, &in_n, &out_p, &out_n) == static_cast<std::size_t>(-1) || in_n != 0)
        return std::nullopt;
    return std::string(out, out_p);
}

TEST(Cp932, EveryOneAndTwoByteSequenceReadsAsTheCLibraryReadsIt) {
    const iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "this C library has no CP932";
    for (int lead = 0; lead < 256; ++lead) {
        const std::string one(1, static_cast<char>(lead));
        ASSERT_EQ(cp932_to_utf8(one), iconv_reads(cd, one)) << std::hex << lead;
        for (int trail = 0; trail < 256 && lead >= 0x80; ++trail) {
            const std::string two = one + static_cast<char>(trail);
            ASSERT_EQ(cp932_to_utf8(two), iconv_reads(cd, two)) << std::hex << lead << ' ' << trail;
        }
    }
    iconv_close(cd);
}
#endif

#ifdef _WIN32
TEST(Cp932, NamesOnWindowsAreUnicodeAlready) {
    // A lone surrogate as its UTF-16 name carries it, though its bytes would be CP932 too.
    EXPECT_EQ(readable("dir/\xed\xa0\x81@", name_encoding::cp932), "dir/\xed\xa0\x81@");
}
#else
TEST(Cp932, EachNameOfAPathIsReadOnItsOwn) {
    // 日本語, ソ表 (both end in the byte of a backslash), ｶﾀ in half-width katakana.
    const std::string jp = "\x93\xfa\x96{\x8c\xea", so_hyo = "\x83\x5c\x95\x5c", kata = "\xb6\xc0";
    EXPECT_EQ(readable("dir/" + jp + ".txt", name_encoding::cp932),
              "dir/\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e.txt");
    EXPECT_EQ(readable(so_hyo + "/" + kata + "/\xff.txt", name_encoding::cp932),
              "\xe3\x82\xbd\xe8\xa1\xa8/\xef\xbd\xb6\xef\xbe\x80/\xff.txt");
    // Valid UTF-8 is kept, even where it is CP932 too (café, or cafﾃｩ); so is all of a path read
    // as bytes.
    EXPECT_EQ(readable("caf\xc3\xa9/" + kata, name_encoding::cp932),
              "caf\xc3\xa9/\xef\xbd\xb6\xef\xbe\x80");
    EXPECT_EQ(readable("dir/" + jp, name_encoding::raw), "dir/" + jp);
    // Not CP932 throughout: a lead byte at the end, a pair that is no character, 0xFD.
    for (const char* name : {"a\x93", "\x85\x40", "\xfd", "\x81\x7f"})
        EXPECT_EQ(readable(name, name_encoding::cp932), name);
}
#endif

}  // namespace
