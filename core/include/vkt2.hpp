// The VKT2 format and its window decoder: pure functions over byte spans.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace vkt2 {

// The tool loads at most this many bytes of a file; bytes past what was read stay zero.
inline constexpr std::size_t input_buffer_size = 65536;
inline constexpr std::size_t header_size = 8;
inline constexpr std::size_t window_size = 4096;
// Where the first decoded byte lands in the window; encoders must agree on it.
inline constexpr std::size_t window_start = 4078;
inline constexpr std::size_t min_ref_len = 3;
inline constexpr std::size_t max_ref_len = 18;

// Returns original_size when `buffer` starts with "VKT2", nothing otherwise. Header bytes
// past the end of `buffer` read as zero, as they would in the zero-filled load buffer.
std::optional<std::uint16_t> parse_header(std::span<const std::uint8_t> buffer);

// The token stream that follows the header (empty if the buffer is shorter than one).
std::span<const std::uint8_t> token_stream(std::span<const std::uint8_t> buffer);

enum class decode_status {
    ok,
    // The stream needed a byte past the end of its span before the output was full.
    truncated,
};

struct decode_result {
    decode_status status;
    std::size_t produced;  // bytes written to the output, all of it when status is ok
};

// Decodes `stream` until exactly output.size() bytes are produced. Never reads outside
// `stream` nor writes outside `output`; on `truncated`, output[produced..] is untouched.
decode_result decode_stream(std::span<const std::uint8_t> stream, std::span<std::uint8_t> output);

}  // namespace vkt2
