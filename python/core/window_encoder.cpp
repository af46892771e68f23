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

#include "vkt2/format.hpp"

namespace vkt2 {

namespace {

constexpr std::size_t literal_bits = 9;
constexpr std::size_t reference_bits = 17;

struct match {
    std::size_t length;
    std::size_t distance;
};

// Binary search trees of the positions in the window, one per hash of their first three bytes,
// ordered by their next 18 bytes. The newest position is the root and every node is newer than
// its children, so a new key is put in by splitting the tree along its search path, which
// passes the key's nearest neighbours below and above: the longest match is one of them.
// Positions that have left the window are the oldest, at the bottom, and get cut off when a
// search reaches them.
class match_finder {
  public:
    // `z` must be readable 8 bytes past `total`, for the word compares.
    match_finder(const std::uint8_t* z, std::size_t total)
        : z_(z), total_(total), head_(hash_size, none), less_(slots), more_(slots) {}

    // Puts position `cur` (with at least 3 bytes after it) in the trees and returns its longest
    // match with a position in the window.
    match insert(std::int32_t cur) {
        const std::size_t limit = std::min(max_ref_len, total_ - static_cast<std::size_t>(cur));
        std::int32_t& head = head_[hash(cur)];
        std::int32_t node = head;
        head = cur;
        std::int32_t* less = &less_[slot(cur)];  // where the next smaller key hangs
        std::int32_t* more = &more_[slot(cur)];  // where the next larger key hangs
        std::size_t less_len = 0;
        std::size_t more_len = 0;
        match best{0, 0};
        while (cur - node <= static_cast<std::int32_t>(window_size)) {
            const std::size_t len = common(node, cur, std::min(less_len, more_len), limit);
            if (len > best.length) {
                best = {len, static_cast<std::size_t>(cur - node)};
            }
            if (len == limit) {
                // Same key: cur takes the node's place and its subtrees.
                *less = less_[slot(node)];
                *more = more_[slot(node)];
                return best;
            }
            if (z_[static_cast<std::size_t>(node) + len] <
                z_[static_cast<std::size_t>(cur) + len]) {
                *less = node;
                less = &more_[slot(node)];
                node = *less;
                less_len = len;
            } else {
                *more = node;
                more = &less_[slot(node)];
                node = *more;
                more_len = len;
            }
        }
        *less = none;
        *more = none;
        return best;
    }

  private:
    static constexpr std::size_t hash_size = 1 << 13;
    static constexpr std::size_t slots = 2 * window_size;  // more than the 4,097 live positions
    // Older than any window: a search stops at it.
    static constexpr std::int32_t none = -static_cast<std::int32_t>(2 * window_size);

    static std::size_t slot(std::int32_t p) { return static_cast<std::size_t>(p) & (slots - 1); }

    std::size_t hash(std::int32_t p) const {
        const std::uint8_t* b = z_ + p;
        const std::uint32_t v =
            std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16;
        return (v * 2654435761u) >> (32 - std::countr_zero(hash_size));
    }

    // The length of the common prefix of the bytes at a and b, at least `known` and at most
    // `limit`, eight bytes at a time.
    std::size_t common(std::int32_t a, std::int32_t b, std::size_t known, std::size_t limit) const {
        for (std::size_t k = known; k < limit; k += 8) {
            std::uint64_t x;
            std::uint64_t y;
            std::memcpy(&x, z_ + a + k, 8);
            std::memcpy(&y, z_ + b + k, 8);
            if (x != y) {
                const auto diff = x ^ y;
                const auto bits = std::endian::native == std::endian::little
                                      ? std::countr_zero(diff)
                                      : std::countl_zero(diff);
                return std::min(limit, k + static_cast<std::size_t>(bits) / 8);
            }
        }
        return limit;
    }

