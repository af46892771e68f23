// Reading CP932 names: one or two bytes to a character, through the generated table.
#include "cp932.hpp"

#include "utf8.hpp"

namespace vkt2::batch {

namespace {

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The table's row for lead byte `c`, or -1 when `c` leads no pair.
int lead_row(unsigned c) {
    if (c >= 0x81 && c <= 0x9F) return static_cast<int>(c - 0x81);
    if (c >= 0xE0 && c <= 0xFC) return static_cast<int>(c - 0xE0 + 0x1F);
    return -1;
}

}  // namespace

std::optional<std::string> cp932_to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);  // ASCII as it is: 0x5C stays a backslash, 0x7E a tilde
        } else if (c >= 0xA1 && c <= 0xDF) {
            append_utf8(out, 0xFF61 + (c - 0xA1));  // half-width katakana
        } else if (const int row = lead_row(c); row >= 0 && i + 1 < bytes.size()) {
            const unsigned t = static_cast<unsigned char>(bytes[++i]);
            if (t < 0x40 || t > 0xFC) return std::nullopt;
            const std::uint16_t cp = cp932_detail::double_byte[static_cast<std::size_t>(row) *
                                                                   cp932_detail::trail_count +
                                                               (t - 0x40)];
            if (cp == 0) return std::nullopt;
            append_utf8(out, cp);
        } else {
            return std::nullopt;  // 0x80, 0xA0, 0xFD-0xFF, or a lead byte at the end
        }
    }
    return out;
}

std::string readable(std::string_view path, name_encoding how) {
#ifdef _WIN32
    // Names there are the system's UTF-16, never another encoding's bytes: what is not valid
    // UTF-8 is a lone surrogate, which no reading would make truer.
    how = name_encoding::raw;
#endif
    if (how == name_encoding::raw || valid_utf8(path)) return std::string(path);
    std::string out;
    out.reserve(path.size() * 3 / 2);
    for (std::size_t start = 0;;) {
        const std::size_t slash = path.find('/', start);
        const std::string_view name = path.substr(start, slash - start);
        const auto text = valid_utf8(name) ? std::nullopt : cp932_to_utf8(name);
        out += text ? std::string_view(*text) : name;
        if (slash == std::string_view::npos) return out;
        out += '/';
        start = slash + 1;
    }
}

}  // namespace vkt2::batch
