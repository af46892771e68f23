// JSON Lines for scripts: one object per file, then a summary. Every command that takes --json
// writes through here, so all speak the same encoding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cp932.hpp"

namespace vkt2::batch::json {

// `bytes` as a JSON string, quotes included. Valid UTF-8 is kept (controls, the quote and the
// backslash escaped); each byte that is not part of valid UTF-8 becomes the lone surrogate
// \udc80 to \udcff, as Python's surrogateescape decodes it, so os.fsencode gives the bytes back.
std::string quote(std::string_view bytes);

// The standard base64 (RFC 4648, padded) of `bytes`.
std::string base64(std::string_view bytes);

// One object, its members in the order they were added, written as one line.
class object {
  public:
    object& add(std::string_view key, std::string_view text);
    // Or a literal would take the bool overload.
    object& add(std::string_view key, const char* text) { return add(key, std::string_view(text)); }
    object& add(std::string_view key, std::uint64_t number);
    object& add(std::string_view key, bool flag);
    object& add(std::string_view key, const std::vector<std::string>& texts);
    // A file name: as add() writes it, then, unless it is valid UTF-8, KEY_base64 with the
    // standard base64 of its exact bytes, which tools without surrogateescape can decode, and
    // KEY_text with the name as `how` reads it, when that makes all of it text.
    object& add_name(std::string_view key, std::string_view bytes,
                     name_encoding how = name_encoding::raw);
    std::string line() const { return body_ + "}\n"; }

  private:
    void key(std::string_view name);
    std::string body_ = "{";
};

// What a command did to one file. Members left empty are not written, except warnings.
struct record {
    std::string path;    // as given or found, bytes as they are
    std::string result;  // what was done, or the verdict: "decoded", "passed", "skipped", ...
    std::string reason;  // why it was skipped or copied as it is
    std::string error;   // why it failed, with the system's reason
    std::string output;  // the file written, when not the path itself
    std::string backup;  // where the original was kept
    std::optional<std::uint64_t> bytes_in, bytes_out;
    std::vector<std::string> warnings;
    name_encoding names = name_encoding::raw;  // how the names above are read for *_text
};

// {"type":"file","path":...} as one line.
std::string line(const record& r);

}  // namespace vkt2::batch::json
