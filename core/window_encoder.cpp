// The encoder: an exact longest match at every position, then a shortest-path parse.
//
// The decoder's window is a ring of the last 4,096 output bytes whose unwritten positions
// hold zero. Seen from the output, a reference at output index i to window position p copies
// from distance d = (write_pos - p) mod 4096, taken as 4096 when p is write_pos itself, and
// bytes before the start of the output read as zero. So the encoder works on 4,096 zeros
// followed by the input, where a reference is any earlier substring that starts at most 4,096
// bytes back. Of the zeros, only the last 18 need keeping: every earlier one starts the same 18
// zero bytes as the first of them and leaves the window sooner.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "vkt2/vkt2.hpp"

namespace vkt2 {

namespace {

constexpr std::size_t literal_bits = 9;
constexpr std::size_t reference_bits = 17;

// The set of window start positions, kept by their rank in sorted order, with constant-time
// insert and erase and a fast nearest-neighbour search through a summary of non-empty words.
class rank_set {
  public:
    explicit rank_set(std::size_t size)
        : words_((size + 63) / 64), summary_((words_.size() + 63) / 64) {}

    void insert(std::size_t r) {
        words_[r / 64] |= bit(r % 64);
        summary_[r / 4096] |= bit((r / 64) % 64);
    }
    void erase(std::size_t r) {
        words_[r / 64] &= ~bit(r % 64);
        if (words_[r / 64] == 0) summary_[r / 4096] &= ~bit((r / 64) % 64);
    }

    // The largest member below r, or npos.
    std::size_t before(std::size_t r) const {
        std::size_t w = r / 64;
        const std::uint64_t low = words_[w] & (bit(r % 64) - 1);
        if (low != 0) return w * 64 + 63 - static_cast<std::size_t>(std::countl_zero(low));
        w = previous_word(w);
        if (w == npos) return npos;
        return w * 64 + 63 - static_cast<std::size_t>(std::countl_zero(words_[w]));
    }

    // The smallest member above r, or npos.
    std::size_t after(std::size_t r) const {
        std::size_t w = r / 64;
        const std::uint64_t high = (r % 64 == 63) ? 0 : words_[w] & ~((bit(r % 64) << 1) - 1);
        if (high != 0) return w * 64 + static_cast<std::size_t>(std::countr_zero(high));
        w = next_word(w);
        if (w == npos) return npos;
        return w * 64 + static_cast<std::size_t>(std::countr_zero(words_[w]));
    }

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  private:
    static constexpr std::uint64_t bit(std::size_t i) { return std::uint64_t{1} << i; }

    std::size_t previous_word(std::size_t w) const {
        std::size_t s = w / 64;
        std::uint64_t bits = summary_[s] & (bit(w % 64) - 1);
        while (bits == 0) {
            if (s == 0) return npos;
            bits = summary_[--s];
        }
        return s * 64 + 63 - static_cast<std::size_t>(std::countl_zero(bits));
    }

    std::size_t next_word(std::size_t w) const {
        std::size_t s = w / 64;
        std::uint64_t bits = (w % 64 == 63) ? 0 : summary_[s] & ~((bit(w % 64) << 1) - 1);
        while (bits == 0) {
            if (++s == summary_.size()) return npos;
            bits = summary_[s];
        }
        return s * 64 + static_cast<std::size_t>(std::countr_zero(bits));
    }

