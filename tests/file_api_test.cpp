// The whole-file helpers and the C interface: the tools' size limits, the zero fill, and every
// error they report.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "vkt2/vkt2.h"
#include "vkt2/vkt2.hpp"

namespace {

using bytes = std::vector<std::uint8_t>;
using vkt2::file_status;

// A header, then 0xFF bytes: all literals, so the first 65,536 bytes of the image hold a
// stream of exactly 58,247 bytes of output, however long the image is.
bytes literal_image(std::uint16_t original_size) {
    bytes image(80000, 0xFF);
    const auto header = vkt2::make_header(original_size);
    std::copy(header.begin(), header.end(), image.begin());
    return image;
}

// No zero byte and no three bytes seen twice within 4,096, so no reference saves anything and
// the file is the all-literal bound.
bytes without_matches(std::size_t size) {
    bytes data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(i % 2 ? 128 + i / 2 % 128 : 1 + i / 256 % 127);
    return data;
}

TEST(WholeFile, DecompressReadsOnlyTheFirst65536BytesAndZerosPastTheEnd) {
    EXPECT_EQ(vkt2::decompress(bytes{'V', 'K', 'T'}).status, file_status::not_vkt2);
    EXPECT_EQ(vkt2::decompress(bytes{'V', 'K', 'T', '2', 24}).bytes, bytes(24, 0));
    EXPECT_EQ(vkt2::decompress(literal_image(58247)).bytes, bytes(58247, 0xFF));
    EXPECT_EQ(vkt2::decompress(literal_image(58248)).status, file_status::truncated);
}

TEST(WholeFile, CompressRefusesWhatVkt2xCouldNotLoad) {
    EXPECT_EQ(vkt2::compress(without_matches(58247)).bytes.size(), vkt2::input_buffer_size);
    EXPECT_EQ(vkt2::compress(without_matches(58248)).status, file_status::too_large);
    EXPECT_TRUE(vkt2::compress(bytes(65535, 'a')));
    EXPECT_EQ(vkt2::compress(bytes(65536, 'a')).status, file_status::too_large);
}

TEST(CInterface, NamesEveryErrorAndSaysHowMuchRoomIsNeeded) {
    const bytes image = literal_image(58248);
    const bytes zeros(65536, 0);
    bytes out(65536);
    std::size_t size = 0;
    EXPECT_EQ(vkt2_decompress(image.data(), image.size(), out.data(), out.size(), nullptr),
              VKT2_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vkt2_decompress("VKT3", 4, out.data(), out.size(), &size), VKT2_ERROR_NOT_VKT2);
    EXPECT_EQ(vkt2_decompress(image.data(), image.size(), nullptr, 0, &size),
              VKT2_ERROR_DST_TOO_SMALL);
    EXPECT_EQ(size, 58248u);
    EXPECT_EQ(vkt2_decompress(image.data(), image.size(), out.data(), out.size(), &size),
              VKT2_ERROR_TRUNCATED);
    EXPECT_EQ(vkt2_compress(zeros.data(), 65536, out.data(), out.size(), &size),
              VKT2_ERROR_TOO_LARGE);
    EXPECT_EQ(vkt2_compress(zeros.data(), 100, out.data(), 8, &size), VKT2_ERROR_DST_TOO_SMALL);
    EXPECT_EQ(size, vkt2::compress(bytes(100, 0)).bytes.size());
    std::set<std::string> names;
    for (int code = 0; code <= 7; ++code) names.insert(vkt2_error_name(code));
    EXPECT_EQ(names.size(), 8u);
}

TEST(CInterface, RoundTripsWithinTheBound) {
    EXPECT_EQ(vkt2_compress_bound(65536), 0u);
    EXPECT_EQ(vkt2_compress_bound(65535), 65536u);
    const bytes data = without_matches(1000);
    bytes file(vkt2_compress_bound(data.size())), back(data.size());
    std::size_t size = 0;
    ASSERT_EQ(vkt2_compress(data.data(), data.size(), file.data(), file.size(), &size), VKT2_OK);
    EXPECT_EQ(size, file.size());
    ASSERT_EQ(vkt2_decompress(file.data(), size, back.data(), back.size(), &size), VKT2_OK);
    EXPECT_EQ(back, data);
}

}  // namespace
