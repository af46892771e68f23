// JSON writing: strings escaped so that any name survives the round trip.
#include "json.hpp"

#include <algorithm>

#include "utf8.hpp"

namespace vkt2::batch::json {

namespace {

void escape(std::string& out, std::uint32_t unit) {
    static const char hex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) out += hex[(unit >> shift) & 15];
}

}  // namespace

std::string base64(std::string_view bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(bytes.size() - i, 3);
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? digits[(group >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

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

object& object::add_name(std::string_view name, std::string_view bytes, name_encoding how) {
    add(name, bytes);
    if (valid_utf8(bytes)) return *this;
    add(std::string(name) + "_base64", base64(bytes));
    // Only a whole text: a name still partly bytes has no text to give.
    if (const std::string text = readable(bytes, how); valid_utf8(text))
        add(std::string(name) + "_text", text);
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
    o.add("type", "file").add_name("path", r.path, r.names).add("result", r.result);
    if (!r.reason.empty()) o.add("reason", r.reason);
    if (!r.error.empty()) o.add("error", r.error);
    if (!r.output.empty()) o.add_name("output", r.output, r.names);
    if (!r.backup.empty()) o.add_name("backup", r.backup, r.names);
    if (r.bytes_in) o.add("bytes_in", *r.bytes_in);
    if (r.bytes_out) o.add("bytes_out", *r.bytes_out);
    o.add("warnings", r.warnings);
    return o.line();
}

}  // namespace vkt2::batch::json
