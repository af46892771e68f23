// UTF-8 as names are judged for people (escaped when not valid), for JSON (kept whole when
// valid) and for Windows (turned into UTF-16): one decoder, so they never disagree on what is
// valid.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vkt2 {

// The length of the valid UTF-8 sequence at s[i] and its code point in `cp`, or 0 when the bytes
// there are not valid UTF-8 (overlong forms and encoded surrogates included, as Python judges).
// With `lone_halves`, an encoded surrogate is taken as its code point: how a name holding an
// unpaired UTF-16 half is carried.
inline std::size_t decode_utf8(std::string_view s, std::size_t i, std::uint32_t& cp,
                               bool lone_halves = false) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned c = at(i);
    std::size_t n;
    if (c < 0x80) {
        cp = c;
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        n = 2, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4, cp = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((at(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (at(i + k) & 0x3F);
    }
    const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < least[n] || cp > 0x10FFFF || (!lone_halves && cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

inline bool valid_utf8(std::string_view s) {
    std::uint32_t cp;
    for (std::size_t i = 0, n; i < s.size(); i += n)
        if ((n = decode_utf8(s, i, cp)) == 0) return false;
    return true;
}

}  // namespace vkt2
