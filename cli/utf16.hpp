// Names between the bytes the tools carry and the UTF-16 units Windows keeps them in. Windows
// allows any sequence of units, lone surrogates included, so a lone surrogate becomes the three
// bytes UTF-8 would give its code point: every name has exactly one spelling in bytes, and back.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vkt2::platform {

// The bytes of the name `units`: UTF-8, lone surrogates included as described above.
std::string to_utf8(std::u16string_view units);

// The units of the name `bytes`; nothing when to_utf8 gives these bytes for no name (bytes that
// are not UTF-8, or a surrogate pair spelled as two halves), so two spellings never meet in one
// file.
std::optional<std::u16string> to_utf16(std::string_view bytes);

}  // namespace vkt2::platform
