// Names between UTF-8 bytes and the UTF-16 units Windows keeps them in: every name has one
// spelling each way, and bytes that spell no name are refused rather than guessed at.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

#include "utf16.hpp"

namespace {

using vkt2::platform::to_utf16;
using vkt2::platform::to_utf8;

TEST(Utf16, EveryNameHasOneSpellingEachWay) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"plain.txt", "plain.txt"},
        {u"caf\u00e9 \u07ff", "caf\xc3\xa9 \xdf\xbf"},
        {u"\u65e5\u672c\u8a9e\u30bd\u8868",
         "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x82\xbd\xe8\xa1\xa8"},
        {u"\ud55c\uffff", "\xed\x95\x9c\xef\xbf\xbf"},
        {u"\U0001F600\U0010FFFF", "\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf"},
        // Lone halves, and a low half before a high one, which make no pair.
        {{char16_t(0xD800)}, "\xed\xa0\x80"},
        {{u'a', char16_t(0xDFFF), char16_t(0xDBFF)}, "a\xed\xbf\xbf\xed\xaf\xbf"},
        {{char16_t(0xD83D), u'x'}, "\xed\xa0\xbdx"},
    };
    for (const auto& [units, bytes] : cases) {
        EXPECT_EQ(to_utf8(units), bytes);
        EXPECT_EQ(to_utf16(bytes), units) << bytes;
    }
    // A high half that ends the name stays alone, whatever follows it in memory.
    const std::u16string pair = u"\U0001F600";
    EXPECT_EQ(to_utf8(std::u16string_view(pair).substr(0, 1)), "\xed\xa0\xbd");
}

TEST(Utf16, BytesThatSpellNoNameAreRefused) {
    for (const char* bytes :
         {"\xff", "a\x80", "\xc0\xaf", "\xc1\xbf", "\xe0\x80\xaf", "\xe3\x81", "\xe3\x81x",
          "\xf0\x8f\xbf\xbf", "\xf4\x90\x80\x80", "\xf8\x88\x80\x80\x80",
          // A pair spelled as its two halves: the four-byte form is its spelling.
          "\xed\xa0\xbd\xed\xb8\x80"})
        EXPECT_FALSE(to_utf16(bytes)) << bytes;
}

}  // namespace
