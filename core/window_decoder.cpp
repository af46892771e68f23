// The decoder. The output (at most 65,535 bytes) is decoded into one buffer, so the window is
// simply the last 4,096 bytes of that buffer: a reference to window position p at output
// index i copies from distance d = (write_pos - p) mod 4096, counted as 4096 when p is write_pos
// itself, and bytes before the start of the output read as the zeros the window starts with.
// Byte for byte this is the ring-window decoder, but most copies become a few wide moves.
#include <array>
#include <cstring>

#include "vkt2/format.hpp"

// The eight tokens of a group must inline into one straight run where the compiler can be told.
#if defined(__GNUC__)
#define VKT2_ALWAYS_INLINE __attribute__((always_inline))
#else
#define VKT2_ALWAYS_INLINE
#endif

namespace vkt2 {

namespace {

// Every token of a group fits: a flag byte's worth of two-byte references ...
constexpr std::size_t group_input = 16;
// ... and the widest write a reference makes below, three 8-byte moves per token.
constexpr std::size_t group_output = 8 * 24;

// d - 1 for a reference taken at output index `at`: twelve bits, so that a reference to
// write_pos itself (d = 4096) needs no special case.
std::size_t back_of(std::size_t at, unsigned b0, unsigned b1) {
    return (window_start - 1 + at - (b0 | ((b1 & 0xF0u) << 4))) & (window_size - 1);
}

// Byte at a time, zeros before the start: exact for any distance and any room.
void copy_slow(std::uint8_t* out, std::size_t at, std::size_t d, std::size_t len) {
    for (std::size_t k = 0; k < len; ++k, ++at) out[at] = at >= d ? out[at - d] : 0;
}

// (k mod d) for distances below a word: such a copy repeats the d bytes before it.
constexpr auto period_index = [] {
    std::array<std::array<std::uint8_t, max_ref_len>, 8> table{};
    for (std::size_t d = 1; d < 8; ++d) {
        for (std::size_t k = 0; k < max_ref_len; ++k)
            table[d][k] = static_cast<std::uint8_t>(k % d);
    }
    return table;
}();

// References from fewer than 8 bytes back, or reaching before the start of the output. May
// write up to 18 bytes whatever `len` is; later tokens overwrite the rest.
void copy_near(std::uint8_t* out, std::size_t at, std::size_t d, std::size_t len) {
    if (d > at) return copy_slow(out, at, d, len);
    if (d == 1) return static_cast<void>(std::memset(out + at, out[at - 1], max_ref_len));
    // Reading every byte from the period before `dst` keeps the loads independent.
    std::uint8_t* dst = out + at;
    const std::uint8_t* src = dst - d;
    const auto& index = period_index[d];
    for (std::size_t k = 0; k < max_ref_len; ++k) dst[k] = src[index[k]];
}

}  // namespace

decode_result decode_zero_extended(std::span<const std::uint8_t> stream, std::size_t stream_size,
                                   std::span<std::uint8_t> output) noexcept {
    const std::uint8_t* in = stream.data();
    const std::size_t real_size = stream.size();
    const std::size_t in_size = stream_size < real_size ? real_size : stream_size;
    auto byte_at = [&](std::size_t i) -> unsigned { return i < real_size ? in[i] : 0u; };
    std::uint8_t* const out = output.data();
    const std::size_t n = output.size();
    std::size_t ip = 0;
    std::size_t op = 0;

    while (op < n) {
        if (ip >= in_size) return {decode_status::stream_past_limit, op, ip};
        unsigned flags = byte_at(ip++);

        if (ip + group_input <= real_size && n - op >= group_output && op >= 8) {
            if (flags == 0xFF) {  // eight literals, common in data that barely compresses
                std::memcpy(out + op, in + ip, 8);
                op += 8;
                ip += 8;
                continue;
            }
            // Spelled out eight times, so each token tests a fixed bit and there is no loop.
            auto token = [&](unsigned bit) VKT2_ALWAYS_INLINE {
                if (flags & bit) {
                    out[op++] = in[ip++];
                    return;
                }
                const unsigned b0 = in[ip];
                const unsigned b1 = in[ip + 1];
                ip += 2;
                const std::size_t len = (b1 & 0x0Fu) + min_ref_len;
                const std::size_t back = back_of(op, b0, b1);
                std::uint8_t* dst = out + op;
                if (back - 7 < op - 7) {  // 8 <= d <= op, in one comparison as op >= 8
                    // At least 8 back: every move reads only bytes already final.
                    const std::uint8_t* src = dst - back - 1;
                    std::memcpy(dst, src, 8);
                    std::memcpy(dst + 8, src + 8, 8);
                    std::memcpy(dst + 16, src + 16, 8);
                } else {
                    copy_near(out, op, back + 1, len);
                }
                op += len;
            };
            token(0x01);
            token(0x02);
            token(0x04);
            token(0x08);
            token(0x10);
            token(0x20);
            token(0x40);
            token(0x80);
            continue;
        }
        // Near either end: check every byte taken and stop at exactly n bytes.
        for (int bit = 0; bit < 8 && op < n; ++bit, flags >>= 1) {
            if (flags & 1u) {
                if (ip >= in_size) return {decode_status::stream_past_limit, op, ip};
                out[op++] = static_cast<std::uint8_t>(byte_at(ip++));
                continue;
            }
            if (in_size - ip < 2) return {decode_status::stream_past_limit, op, ip};
            const unsigned b0 = byte_at(ip);
            const unsigned b1 = byte_at(ip + 1);
            ip += 2;
            std::size_t len = (b1 & 0x0Fu) + min_ref_len;
            if (len > n - op) len = n - op;
            copy_slow(out, op, back_of(op, b0, b1) + 1, len);
            op += len;
        }
    }
    return {decode_status::ok, op, ip};
}

decode_result decode_stream(std::span<const std::uint8_t> stream,
                            std::span<std::uint8_t> output) noexcept {
    return decode_zero_extended(stream, stream.size(), output);
}

}  // namespace vkt2
