// JSON writing: strings escaped so that any name survives the round trip.
#include "json.hpp"

#include "utf8.hpp"

namespace vkt2::batch::json {

namespace {

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