    std::vector<std::uint64_t> words_;
    std::vector<std::uint64_t> summary_;
};

struct match {
    std::uint8_t length;  // 0 when shorter than a reference can be
    std::uint16_t distance;
};

// For every input position, the longest match (up to 18 bytes) that starts in the window.
// Sorting the positions of z by their next 18 bytes puts the best partner of any position
// next to it among the positions currently in the window, on one side or the other.
std::vector<match> longest_matches(std::span<const std::uint8_t> input) {
    constexpr std::size_t lead = max_ref_len;
    const std::size_t n = input.size();
    const std::size_t total = lead + n;
    std::vector<std::uint8_t> z(total, 0);
    std::copy_backward(input.begin(), input.end(), z.end());

    auto key_length = [&](std::size_t p) { return std::min(max_ref_len, total - p); };
    auto common = [&](std::size_t a, std::size_t b) {
        const std::size_t limit = std::min(key_length(a), key_length(b));
        std::size_t k = 0;
        while (k < limit && z[a + k] == z[b + k]) ++k;
        return k;
    };

    std::vector<std::uint32_t> order(total);
    for (std::size_t p = 0; p < total; ++p) order[p] = static_cast<std::uint32_t>(p);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const std::size_t k = common(a, b);
        if (k < key_length(a) && k < key_length(b)) return z[a + k] < z[b + k];
        return key_length(a) < key_length(b) && k == key_length(a);
    });
    std::vector<std::uint32_t> rank(total);
    for (std::size_t r = 0; r < total; ++r) rank[order[r]] = static_cast<std::uint32_t>(r);

    std::vector<match> best(n, match{0, 0});
    rank_set window(total);
    for (std::size_t p = 0; p < lead; ++p) window.insert(rank[p]);
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t at = lead + i;
        for (const std::size_t r : {window.before(rank[at]), window.after(rank[at])}) {
            if (r == rank_set::npos) continue;
            const std::size_t from = order[r];
            const std::size_t k = common(from, at);
            // Shorter matches count only when they take in the whole rest of the input: the
            // decoder stops mid-reference once it has produced everything.
            if ((k >= min_ref_len || k == total - at) && k > best[i].length) {
                best[i] = {static_cast<std::uint8_t>(k), static_cast<std::uint16_t>(at - from)};
            }
        }
        if (at >= window_size) window.erase(rank[at - window_size]);  // now 4,097 back
        window.insert(rank[at]);
    }
    return best;
}

}  // namespace

std::vector<std::uint8_t> encode(std::span<const std::uint8_t> input) {
    const std::size_t n = input.size();
    const std::vector<match> matches = longest_matches(input);

    // cost[i]: fewest bits that encode input[i..]; step[i]: how many bytes the reference that
    // achieves it covers, or 0 for a literal. A reference may cover fewer than 3 bytes only at
    // the very end, where the decoder cuts it short.
    std::vector<std::uint32_t> cost(n + 1, 0);
    std::vector<std::uint8_t> step(n, 0);
    for (std::size_t i = n; i-- > 0;) {
        cost[i] = static_cast<std::uint32_t>(literal_bits + cost[i + 1]);
        const std::size_t shortest = std::min(min_ref_len, n - i);
        for (std::size_t len = shortest; len <= matches[i].length; ++len) {
            const auto c = static_cast<std::uint32_t>(reference_bits + cost[i + len]);
            if (c < cost[i]) {
                cost[i] = c;
                step[i] = static_cast<std::uint8_t>(len);
            }
        }
    }

    std::vector<std::uint8_t> out;
    out.reserve((cost[0] + 7) / 8);
    std::size_t flag_at = 0;
    unsigned tokens = 0;
    for (std::size_t i = 0; i < n; i += std::max<std::size_t>(step[i], 1), ++tokens) {
        if (tokens % 8 == 0) {
            flag_at = out.size();
            out.push_back(0);
        }
        if (step[i] == 0) {
            out[flag_at] = static_cast<std::uint8_t>(out[flag_at] | (1u << (tokens % 8)));
            out.push_back(input[i]);
            continue;
        }
        // The window position that holds the byte `distance` back from output index i.
        const std::size_t pos =
            (window_start + window_size + i - matches[i].distance) & (window_size - 1);
        out.push_back(static_cast<std::uint8_t>(pos & 0xFF));
        out.push_back(static_cast<std::uint8_t>(
            ((pos >> 4) & 0xF0) | (std::max<std::size_t>(step[i], min_ref_len) - min_ref_len)));
    }
    return out;
}

}  // namespace vkt2
