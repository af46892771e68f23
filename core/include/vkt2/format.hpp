// The library's insides: the format's constants, the 8-byte header, the token-stream decoder
// and the encoder. Not installed and no part of the stable interface: the shared library does
// not export these, so only code built with this tree and linked with its static library (the
// tools, tests, fuzzers, benchmarks and bindings) uses them. Everyone else uses <vkt2/vkt2.h>.
//
// A VKT2 file is "VKT2", the decoded size as a little-endian 16-bit number, two unused bytes,
// then a token stream: groups of a flag byte and eight tokens, each a literal byte (flag bit 1)
// or a two-byte reference to 3 to 18 bytes in a 4,096-byte window of recent output (flag bit 0).
// Only a file's first 65,536 bytes count; past its end, the stream reads as zero bytes.
//
// Every function here keeps no state and may be called from any number of threads at once.
// Nothing here allocates but encode(), which can throw std::bad_alloc.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "vkt2/vkt2.hpp"

namespace vkt2 {

inline constexpr std::size_t header_size = 8;
// The room a stream has in a file: only the first max_file_size bytes count.
inline constexpr std::size_t stream_room = max_file_size - header_size;
inline constexpr std::size_t window_size = 4096;
// Where the first decoded byte lands in the window; encoders must agree on it.
inline constexpr std::size_t window_start = 4078;
inline constexpr std::size_t min_ref_len = 3;
inline constexpr std::size_t max_ref_len = 18;

// The decoded size when `buffer` starts with "VKT2", nothing otherwise. Header bytes past the
// end of `buffer` read as zero.
std::optional<std::uint16_t> parse_header(std::span<const std::uint8_t> buffer) noexcept;

// The header of a file whose stream decodes to `original_size` bytes.
std::array<std::uint8_t, header_size> make_header(std::uint16_t original_size) noexcept;

// The token stream after the header (empty if the buffer is no longer than one).
std::span<const std::uint8_t> token_stream(std::span<const std::uint8_t> buffer) noexcept;

enum class decode_status {
    ok,
    // The stream needed a byte past its end (past the first 65,536 bytes of a file, for
    // decode_zero_extended) before the output was full.
    stream_past_limit,
};

struct decode_result {
    decode_status status;
    std::size_t produced;  // bytes written to the output, all of it when status is ok
    std::size_t consumed;  // stream bytes read, flag bytes included
};

// Decodes `stream` until exactly output.size() bytes are produced. Never reads outside `stream`
// nor writes outside `output`, which must not overlap. On `stream_past_limit`, output[..produced]
// holds what was decoded and the bytes after it are unspecified.
decode_result decode_stream(std::span<const std::uint8_t> stream,
                            std::span<std::uint8_t> output) noexcept;

// decode_stream over `stream` followed by zero bytes up to `stream_size` bytes in all, as a
// short file reads by the loader's rules, without copying it anywhere first.
decode_result decode_zero_extended(std::span<const std::uint8_t> stream, std::size_t stream_size,
                                   std::span<std::uint8_t> output) noexcept;

// What decode_and_judge found: the status vkt2_decompress_ex gives, and the verdict vkt2_test
// gives, field for field.
struct judged_decode {
    int status;
    vkt2_verdict verdict;
};

// Decodes `file` (a file's first bytes, of `file_size` in all) into `output`, exactly its decoded
// size, and judges it: one pass where the file passes, as the decoder reads exactly what the
// test walks; a file that does not is walked again for the test's own verdict. With
// `zero_fill`, a file cut short decodes as vkt2_decompress_ex's VKT2_ZERO_FILL decodes it.
judged_decode decode_and_judge(std::span<const std::uint8_t> file, std::size_t file_size,
                               std::span<std::uint8_t> output, bool zero_fill) noexcept;

// The shortest token stream that decode_stream turns back into `input` (at most 65,535
// bytes), using every reference the decoder honours. Allocates its work space for the call (up
// to about 360 KiB at once for 65,535 bytes) and the stream; throws std::bad_alloc when it
// cannot.
std::vector<std::uint8_t> encode(std::span<const std::uint8_t> input);

// The longest stream encode can return: all literals, nine bits each.
constexpr std::size_t max_stream_size(std::size_t input_size) {
    return input_size + (input_size + 7) / 8;
}

}  // namespace vkt2