    const std::uint8_t* z_;
    std::size_t total_;
    std::vector<std::int32_t> head_;
    std::vector<std::int32_t> less_;
    std::vector<std::int32_t> more_;
};

// For every input position, the longest match (up to 18 bytes) that starts in the window: its
// length, or 0 when shorter than a reference can be, and its distance.
void longest_matches(std::span<const std::uint8_t> input, std::span<std::uint8_t> length,
                     std::span<std::uint16_t> distance) {
    constexpr std::size_t lead = max_ref_len;
    const std::size_t n = input.size();
    const std::size_t total = lead + n;
    std::vector<std::uint8_t> z(total + 8, 0);
    std::copy(input.begin(), input.end(), z.begin() + lead);
    match_finder finder(z.data(), total);
    for (std::size_t p = 0; p < lead && total - p >= min_ref_len; ++p) {
        finder.insert(static_cast<std::int32_t>(p));
    }

    // When a match takes in all 18 bytes, the next position often matches in full at the same
    // distance (runs, periods, repeated text) and is settled with one byte compare. Its key then
    // equals the one `distance` back, so the trees need only the last `distance` such positions,
    // put in when the stretch ends.
    std::size_t stretch_from = 0;  // the positions from here to the current one are not in yet
    match last{0, 0};              // the previous position's
    for (std::size_t at = lead; at < total; ++at) {
        const std::size_t limit = std::min(max_ref_len, total - at);
        if (last.length == std::min(max_ref_len, limit + 1) &&
            (limit < max_ref_len || z[at + limit - 1] == z[at + limit - 1 - last.distance])) {
            last.length = limit;
            if (stretch_from == 0) stretch_from = at;
        } else if (limit >= min_ref_len) {
            if (stretch_from != 0) {
                for (std::size_t p = std::max(stretch_from, at - last.distance); p < at; ++p) {
                    finder.insert(static_cast<std::int32_t>(p));
                }
                stretch_from = 0;
            }
            last = finder.insert(static_cast<std::int32_t>(at));
        } else {
            // The last one or two bytes: a reference that covers them is cut short by the end.
            last.length = 0;
            for (std::size_t from = at; from-- > at - std::min(at, window_size);) {
                if (z[from] == z[at] && (limit == 1 || z[from + 1] == z[at + 1])) {
                    last = {limit, at - from};
                    break;
                }
            }
        }
        const bool usable = last.length >= min_ref_len || last.length == limit;
        length[at - lead] = static_cast<std::uint8_t>(usable ? last.length : 0);
        distance[at - lead] = static_cast<std::uint16_t>(last.distance);
    }
}

}  // namespace

std::vector<std::uint8_t> encode(std::span<const std::uint8_t> input) {
    const std::size_t n = input.size();
    std::vector<std::uint8_t> length(n);
    std::vector<std::uint16_t> distance(n);
    longest_matches(input, length, distance);

    // Fewest bits that encode input[i..], backwards from the end; step[i] (kept in length[i])
    // is how many bytes the reference that achieves it covers, or 0 for a literal. A reference
    // may cover fewer than 3 bytes only at the very end, where the decoder cuts it short.
    //
    // The references at i reach i + 3 to i + length, and that range never moves right as i goes
    // down (a match at i leaves one a byte shorter at i + 1), so its cheapest end comes from a
    // queue of candidates, each cheaper than the ones after it; ties keep the shorter reference.
    // Only the costs of the next 18 positions are ever needed.
    constexpr std::size_t ring = 32;
    std::array<std::uint32_t, ring> cost{};  // cost of input[i..] at i % ring
    std::array<std::size_t, ring> queue{};   // ends, nearest first, at most 17 of them
    std::size_t front = 0;
    std::size_t back = 0;  // one past the last
    auto cost_at = [&](std::size_t i) -> std::uint32_t& { return cost[i % ring]; };
    cost_at(n) = 0;
    std::size_t bits = 0;
    for (std::size_t i = n; i-- > 0;) {
        if (i + min_ref_len <= n) {
            const std::size_t end = i + min_ref_len;
            while (front != back && cost_at(queue[front % ring]) >= cost_at(end)) ++front;
            queue[--front % ring] = end;
        }
        while (front != back && queue[(back - 1) % ring] > i + length[i]) --back;
        std::uint32_t best = static_cast<std::uint32_t>(literal_bits) + cost_at(i + 1);
        std::size_t step = 0;
        if (front != back) {
            const std::size_t end = queue[(back - 1) % ring];
            if (reference_bits + cost_at(end) < best) {
                best = static_cast<std::uint32_t>(reference_bits) + cost_at(end);
                step = end - i;
            }
        } else if (length[i] > 0 && length[i] == n - i && reference_bits < best) {
            best = static_cast<std::uint32_t>(reference_bits);
            step = length[i];
        }
        cost_at(i) = best;
        length[i] = static_cast<std::uint8_t>(step);
        if (i == 0) bits = best;
    }
    const std::vector<std::uint8_t>& step = length;

    std::vector<std::uint8_t> out;
    out.reserve((bits + 7) / 8);
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
        const std::size_t pos = (window_start + window_size + i - distance[i]) & (window_size - 1);
        out.push_back(static_cast<std::uint8_t>(pos & 0xFF));
        out.push_back(static_cast<std::uint8_t>(
            ((pos >> 4) & 0xF0) | (std::max<std::size_t>(step[i], min_ref_len) - min_ref_len)));
    }
    return out;
}

}  // namespace vkt2
