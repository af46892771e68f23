// The classic greedy encoder: binary search trees over the 4,096 window positions keyed by the
// next 18 bytes, one tree per first byte, the longest match at each position taken at once. It
// is the baseline encode() is timed against, and a parse no shortest one may lose to.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "token_builder.hpp"

namespace vkt2::testing {

class greedy_encoder {
  public:
    std::vector<std::uint8_t> encode(std::span<const std::uint8_t> input) {
        text_.fill(0);
        parent_.fill(nil);
        left_.fill(nil);
        right_.fill(nil);
        roots_.fill(nil);
        token_builder out;

        // r is where the next byte is written, as in the decoder; the 18 bytes from r are the
        // lookahead, and the tree holds the positions before r that still fit behind it.
        std::size_t r = window - max_len;
        std::size_t s = 0;
        std::size_t len = std::min(max_len, input.size());
        std::size_t next = len;
        for (std::size_t k = 0; k < len; ++k) put(r + k, input[k]);
        for (std::size_t k = 1; k <= max_len; ++k) insert(r - k);
        if (len > 0) insert(r);
        while (len > 0) {
            const std::size_t take = std::min(match_len_, len) >= 3 ? std::min(match_len_, len) : 1;
            if (take == 1) {
                out.literal(text_[r]);
            } else {
                out.copy(static_cast<unsigned>(match_pos_), static_cast<unsigned>(take));
            }
            for (std::size_t k = 0; k < take; ++k) {
                remove(s);
                if (next < input.size()) {
                    put(s, input[next++]);
                } else {
                    --len;
                }
                s = (s + 1) & mask;
                r = (r + 1) & mask;
                if (len > 0) insert(r);
            }
        }
        return out.bytes();
    }

  private:
    static constexpr std::size_t window = 4096;
    static constexpr std::size_t mask = window - 1;
    static constexpr std::size_t max_len = 18;
    static constexpr std::uint16_t nil = window;

    // The ring, with its first 17 bytes repeated after the end so a key never wraps.
    void put(std::size_t pos, std::uint8_t byte) {
        text_[pos] = byte;
        if (pos < max_len - 1) text_[pos + window] = byte;
    }

    // Adds position p to its tree and leaves the longest match among the others in match_len_
    // and match_pos_. A node with the same key is replaced, since p stays in the window longer.
    void insert(std::size_t p) {
        match_len_ = 0;
        std::uint16_t* link = &roots_[text_[p]];
        std::uint16_t up = nil;
        const std::uint8_t* key = &text_[p];
        while (*link != nil) {
            const std::size_t q = *link;
            const std::uint8_t* other = &text_[q];
            std::size_t k = 1;
            while (k < max_len && key[k] == other[k]) ++k;
            if (k > match_len_) {
                match_len_ = k;
                match_pos_ = q;
            }
            if (k == max_len) {
                replace(q, p);
                return;
            }
            up = static_cast<std::uint16_t>(q);
            link = key[k] < other[k] ? &left_[q] : &right_[q];
        }
        *link = static_cast<std::uint16_t>(p);
        parent_[p] = up;
        left_[p] = right_[p] = nil;
        if (up == nil) parent_[p] = root_mark;
    }

    void replace(std::size_t old, std::size_t p) {
        parent_[p] = parent_[old];
        left_[p] = left_[old];
        right_[p] = right_[old];
        if (left_[p] != nil) parent_[left_[p]] = static_cast<std::uint16_t>(p);
        if (right_[p] != nil) parent_[right_[p]] = static_cast<std::uint16_t>(p);
        link_of(old) = static_cast<std::uint16_t>(p);
        parent_[old] = nil;
    }

    // The pointer that leads to node p: its parent's child link or its tree's root.
    std::uint16_t& link_of(std::size_t p) {
        if (parent_[p] == root_mark) return roots_[text_[p]];
        const std::size_t up = parent_[p];
        return left_[up] == p ? left_[up] : right_[up];
    }

    // Takes p out of its tree, if it is in one, as a plain binary search tree deletion.
    void remove(std::size_t p) {
        if (parent_[p] == nil) return;
        std::uint16_t child;
        if (left_[p] == nil) {
            child = right_[p];
        } else if (right_[p] == nil) {
            child = left_[p];
        } else {
            // The largest key below p takes its place.
            std::size_t q = left_[p];
            while (right_[q] != nil) q = right_[q];
            if (q != left_[p]) {
                link_of(q) = left_[q];
                if (left_[q] != nil) parent_[left_[q]] = parent_[q];
                left_[q] = left_[p];
                parent_[left_[p]] = static_cast<std::uint16_t>(q);
            }
            right_[q] = right_[p];
            parent_[right_[p]] = static_cast<std::uint16_t>(q);
            child = static_cast<std::uint16_t>(q);
        }
        if (child != nil) parent_[child] = parent_[p];
        link_of(p) = child;
        parent_[p] = nil;
    }

    // parent_ of a tree's root; nil in parent_ means "not in any tree".
    static constexpr std::uint16_t root_mark = window + 1;

    std::array<std::uint8_t, window + max_len - 1> text_{};
    std::array<std::uint16_t, window> parent_{}, left_{}, right_{};
    std::array<std::uint16_t, 256> roots_{};
    std::size_t match_len_ = 0;
    std::size_t match_pos_ = 0;
};

inline std::vector<std::uint8_t> greedy_encode(std::span<const std::uint8_t> input) {
    return greedy_encoder().encode(input);
}

}  // namespace vkt2::testing
