// Names in CP932, the Shift-JIS of Windows, read as Unicode: what --names=shift_jis shows
// people and spells outputs with. The table is the C library's converter's, taken once, so the
// reading is the same on every system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vkt2::batch {

// How names that are not valid UTF-8 are read: as bytes, or as CP932 where they are CP932.
enum class name_encoding { raw, cp932 };

// `bytes` read as CP932 and spelled in UTF-8, or nothing when they are not CP932 throughout: a
// lead byte without a trail byte, a pair that is no character, or a byte CP932 never uses.
std::optional<std::string> cp932_to_utf8(std::string_view bytes);

// `path` with each of its /-separated names that is not valid UTF-8 but is CP932 spelled in
// UTF-8, as convmv renames them; every other name, everything with `raw`, and every name on
// Windows, whose names are Unicode already, as it is.
std::string readable(std::string_view path, name_encoding how);

namespace cp932_detail {
// Lead bytes 0x81-0x9F and 0xE0-0xFC, trail bytes 0x40-0xFC: the character, or 0 for none.
inline constexpr std::size_t lead_count = 60, trail_count = 189;
extern const std::uint16_t double_byte[lead_count * trail_count];
}  // namespace cp932_detail

}  // namespace vkt2::batch
