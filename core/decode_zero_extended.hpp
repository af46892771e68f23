// The decoder over a stream that goes on in zeros past its last byte, as a short file does in
// the zero-filled load buffer, without copying the file into such a buffer first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "vkt2/vkt2.hpp"

namespace vkt2 {

// decode_stream over `stream` followed by zeros up to `stream_size` bytes in all.
decode_result decode_zero_extended(std::span<const std::uint8_t> stream, std::size_t stream_size,
                                   std::span<std::uint8_t> output);

}  // namespace vkt2
