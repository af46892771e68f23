// The header test: what counts as a VKT2 file and the size it announces.
#include <gtest/gtest.h>

#include <vector>

#include "vkt2/format.hpp"

namespace {

using bytes = std::vector<std::uint8_t>;

// The tool tests a zero-filled 64 KiB buffer with the file at its start; so do these tests.
std::optional<std::uint16_t> parse_loaded(const bytes& file) {
    bytes buffer(vkt2::max_file_size, 0);
    std::copy(file.begin(), file.end(), buffer.begin());
    return vkt2::parse_header(buffer);
}

TEST(ParseHeader, RejectsFilesWithoutTheExactMagicWord) {
    EXPECT_FALSE(parse_loaded({}));
    EXPECT_FALSE(parse_loaded({'V', 'K', 'T'}));
    EXPECT_FALSE(parse_loaded({'v', 'k', 't', '2', 0, 0, 0, 0}));
    EXPECT_FALSE(parse_loaded({'V', 'K', 'T', '3', 0, 0, 0, 0}));
    EXPECT_FALSE(parse_loaded({' ', 'V', 'K', 'T', '2', 0, 0, 0}));
}

TEST(ParseHeader, ReadsLittleEndianSizeAndIgnoresBytesSixAndSeven) {
    EXPECT_EQ(parse_loaded({'V', 'K', 'T', '2', 0x34, 0x12, 0, 0}), 0x1234);
    EXPECT_EQ(parse_loaded({'V', 'K', 'T', '2', 0x34, 0x12, 0xAB, 0xCD}), 0x1234);
    EXPECT_EQ(parse_loaded({'V', 'K', 'T', '2', 0xFF, 0xFF, 0, 0}), 65535);
    EXPECT_EQ(parse_loaded({'V', 'K', 'T', '2', 0x00, 0x00, 0xFF, 0xFF}), 0);
}

TEST(ParseHeader, ShortFilesReadMissingHeaderBytesAsZero) {
    EXPECT_EQ(parse_loaded({'V', 'K', 'T', '2'}), 0);
    EXPECT_EQ(parse_loaded({'V', 'K', 'T', '2', 0x07}), 7);
    // The library also accepts a bare file image, with the same meaning.
    const bytes five = {'V', 'K', 'T', '2', 0x07};
    EXPECT_EQ(vkt2::parse_header(five), 7);
    EXPECT_TRUE(vkt2::token_stream(five).empty());
}

TEST(TokenStream, StartsRightAfterTheEightByteHeader) {
    const bytes file = {'V', 'K', 'T', '2', 1, 0, 0, 0, 0x01};
    const auto stream = vkt2::token_stream(file);
    ASSERT_EQ(stream.size(), 1u);
    EXPECT_EQ(stream[0], 0x01);
    EXPECT_EQ(stream.data(), file.data() + 8);
}

}  // namespace
