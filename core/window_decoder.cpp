// The LZSS-style decoder: a 4,096-byte ring window, literals and absolute-position references.
#include <array>

#include "vkt2.hpp"

namespace vkt2 {

decode_result decode_stream(std::span<const std::uint8_t> stream, std::span<std::uint8_t> output) {
    constexpr std::size_t mask = window_size - 1;
    std::array<std::uint8_t, window_size> window{};  // unwritten positions read as zero
    std::size_t write_pos = window_start;
    std::size_t in = 0;
    std::size_t out = 0;
    const std::size_t original_size = output.size();

    auto put = [&](std::uint8_t byte) {
        window[write_pos] = byte;
        write_pos = (write_pos + 1) & mask;
        output[out++] = byte;
    };

    while (out < original_size) {
        if (in >= stream.size()) return {decode_status::truncated, out};
        unsigned flags = stream[in++];
        for (int bit = 0; bit < 8 && out < original_size; ++bit, flags >>= 1) {
            if (flags & 1u) {
                if (in >= stream.size()) return {decode_status::truncated, out};
                put(stream[in++]);
                continue;
            }
            if (stream.size() - in < 2) return {decode_status::truncated, out};
            const unsigned b0 = stream[in];
            const unsigned b1 = stream[in + 1];
            in += 2;
            std::size_t ref_pos = b0 | ((b1 & 0xF0u) << 4);
            const std::size_t ref_len = (b1 & 0x0Fu) + min_ref_len;
            // Byte by byte through the window: an overlapping reference repeats what it
            // has just stored, exactly as the format's encoders expect.
            for (std::size_t k = 0; k < ref_len && out < original_size; ++k) {
                put(window[ref_pos]);
                ref_pos = (ref_pos + 1) & mask;
            }
        }
    }
    return {decode_status::ok, out};
}

}  // namespace vkt2
