// Escaping names for people: nothing in a name reaches a terminal as a control.
#include "shown.hpp"

#include <cstdint>

#include "utf8.hpp"

namespace vkt2::batch {

namespace {

// The length of the valid UTF-8 sequence at s[i] that is not a control, or 0.
std::size_t utf8_length(const std::string& s, std::size_t i) {
    std::uint32_t cp = 0;
    const std::size_t n = decode_utf8(s, i, cp);
    // C1 controls are as able to drive a terminal as C0 ones.
    return n < 2 || (cp >= 0x80 && cp <= 0x9F) ? 0 : n;
}

}  // namespace

std::string shown(const std::string& bytes, name_encoding how) {
    const std::string name = readable(bytes, how);
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == '\\') {
            out += "\\\\";
            ++i;
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t n = c >= 0x80 ? utf8_length(name, i) : 0) {
            out.append(name, i, n);
            i += n;
        } else {
            static const char hex[] = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
            ++i;
        }
    }
    return out;
}

}  // namespace vkt2::batch
