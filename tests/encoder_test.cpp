// The encoder: round trips through the decoder, and streams as short as the format allows.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/greedy_encoder.hpp"
#include "vkt2/format.hpp"

namespace {

using bytes = std::vector<std::uint8_t>;

bytes round_trip(const bytes& input) {
    const bytes stream = vkt2::encode(input);
    EXPECT_LE(stream.size(), vkt2::max_stream_size(input.size()));
    bytes out(input.size());
    const auto r = vkt2::decode_stream(stream, out);
    EXPECT_EQ(r.status, vkt2::decode_status::ok);
    return out;
}

TEST(Encoder, RoundTripsInputsThatStressTheWindow) {
    std::mt19937 rng(7);
    auto random = [&](std::size_t n, std::size_t alphabet) {
        bytes b(n);
        for (auto& x : b) x = static_cast<std::uint8_t>(rng() % alphabet);
        return b;
    };
    const std::string text =
        "It was the best of times, it was the worst of times, it was the age of wisdom. ";
    bytes prose;
    while (prose.size() < 20000) prose.insert(prose.end(), text.begin(), text.end());
    bytes period(65535);
    for (std::size_t i = 0; i < period.size(); ++i) {
        period[i] = i < 4096 ? static_cast<std::uint8_t>(rng()) : period[i - 4096];
    }

    const std::vector<std::pair<const char*, bytes>> cases = {
        {"empty", {}},
        {"one byte", {0x42}},
        {"run", bytes(1000, 'a')},
        {"prose", prose},
        {"random", random(20000, 256)},
        {"two letters", random(30000, 2)},
        {"4095", random(4095, 4)},
        {"4096", random(4096, 4)},
        {"4097", random(4097, 4)},
        {"largest zeros", bytes(65535, 0)},
        {"period 4096", period},
    };
    for (const auto& [what, input] : cases) {
        SCOPED_TRACE(what);
        EXPECT_EQ(round_trip(input), input);
    }
    for (int i = 0; i < 300; ++i) {
        const bytes input = random(rng() % 64, 1 + rng() % 3);
        ASSERT_EQ(round_trip(input), input) << "case " << i;
    }
}

TEST(Encoder, UsesThePrefilledZerosAndTheWholeWindow) {
    // Zeros before anything is written: one reference, not three literals, and after a letter
    // too, where only the 18 positions before the start have them all.
    EXPECT_EQ(vkt2::encode(bytes(18, 0)).size(), 3u);
    bytes letter_then_zeros(19, 0);
    letter_then_zeros[0] = 'x';
    EXPECT_EQ(vkt2::encode(letter_then_zeros).size(), 4u);
    // Random data repeating after 4,096 bytes can only be copied from write_pos itself: the
    // stream ends with one reference to position 4078, of length 18, or cut short after the
    // two zeros that occur only at the start.
    std::mt19937 rng(3);
    bytes period(4096);
    for (auto& b : period) b = static_cast<std::uint8_t>(1 + rng() % 255);
    period[0] = period[1] = 0;
    for (const std::size_t tail : {std::size_t{18}, std::size_t{2}}) {
        bytes input = period;
        input.insert(input.end(), period.begin(),
                     period.begin() + static_cast<std::ptrdiff_t>(tail));
        const bytes stream = vkt2::encode(input);
        ASSERT_GE(stream.size(), 2u);
        EXPECT_EQ(stream[stream.size() - 2], 0xEE) << tail;
        EXPECT_EQ(stream.back(), tail == 18 ? 0xFF : 0xF0) << tail;
    }
}

// Fewest bits over every parse, with each reference tried at each of the 4,096 window
// positions on a simulated ring window: slow, plain, and independent of the encoder. Any
// shorter copy from the same position is there too, so the longest one at each index will do.
std::size_t brute_force_bits(const bytes& input) {
    const std::size_t n = input.size();
    std::vector<std::size_t> longest(n, 0);
    std::uint8_t window[4096] = {};
    for (std::size_t i = 0, write_pos = 4078; i < n; ++i, write_pos = (write_pos + 1) % 4096) {
        const std::size_t most = std::min<std::size_t>(18, n - i);
        for (std::size_t pos = 0; pos < 4096 && longest[i] < most; ++pos) {
            if (window[pos] != input[i]) continue;  // not even the first byte
            // The copy reads what it has itself stored once it passes write_pos, 1 to 4,096
            // positions on; it only stores bytes that match, so those are input[i..].
            const std::size_t stored_from = (write_pos + 4095 - pos) % 4096 + 1;
            std::size_t len = 1;
            while (len < most &&
                   (len < stored_from ? window[(pos + len) % 4096]
                                      : input[i + len - stored_from]) == input[i + len]) {
                ++len;
            }
            longest[i] = std::max(longest[i], len);
        }
        window[write_pos] = input[i];
    }
    std::vector<std::size_t> best(n + 1, 0);
    for (std::size_t i = n; i-- > 0;) {
        best[i] = 9 + best[i + 1];
        for (std::size_t l = 3; l <= longest[i]; ++l) best[i] = std::min(best[i], 17 + best[i + l]);
        // Covering the rest of the input, a reference may be cut short by the end.
        if (i + longest[i] == n) best[i] = std::min<std::size_t>(best[i], 17);
    }
    return best[0];
}

// The bits a stream spends on the tokens that produce `size` bytes: 9 a literal, 17 a reference.
std::size_t stream_bits(const bytes& stream, std::size_t size) {
    std::size_t bits = 0;
    for (std::size_t in = 0, out = 0; out < size;) {
        unsigned flags = stream.at(in++);
        for (int bit = 0; bit < 8 && out < size; ++bit, flags >>= 1) {
            const bool literal = flags & 1u;
            out += literal ? 1 : (stream.at(in + 1) & 0x0Fu) + 3u;
            in += literal ? 1 : 2;
            bits += literal ? 9 : 17;
        }
    }
    return bits;
}

TEST(Encoder, MatchesBruteForceOptimumOnShortInputs) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 60; ++trial) {
        bytes input(1 + rng() % 12);
        // With zero as a letter, references into the unwritten window pay off too.
        const std::uint8_t a = trial % 2 == 0 ? 0 : 'a';
        for (auto& b : input) b = rng() % 2 == 0 ? a : std::uint8_t{'b'};
        EXPECT_EQ(stream_bits(vkt2::encode(input), input.size()), brute_force_bits(input))
            << ::testing::PrintToString(input);
    }
}

