// The plain decoder: a 4,096-byte ring window, one byte at a time into a sink. It is the model
// the fast decoder must match byte for byte, and the baseline it is timed against.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "vkt2/format.hpp"

namespace vkt2::testing {

// Feeds each decoded byte to `sink` and returns how many it produced; fewer than
// original_size means the stream ran out at that point.
template <typename Sink>
std::size_t reference_decode(std::span<const std::uint8_t> stream, std::size_t original_size,
                             Sink&& sink) {
    std::array<std::uint8_t, 4096> window{};
    std::size_t write_pos = 4078;
    std::size_t in = 0;
    std::size_t remaining = original_size;
    auto put = [&](std::uint8_t byte) {
        window[write_pos] = byte;
        write_pos = (write_pos + 1) & 0xFFF;
        sink(byte);
        --remaining;
    };
    while (remaining > 0) {
        if (in >= stream.size()) break;
        unsigned flags = stream[in++];
        for (int bit = 0; bit < 8 && remaining > 0; ++bit, flags >>= 1) {
            if (flags & 1u) {
                if (in >= stream.size()) return original_size - remaining;
                put(stream[in++]);
                continue;
            }
            if (stream.size() - in < 2) return original_size - remaining;
            std::size_t ref_pos = stream[in] | ((stream[in + 1] & 0xF0u) << 4);
            const std::size_t ref_len = (stream[in + 1] & 0x0Fu) + 3;
            in += 2;
            for (std::size_t k = 0; k < ref_len && remaining > 0; ++k) {
                put(window[ref_pos]);
                ref_pos = (ref_pos + 1) & 0xFFF;
            }
        }
    }
    return original_size - remaining;
}

}  // namespace vkt2::testing
