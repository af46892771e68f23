// JSON writing: strings escaped so that any name survives the round trip.
#include "json.hpp"

namespace vkt2::batch::json {

namespace {

// The code point of the valid UTF-8 sequence at s[i], and its length, or a length of 0.
std::size_t decode_utf8(std::string_view s, std::size_t i, std::uint32_t& cp) {
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
    // Encoded surrogates are not valid UTF-8: Python escapes them byte by byte too.
    if (cp < least[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

void escape(std::string& out, std::uint32_t unit) {
    static const char hex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += hex[(unit >> shift) & 15];
}

}  // namespace

std::string quote(std::string_view bytes) {
    std::string out = "\"";
    out.reserve(bytes.size() + 2);
    for (std::size_t i = 0; i < bytes.size();) {
        std::uint32_t cp = 0;
        const std::size_t n = decode_utf8(bytes, i, cp);
        if (n == 0) {
            escape(out, 0xDC00 | static_cast<unsigned char>(bytes[i]));
            ++i;
            continue;
        }
        if (cp == '"' || cp == '\\') {
            out += '\\';
            out += static_cast<char>(cp);
        } else if (cp < 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F)) {
            escape(out, cp);  // no control reaches a terminal that shows the line
        } else {
            out.append(bytes, i, n);
        }
        i += n;
    }
    return out + '"';
}

void object::key(std::string_view name) {
    if (body_.size() > 1) body_ += ',';
    body_ += quote(name);
    body_ += ':';
}

object& object::add(std::string_view name, std::string_view text) {
    key(name);
    body_ += quote(text);
    return *this;
}

object& object::add(std::string_view name, std::uint64_t number) {
    key(name);
    body_ += std::to_string(number);
    return *this;
}

object& object::add(std::string_view name, bool flag) {
    key(name);
    body_ += flag ? "true" : "false";
    return *this;
}

object& object::add(std::string_view name, const std::vector<std::string>& texts) {
    key(name);
    body_ += '[';
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i) body_ += ',';
        body_ += quote(texts[i]);
    }
    body_ += ']';
    return *this;
}

std::string line(const record& r) {
    object o;
    o.add("type", "file").add("path", r.path).add("result", r.result);
    const std::pair<const char*, const std::string*> texts[] = {
        {"reason", &r.reason}, {"error", &r.error}, {"output", &r.output}, {"backup", &r.backup}};
    for (const auto& [name, text] : texts)
        if (!text->empty()) o.add(name, *text);
    if (r.bytes_in) o.add("bytes_in", *r.bytes_in);
    if (r.bytes_out) o.add("bytes_out", *r.bytes_out);
    o.add("warnings", r.warnings);
    return o.line();
}

}  // namespace vkt2::batch::json