// Text: words of a small vocabulary, as prose repeats them. Machine code: opcodes from a short
// list between random operands and addresses that recur. Both are generated, so every machine
// tests the same bytes.
bytes text_like(std::size_t n, unsigned seed) {
    static const char* const words[] = {"the ", "mill ", "wheel ", "turned, ", "until ", "river ",
                                        "ran ", "to ",   "sea; ",  "and ",     "water ", "stone\n"};
    std::mt19937 rng(seed);
    bytes out;
    while (out.size() < n) {
        const std::string word = words[rng() % std::size(words)];
        out.insert(out.end(), word.begin(), word.end());
    }
    out.resize(n);
    return out;
}

bytes code_like(std::size_t n, unsigned seed) {
    static const std::uint8_t opcodes[] = {0x8B, 0x89, 0xE8, 0x48, 0x83, 0xC3, 0x55, 0x5D};
    std::mt19937 rng(seed);
    std::vector<std::uint32_t> addresses(16);
    for (auto& a : addresses) a = static_cast<std::uint32_t>(rng() & 0x00FFFFF0u);
    bytes out;
    while (out.size() < n) {
        out.push_back(opcodes[rng() % std::size(opcodes)]);
        const std::uint32_t operand =
            rng() % 2 ? addresses[rng() % addresses.size()] : static_cast<std::uint32_t>(rng());
        for (int k = 0; k < 4; ++k) out.push_back(static_cast<std::uint8_t>(operand >> (8 * k)));
    }
    out.resize(n);
    return out;
}

// Past the window's end: text and code, and a run and a short period repeated exactly 4,096
// bytes later, when only their last full-length match is still in reach.
TEST(Encoder, MatchesBruteForceOptimumOnLongerInputs) {
    std::vector<std::pair<std::string, bytes>> inputs = {{"text", text_like(5000, 1)},
                                                         {"code", code_like(5000, 2)}};
    for (const std::string& repeated :
         {std::string(40, 'x'), std::string("xyzxyzxyzxyzxyzxyzxyzx")}) {
        bytes input(repeated.begin(), repeated.end());
        for (int k = 0; k < 4078; ++k) input.push_back(static_cast<std::uint8_t>(k * 7919 % 251));
        input.insert(input.end(), repeated.end() - 18, repeated.end());
        inputs.emplace_back(repeated, input);
    }
    for (const auto& [what, input] : inputs) {
        EXPECT_EQ(stream_bits(vkt2::encode(input), input.size()), brute_force_bits(input)) << what;
    }
}

// On full-size inputs the shortest parse never loses to the greedy one (bench/ratio prints how
// far ahead it is).
TEST(Encoder, NeverLongerThanGreedy) {
    const std::pair<const char*, bytes> inputs[] = {
        {"text", text_like(vkt2::max_original_size, 3)},
        {"code", code_like(vkt2::max_original_size, 4)},
        {"two letters", [] {
             std::mt19937 rng(5);
             bytes b(vkt2::max_original_size);
             for (auto& x : b) x = static_cast<std::uint8_t>('a' + rng() % 2);
             return b;
         }()}};
    for (const auto& [what, input] : inputs) {
        EXPECT_LE(vkt2::encode(input).size(), vkt2::testing::greedy_encode(input).size()) << what;
    }
}

}  // namespace
