// Header test for VKT2 files.
#include <algorithm>
#include <array>

#include "vkt2/format.hpp"

namespace vkt2 {

namespace {
constexpr std::array<std::uint8_t, 4> magic = {'V', 'K', 'T', '2'};
}

std::optional<std::uint16_t> parse_header(std::span<const std::uint8_t> buffer) noexcept {
    if (buffer.size() < magic.size() || !std::equal(magic.begin(), magic.end(), buffer.begin())) {
        return std::nullopt;
    }
    auto at = [&](std::size_t i) -> unsigned { return i < buffer.size() ? buffer[i] : 0u; };
    return static_cast<std::uint16_t>(at(4) | (at(5) << 8));
}

std::array<std::uint8_t, header_size> make_header(std::uint16_t original_size) noexcept {
    return {magic[0],
            magic[1],
            magic[2],
            magic[3],
            static_cast<std::uint8_t>(original_size & 0xFF),
            static_cast<std::uint8_t>(original_size >> 8),
            0,
            0};
}

std::span<const std::uint8_t> token_stream(std::span<const std::uint8_t> buffer) noexcept {
    return buffer.size() > header_size ? buffer.subspan(header_size)
                                       : std::span<const std::uint8_t>{};
}

}  // namespace vkt2
