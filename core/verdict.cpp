// The verdict on a file. Only the tokens' shapes decide where a stream ends, never the bytes
// they produce, so the stream is walked without decoding it: no output buffer, no allocation.
#include <algorithm>

#include "vkt2/format.hpp"
#include "vkt2/vkt2.hpp"

namespace vkt2 {

namespace {

struct walked {
    bool complete;         // `size` bytes were produced within the room
    std::size_t consumed;  // stream bytes read, zeros past the real ones included
};

// Walks the tokens of `stream`, zero bytes after it up to `room` bytes in all, until `size`
// bytes would be produced; reads exactly what the decoder reads.
walked walk_stream(std::span<const std::uint8_t> stream, std::size_t room, std::size_t size) {
    auto byte_at = [&](std::size_t i) -> unsigned { return i < stream.size() ? stream[i] : 0u; };
    std::size_t ip = 0;
    std::size_t op = 0;
    while (op < size) {
        if (ip >= room) return {false, ip};
        unsigned flags = byte_at(ip++);
        // Well inside both ends, a group needs no checks: at most 16 bytes in, 144 out.
        if (ip + 16 <= stream.size() && size - op >= 8 * max_ref_len) {
            for (int bit = 0; bit < 8; ++bit, flags >>= 1) {
                if (flags & 1u) {
                    ++ip;
                    ++op;
                } else {
                    op += (stream[ip + 1] & 0x0Fu) + min_ref_len;
                    ip += 2;
                }
            }
            continue;
        }
        for (int bit = 0; bit < 8 && op < size; ++bit, flags >>= 1) {
            if (flags & 1u) {
                if (ip >= room) return {false, ip};
                ++ip;
                ++op;
                continue;
            }
            if (room - ip < 2) return {false, ip};
            op += std::min<std::size_t>((byte_at(ip + 1) & 0x0Fu) + min_ref_len, size - op);
            ip += 2;
        }
    }
    return {true, ip};
}

}  // namespace

verdict test(std::span<const std::uint8_t> file) noexcept {
    verdict v{grade::fail, file_status::not_vkt2, file.size(), 0, 0, 0, 0, 0};
    const auto head = file.first(std::min(file.size(), max_file_size));
    const auto size = parse_header(head);
    if (!size) return v;
    v.decoded_size = *size;
    if (head.size() < header_size) {
        v.failure = file_status::header_cut_short;
        return v;
    }
    const auto stream = token_stream(head);
    const walked w = walk_stream(stream, stream_room, *size);
    v.stream_used = w.consumed;
    if (!w.complete) {
        v.failure = file_status::stream_past_limit;
        return v;
    }
    if (w.consumed > stream.size()) {
        v.failure = file_status::cut_short;
        v.bytes_missing = w.consumed - stream.size();
        return v;
    }
    v.failure = file_status::ok;
    v.bytes_unused = stream.size() - w.consumed;
    v.bytes_ignored = file.size() - head.size();
    v.result = v.bytes_unused || v.bytes_ignored ? grade::warn : grade::pass;
    return v;
}

}  // namespace vkt2
