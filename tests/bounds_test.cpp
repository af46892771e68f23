// Every decode entry point, into outputs of exactly the decoded size with canary bytes after
// them, on streams whose last group is eight longest references: the group writes most past
// its own bytes, and the decoder must leave its fast path in time for it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/reference_decoder.hpp"
#include "support/token_builder.hpp"
#include "vkt2/format.hpp"
#include "vkt2/vkt2.h"

namespace {

using bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t canary = 0xC3;
constexpr std::size_t canaries = 64;

// `lead` literals, then `groups` groups of eight references of 18 bytes from distances both
// near and far, then `tail` literals: a file of lead + 144 * groups + tail bytes. With tail 0
// the stream ends with a full group of longest references.
bytes image(std::size_t lead, std::size_t groups, std::size_t tail, std::mt19937& rng) {
    static constexpr unsigned distances[] = {8, 9, 18, 1, 3, 7, 4095, 100, 24, 2, 17, 300};
    vkt2::testing::token_builder b;
    std::size_t op = 0;
    for (; op < lead; ++op) b.literal(static_cast<std::uint8_t>(rng()));
    for (std::size_t i = 0; i < 8 * groups; ++i, op += vkt2::max_ref_len) {
        // The last of a group from far back: the widest write the decoder makes.
        const unsigned d = i % 8 == 7 ? 100 : distances[rng() % std::size(distances)];
        b.copy(static_cast<unsigned>(vkt2::window_start + op - d) & 0xFFF, vkt2::max_ref_len);
    }
    for (std::size_t i = 0; i < tail; ++i, ++op) b.literal(static_cast<std::uint8_t>(rng()));
    const auto header = vkt2::make_header(static_cast<std::uint16_t>(op));
    bytes file(header.size() + b.bytes().size());
    std::copy(header.begin(), header.end(), file.begin());
    std::copy(b.bytes().begin(), b.bytes().end(), file.begin() + vkt2::header_size);
    return file;
}

constexpr const char* entry_points[] = {"decode_stream",   "decode_zero_extended",
                                        "vkt2_decompress", "vkt2_decompress_ex zero fill",
                                        "decompress_into", "decompress_into zero fill"};

// Decodes `f` into `out` through entry point `which`: true when it fills `out` exactly.
bool decode(int which, const bytes& f, std::span<std::uint8_t> out) {
    const auto stream = vkt2::token_stream(f);
    std::size_t size = 0;
    if (which < 2) {
        const auto r = which ? vkt2::decode_zero_extended(stream, vkt2::stream_room, out)
                             : vkt2::decode_stream(stream, out);
        return r.status == vkt2::decode_status::ok && r.consumed == stream.size();
    }
    if (which >= 4) {
        const auto how = which == 5 ? vkt2::decoding::zero_fill : vkt2::decoding::strict;
        return vkt2::decompress_into(f, out, how).status == vkt2::file_status::ok;
    }
    const int code = which == 3
                         ? vkt2_decompress_ex(f.data(), f.size(), out.data(), out.size(), &size, 1)
                         : vkt2_decompress(f.data(), f.size(), out.data(), out.size(), &size);
    return code == VKT2_OK && size == out.size();
}

TEST(Bounds, NoEntryPointWritesPastAnExactOutput) {
    std::mt19937 rng(26);
    // The last long group starts 144 + tail bytes before the end: past 192 the fast path may
    // run it, below it must not; the groups before it run fast.
    for (std::size_t tail = 0; tail <= 64; ++tail) {
        for (std::size_t lead : {8u, 24u, 4104u}) {  // whole groups of literals
            const bytes file = image(lead, 3, tail, rng);
            const std::size_t size = lead + 3 * 144 + tail;
            bytes want;
            vkt2::testing::reference_decode(vkt2::token_stream(file), size,
                                            [&](std::uint8_t b) { want.push_back(b); });
            want.resize(size + canaries, canary);  // the canaries stay as they were
            for (int which = 0; which < 6; ++which) {
                SCOPED_TRACE(std::string(entry_points[which]) + ", tail " + std::to_string(tail) +
                             ", lead " + std::to_string(lead));
                bytes area(size + canaries, canary);
                ASSERT_TRUE(decode(which, file, std::span(area).first(size)));
                EXPECT_EQ(area, want);
            }
        }
    }
}

}  // namespace
