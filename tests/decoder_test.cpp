// The window decoder on hand-built token streams, aimed at its edges.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <random>

#include "support/reference_decoder.hpp"
#include "support/token_builder.hpp"
#include "vkt2/format.hpp"

namespace {

using bytes = std::vector<std::uint8_t>;
using vkt2::testing::token_builder;

constexpr std::uint8_t guard = 0xA5;

struct decoded {
    vkt2::decode_status status;
    std::size_t produced;
    bytes out;
};

// Decodes into the middle of a guarded buffer and checks nothing beyond `size` was touched.
decoded decode(const bytes& stream, std::size_t size) {
    bytes area(size + 64, guard);
    const std::span<std::uint8_t> out(area.data() + 32, size);
    const auto r = vkt2::decode_stream(stream, out);
    for (std::size_t i = 0; i < 32; ++i) {
        EXPECT_EQ(area[i], guard) << "wrote before the output at " << i;
        EXPECT_EQ(area[32 + size + i], guard) << "wrote past the output at " << i;
    }
    return {r.status, r.produced, bytes(out.begin(), out.end())};
}

bytes text(const std::string& s) {
    return bytes(s.begin(), s.end());
}

TEST(Decoder, WorkedExampleCopiesFromBytesItHasJustStored) {
    const bytes stream = {0x07, 0x61, 0x62, 0x63, 0xEE, 0xF4};
    const auto d = decode(stream, 10);
    EXPECT_EQ(d.status, vkt2::decode_status::ok);
    EXPECT_EQ(d.produced, 10u);
    EXPECT_EQ(d.out, text("abcabcabca"));
}

TEST(Decoder, WindowWrapsForBothWriteAndReferencePositions) {
    token_builder b;
    std::string expect;
    for (int i = 0; i < 19; ++i) {  // positions 4078..4095, then the 19th lands on 0
        b.literal(static_cast<std::uint8_t>('A' + i));
        expect += static_cast<char>('A' + i);
    }
    // From 4095 the copy wraps to 0, then reads position 1, which it has just written.
    b.copy(4095, 3);
    expect += "RSR";
    EXPECT_EQ(decode(b.bytes(), expect.size()).out, text(expect));
}

TEST(Decoder, UnwrittenPositionsReadAsZeroAndWritePosHoldsTheByte4096Back) {
    EXPECT_EQ(decode({0x00, 0xEE, 0xF0}, 3).out, bytes(3, 0));
    EXPECT_EQ(decode(token_builder().literals("abc").copy(100, 4).bytes(), 7).out,
              text(std::string("abc\0\0\0\0", 7)));

    token_builder b;
    bytes expect;
    for (int i = 0; i < 4096; ++i) {
        const auto byte = static_cast<std::uint8_t>(i * 7 + 1);
        b.literal(byte);
        expect.push_back(byte);
    }
    b.copy(4078, 3);  // write_pos is back at its start: the first three bytes are there
    expect.insert(expect.end(), {1, 8, 15});
    EXPECT_EQ(decode(b.bytes(), expect.size()).out, expect);
}

TEST(Decoder, StopsExactlyAtOriginalSizeEvenInsideAReference) {
    const auto d = decode({0x01, 0x61, 0xEE, 0xFF}, 5);
    EXPECT_EQ(d.status, vkt2::decode_status::ok);
    EXPECT_EQ(d.out, text("aaaaa"));
    // The rest of the group is never read, so a stream cut right after the last needed
    // token is complete.
    EXPECT_EQ(decode({0x07, 'a', 'b', 'c'}, 3).status, vkt2::decode_status::ok);
    // Size zero reads nothing, not even a flag byte.
    EXPECT_EQ(decode({}, 0).status, vkt2::decode_status::ok);
}

TEST(Decoder, ZeroFilledTailDecodesAsZeroBytes) {
    // As the tool loads it: header only, everything after it zero.
    bytes buffer(vkt2::max_file_size, 0);
    const bytes header = {'V', 'K', 'T', '2', 0xFF, 0xFF, 0, 0};
    std::copy(header.begin(), header.end(), buffer.begin());
    const auto d =
        decode(bytes(vkt2::token_stream(buffer).begin(), vkt2::token_stream(buffer).end()), 65535);
    EXPECT_EQ(d.status, vkt2::decode_status::ok);
    EXPECT_EQ(d.out, bytes(65535, 0));

    // A literal, then zero flags: references to position 0 of length 3, still unwritten.
    bytes stream = {0x01, 'a'};
    stream.resize(64, 0);
    EXPECT_EQ(decode(stream, 7).out, text(std::string("a\0\0\0\0\0\0", 7)));
}

TEST(Decoder, ReportsTheEndOfTheInputWithoutReadingPastIt) {
    // Missing flag byte, missing literal, and half a reference.
    auto d = decode(token_builder().literals("ab").bytes(), 3);
    EXPECT_EQ(d.status, vkt2::decode_status::stream_past_limit);
    EXPECT_EQ(d.produced, 2u);
    EXPECT_EQ(decode({0x03, 'a'}, 2).produced, 1u);
    d = decode({0x01, 'a', 0xEE}, 3);
    EXPECT_EQ(d.status, vkt2::decode_status::stream_past_limit);
    EXPECT_EQ(d.produced, 1u);
    EXPECT_EQ(d.out[0], 'a');
    // Eight references need 16 bytes after their flag byte; with 15 the eighth is cut off,
    // also where a group is decoded in one go.
    bytes cut(25, 0xFF);  // eight literals, then a flag byte of references
    cut[9] = 0x00;
    EXPECT_EQ(decode(cut, 1000).produced, 8u + 7 * 18);

    // A full load buffer of all-literal groups runs out 58,247 bytes in.
    bytes stream(vkt2::max_file_size - vkt2::header_size, 0xFF);
    d = decode(stream, 65535);
    EXPECT_EQ(d.status, vkt2::decode_status::stream_past_limit);
    EXPECT_EQ(d.produced, 58247u);
}

// Streams against the plain ring-window decoder. Half are arbitrary bytes; half are built token
// by token with distances chosen to hit every copy path: zeros before the start, one byte
// back, short periods, long distances and write_pos itself. Sizes and cut-off points vary so
// both ends of the input and the output are reached.
TEST(Decoder, MatchesTheRingWindowModelOnArbitraryStreams) {
    std::mt19937 rng(2024);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    for (int trial = 0; trial < 2000; ++trial) {
        token_builder b;
        bytes stream;
        std::size_t made = 0;
        if (trial % 2 == 0) {
            stream.resize(trial < 10 ? 65528 : pick(3000));
            for (auto& x : stream) x = static_cast<std::uint8_t>(rng());
        } else {
            const std::size_t target = trial < 10 ? 65535 : pick(9000);
            while (made < target) {
                if (pick(3) == 0) {
                    b.literal(static_cast<std::uint8_t>(rng()));
                    ++made;
                    continue;
                }
                const std::size_t choices[] = {1 + pick(20), 4096, 1 + pick(4096),
                                               made + 1 + pick(30)};
                const std::size_t d = std::min<std::size_t>(choices[pick(4)], 4096);
                const std::size_t len = 3 + pick(16);
                b.copy(static_cast<unsigned>((4078 + 4096 + made - d) & 0xFFF),
                       static_cast<unsigned>(len));
                made += len;
            }
            stream = b.bytes();
            if (pick(4) == 0) stream.resize(pick(stream.size() + 1));
        }
        const std::size_t size =
            trial % 2 == 0 ? pick(12000) : made - pick(std::min<std::size_t>(made + 1, 20));

        bytes expected;
        const std::size_t produced = vkt2::testing::reference_decode(
            stream, size, [&](std::uint8_t x) { expected.push_back(x); });
        const auto d = decode(stream, size);
        ASSERT_EQ(d.produced, produced) << "trial " << trial;
        ASSERT_EQ(d.status, produced == size ? vkt2::decode_status::ok
                                             : vkt2::decode_status::stream_past_limit);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), d.out.begin()))
            << "trial " << trial;
    }
}

}  // namespace
