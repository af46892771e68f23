// Embedded files found across read boundaries, and member names kept inside the output folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "archive.hpp"
#include "scan.hpp"
#include "vkt2/format.hpp"

namespace {

using bytes = std::vector<std::uint8_t>;

struct offered {
    std::uint64_t offset;
    bytes window;
    bool operator==(const offered&) const = default;
};

// Every "VKT2" of `data`, with the bytes a load from there would count and one more.
std::vector<offered> every_start(const bytes& data) {
    std::vector<offered> all;
    for (std::size_t i = 0; i + 4 <= data.size(); ++i) {
        if (std::memcmp(data.data() + i, "VKT2", 4) != 0) continue;
        const std::size_t n = std::min(data.size() - i, vkt2::max_file_size + 1);
        all.push_back({i, bytes(data.begin() + static_cast<std::ptrdiff_t>(i),
                                data.begin() + static_cast<std::ptrdiff_t>(i + n))});
    }
    return all;
}

TEST(Scan, OffersEveryStartOnceWhereverTheReadsEnd) {
    std::mt19937 rng(28);
    bytes data(200000);
    for (auto& b : data) b = static_cast<std::uint8_t>("VKT2xy"[rng() % 6]);
    // Starts at the very beginning, overlapping ones, and the last four bytes.
    for (std::size_t at : {std::size_t{0}, std::size_t{65535}, std::size_t{65537},
                           std::size_t{131072}, data.size() - 4}) {
        std::memcpy(data.data() + at, "VKT2", 4);
    }
    std::memcpy(data.data() + 100000, "VVKT2KT2", 8);
    const auto expected = every_start(data);
    ASSERT_GT(expected.size(), 100u);
    for (std::size_t chunk :
         {std::size_t{1}, std::size_t{4093}, std::size_t{65536}, std::size_t{1} << 20}) {
        std::size_t pos = 0;
        const auto read = [&](std::span<std::uint8_t> buffer) -> std::optional<std::size_t> {
            const std::size_t n = std::min(buffer.size(), data.size() - pos);
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(pos), n, buffer.begin());
            pos += n;
            return n;
        };
        std::vector<offered> got;
        const bool ok = vkt2::batch::scan_stream(read, chunk, [&](std::uint64_t at, auto window) {
            got.push_back({at, bytes(window.begin(), window.end())});
            return true;
        });
        EXPECT_TRUE(ok);
        EXPECT_TRUE(got == expected) << "chunk " << chunk << ": " << got.size() << " offered, "
                                     << expected.size() << " expected";
    }
}

TEST(Scan, StopsAtAReadErrorOrWhenAsked) {
    bytes data(100000, 'x');
    std::memcpy(data.data() + 10, "VKT2", 4);
    std::memcpy(data.data() + 20, "VKT2", 4);
    int calls = 0;
    const auto read = [&](std::span<std::uint8_t> buffer) -> std::optional<std::size_t> {
        if (calls++) return std::nullopt;
        std::copy_n(data.begin(), buffer.size(), buffer.begin());
        return buffer.size();
    };
    std::size_t seen = 0;
    const auto count = [&](std::uint64_t, auto) { return ++seen < 100; };
    EXPECT_FALSE(vkt2::batch::scan_stream(read, 1000, count));
    EXPECT_EQ(seen, 2u);
    calls = 0;
    seen = 99;
    EXPECT_FALSE(vkt2::batch::scan_stream(read, 1000, count));
    EXPECT_EQ(seen, 100u);  // the first offer said stop
}

TEST(Archive, MemberNamesStayBelowTheOutputFolder) {
    using vkt2::batch::member_path;
    EXPECT_EQ(member_path("a/b.vk"), "a/b.vk");
    EXPECT_EQ(member_path("./a//b.vk"), "a/b.vk");
    EXPECT_EQ(member_path("/etc/passwd"), "etc/passwd");
    EXPECT_EQ(member_path("a/../../b"), "");
    EXPECT_EQ(member_path(".."), "");
    EXPECT_EQ(member_path("a/.."), "");
    EXPECT_EQ(member_path("..x/y.."), "..x/y..");
    EXPECT_EQ(member_path("./"), "");
    EXPECT_EQ(member_path("..\\..\\x.vk"), "");
    EXPECT_EQ(member_path("a\\..\\..\\x.vk"), "");
    EXPECT_EQ(member_path("a/b\\.."), "");
    EXPECT_EQ(member_path("a\\..b\\c..\\d"), "a\\..b\\c..\\d");
}

}  // namespace
