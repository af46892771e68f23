// The VKT2 format, its window decoder and its encoder: pure functions over byte spans.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vkt2 {

// The tool loads at most this many bytes of a file; bytes past what was read stay zero.
inline constexpr std::size_t input_buffer_size = 65536;
inline constexpr std::size_t header_size = 8;
// original_size is 16 bits.
inline constexpr std::size_t max_original_size = 65535;
inline constexpr std::size_t window_size = 4096;
// Where the first decoded byte lands in the window; encoders must agree on it.
inline constexpr std::size_t window_start = 4078;
inline constexpr std::size_t min_ref_len = 3;
inline constexpr std::size_t max_ref_len = 18;

// Returns original_size when `buffer` starts with "VKT2", nothing otherwise. Header bytes
// past the end of `buffer` read as zero, as they would in the zero-filled load buffer.
std::optional<std::uint16_t> parse_header(std::span<const std::uint8_t> buffer);

// The header of a file whose stream decodes to `original_size` bytes.
std::array<std::uint8_t, header_size> make_header(std::uint16_t original_size);

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
    std::size_t consumed;  // stream bytes read, flag bytes included
};

// Decodes `stream` until exactly output.size() bytes are produced. Never reads outside
// `stream` nor writes outside `output`. On `truncated`, output[..produced] holds what was
// decoded and the bytes after it are unspecified.
decode_result decode_stream(std::span<const std::uint8_t> stream, std::span<std::uint8_t> output);

// decode_stream over `stream` followed by zeros up to `stream_size` bytes in all, as a short
// file reads in the zero-filled load buffer, without copying it into such a buffer first.
decode_result decode_zero_extended(std::span<const std::uint8_t> stream, std::size_t stream_size,
                                   std::span<std::uint8_t> output);

// Encodes `input` (the format holds up to 65,535 bytes) as the shortest token stream that
// decode_stream turns back into it, using every reference the decoder honours.
std::vector<std::uint8_t> encode(std::span<const std::uint8_t> input);

// The longest stream encode can return: all literals, nine bits each.
constexpr std::size_t max_stream_size(std::size_t input_size) {
    return input_size + (input_size + 7) / 8;
}

// Whole files, in memory: what vkt2x and vkt2c do, without the files.

enum class file_status {
    ok,
    not_vkt2,   // decompress: the image does not start with "VKT2"
    truncated,  // decompress: the stream needs bytes past the first input_buffer_size
    too_large,  // compress: over max_original_size bytes, or a file over input_buffer_size
};

struct file_result {
    file_status status;
    std::vector<std::uint8_t> bytes;  // the decoded bytes or the file image; empty unless ok

    explicit operator bool() const { return status == file_status::ok; }
};

// Decodes a whole file image as vkt2x does: only its first input_buffer_size bytes count, and
// bytes past its end read as zero.
file_result decompress(std::span<const std::uint8_t> file);

// The whole file vkt2c writes for `data`: the header, then the shortest stream. Files larger
// than input_buffer_size are refused, since vkt2x could not load them. Throws std::bad_alloc.
file_result compress(std::span<const std::uint8_t> data);

}  // namespace vkt2
