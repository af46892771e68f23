// Conversion of names between UTF-8 bytes and UTF-16 units, lone surrogates kept.
#include "utf16.hpp"

#include "utf8.hpp"

#include <cstdint>

namespace vkt2::platform {

namespace {

bool is_high(std::uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low(std::uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string to_utf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size() * 3);
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t cp = units[i];
        if (is_high(cp) && i + 1 < units.size() && is_low(units[i + 1]))
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            continue;
        }
        const int tail = cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
        static const unsigned char lead[] = {0, 0xC0, 0xE0, 0xF0};
        out += static_cast<char>(lead[tail] | (cp >> (6 * tail)));
        for (int k = tail - 1; k >= 0; --k)
            out += static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F));
    }
    return out;
}

std::optional<std::u16string> to_utf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        std::uint32_t cp;
        const std::size_t n = decode_utf8(bytes, i, cp, true);
        if (n == 0) return std::nullopt;
        // A high half ends `out` only when spelled alone; a low half after it would make a
        // pair, which has its own four-byte spelling.
        if (is_low(cp) && !out.empty() && is_high(out.back())) return std::nullopt;
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += n;
    }
    return out;
}

}  // namespace vkt2::platform
