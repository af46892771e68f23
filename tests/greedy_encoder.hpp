// A plain greedy encoder: the longest match at each position, taken at once. It is the
// baseline the shortest-path encoder is measured against.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "token_builder.hpp"

namespace vkt2::testing {

inline std::vector<std::uint8_t> greedy_encode(std::span<const std::uint8_t> input) {
    // As the decoder sees it: 4,096 zero bytes, then the data.
    std::vector<std::uint8_t> z(4096, 0);
    z.insert(z.end(), input.begin(), input.end());
    // Chains of earlier positions with the same first three bytes.
    std::vector<int> head(1 << 16, -1);
    std::vector<int> prev(z.size(), -1);
    auto hash = [&](std::size_t p) -> std::size_t {
        return ((std::size_t{z[p]} << 8) ^ (std::size_t{z[p + 1]} << 4) ^ z[p + 2]) & 0xFFFF;
    };
    auto link = [&](std::size_t p) {
        if (p + 3 > z.size()) return;
        prev[p] = head[hash(p)];
        head[hash(p)] = static_cast<int>(p);
    };
    for (std::size_t p = 0; p < 4096; ++p) link(p);

    token_builder out;
    for (std::size_t at = 4096; at < z.size();) {
        std::size_t best_len = 0;
        std::size_t best_from = 0;
        if (at + 3 <= z.size()) {
            for (int c = head[hash(at)]; c >= 0 && at - static_cast<std::size_t>(c) <= 4096;
                 c = prev[static_cast<std::size_t>(c)]) {
                std::size_t len = 0;
                const auto from = static_cast<std::size_t>(c);
                while (len < 18 && at + len < z.size() && z[from + len] == z[at + len]) ++len;
                if (len > best_len) best_len = len, best_from = from;
                if (len == 18) break;
            }
        }
        const std::size_t take = best_len >= 3 ? best_len : 1;
        if (take == 1) {
            out.literal(z[at]);
        } else {
            // Output index at - 4096 is written at window position 4078 + (at - 4096).
            out.copy(static_cast<unsigned>((4078 + best_from) & 0xFFF),
                     static_cast<unsigned>(take));
        }
        for (std::size_t k = 0; k < take; ++k) link(at + k);
        at += take;
    }
    return out.bytes();
}

}  // namespace vkt2::testing
