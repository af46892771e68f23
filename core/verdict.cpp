// The verdict on a file and its words. Only the tokens' shapes decide where a stream ends, never
// the bytes they produce, so the stream is walked without decoding it: no output buffer, no
// allocation. The words are the ones every front end shows; they are made here alone.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "vkt2/format.hpp"
#include "vkt2/vkt2.h"

namespace {

using vkt2::max_ref_len;
using vkt2::min_ref_len;

struct walked {
    bool complete;         // `size` bytes were produced within the room
    std::size_t consumed;  // stream bytes read, zeros past the real ones included
    std::size_t intact;    // bytes produced before the first token reaching past the real ones
};

// Walks the tokens of `stream`, zero bytes after it up to `room` bytes in all, until `size`
// bytes would be produced; reads exactly what the decoder reads.
walked walk_stream(std::span<const std::uint8_t> stream, std::size_t room, std::size_t size) {
    const std::size_t real = stream.size();
    auto byte_at = [&](std::size_t i) -> unsigned { return i < real ? stream[i] : 0u; };
    std::size_t ip = 0;
    std::size_t op = 0;
    std::size_t intact = size;
    // The first token that takes a byte from past the end produces nothing of the file's own.
    auto reaches_past = [&](std::size_t last) {
        if (last >= real && intact == size) intact = op;
    };
    while (op < size) {
        if (ip >= room) return {false, ip, intact};
        reaches_past(ip);
        unsigned flags = byte_at(ip++);
        // Well inside both ends, a group needs no checks: at most 16 bytes in, 144 out.
        if (ip + 16 <= real && size - op >= 8 * max_ref_len) {
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
                if (ip >= room) return {false, ip, intact};
                reaches_past(ip);
                ++ip;
                ++op;
                continue;
            }
            if (room - ip < 2) return {false, ip, intact};
            reaches_past(ip + 1);
            op += std::min<std::size_t>((byte_at(ip + 1) & 0x0Fu) + min_ref_len, size - op);
            ip += 2;
        }
    }
    return {true, ip, intact};
}

// The end of each field of the verdict, in order: a struct_size of at least one of these holds
// the fields up to it.
constexpr std::size_t field_ends[] = {
    offsetof(vkt2_verdict, error) + sizeof(int),
    offsetof(vkt2_verdict, file_size) + sizeof(std::size_t),
    offsetof(vkt2_verdict, decoded_size) + sizeof(std::size_t),
    offsetof(vkt2_verdict, stream_used) + sizeof(std::size_t),
    offsetof(vkt2_verdict, bytes_missing) + sizeof(std::size_t),
    offsetof(vkt2_verdict, bytes_unused) + sizeof(std::size_t),
    offsetof(vkt2_verdict, bytes_ignored) + sizeof(std::size_t),
};
static_assert(field_ends[0] == VKT2_VERDICT_MIN_SIZE);
static_assert(sizeof(field_ends) / sizeof(field_ends[0]) == 7 &&
                  field_ends[6] == sizeof(vkt2_verdict),
              "a new field needs its end listed");

// How many bytes of a verdict of `struct_size` this version reads or writes: whole fields only.
std::size_t known_part(std::size_t struct_size) {
    std::size_t held = 0;
    for (std::size_t end : field_ends) {
        if (end <= struct_size) held = end;
    }
    return held;
}

// The verdict on a file whose stream ends after `used` bytes, within the `head_size` bytes that
// count: a pass, warned of any byte never read. The test and the one-pass decode share it.
vkt2_verdict passed(std::size_t head_size, std::size_t file_size, std::size_t decoded_size,
                    std::size_t used) {
    const std::size_t unused = head_size - vkt2::header_size - used;
    const std::size_t ignored = file_size - head_size;
    return {sizeof(vkt2_verdict),
            unused || ignored ? VKT2_VERDICT_WARN : VKT2_VERDICT_PASS,
            VKT2_OK,
            file_size,
            decoded_size,
            used,
            0,
            unused,
            ignored};
}

// The verdict on a file of `file_size` bytes whose first ones (all that count) are `head`.
vkt2_verdict judge(std::span<const std::uint8_t> head, std::size_t file_size) {
    vkt2_verdict v{sizeof v, VKT2_VERDICT_FAIL, VKT2_ERROR_NOT_VKT2, file_size, 0, 0, 0, 0, 0};
    const auto size = vkt2::parse_header(head);
    if (!size) return v;
    v.decoded_size = *size;
    if (head.size() < vkt2::header_size) {
        v.error = VKT2_ERROR_HEADER_CUT_SHORT;
        return v;
    }
    const auto stream = vkt2::token_stream(head);
    const walked w = walk_stream(stream, vkt2::stream_room, *size);
    v.stream_used = w.consumed;
    if (!w.complete) {
        v.error = VKT2_ERROR_STREAM_PAST_LIMIT;
        return v;
    }
    if (w.consumed > stream.size()) {
        v.error = VKT2_ERROR_CUT_SHORT;
        v.bytes_missing = *size - w.intact;
        return v;
    }
    return passed(head.size(), file_size, *size, w.consumed);
}

}  // namespace

namespace vkt2 {

judged_decode decode_and_judge(std::span<const std::uint8_t> file, std::size_t file_size,
                               std::span<std::uint8_t> output, bool zero_fill) noexcept {
    const auto head = file.first(std::min(file.size(), max_file_size));
    const auto size = parse_header(head);
    if (size && head.size() >= header_size && *size == output.size()) {
        const auto stream = token_stream(head);
        const auto r = decode_zero_extended(stream, stream_room, output);
        if (r.status == decode_status::ok && r.consumed <= stream.size()) {
            return {VKT2_OK, passed(head.size(), file_size, *size, r.consumed)};
        }
    }
    std::size_t decoded = 0;
    const int status = vkt2_decompress_ex(head.data(), head.size(), output.data(), output.size(),
                                          &decoded, zero_fill ? VKT2_ZERO_FILL : 0);
    return {status, judge(head, file_size)};
}

}  // namespace vkt2

extern "C" int vkt2_test(const void* src, std::size_t src_size, vkt2_verdict* out) noexcept {
    if ((src == nullptr && src_size != 0) || out == nullptr ||
        out->struct_size < VKT2_VERDICT_MIN_SIZE) {
        return VKT2_ERROR_INVALID_ARGUMENT;
    }
    const vkt2_verdict v = judge(
        {static_cast<const std::uint8_t*>(src), std::min(src_size, vkt2::max_file_size)}, src_size);
    // struct_size itself stays as the caller set it.
    const std::size_t from = sizeof v.struct_size;
    std::memcpy(reinterpret_cast<char*>(out) + from, reinterpret_cast<const char*>(&v) + from,
                known_part(out->struct_size) - from);
    return v.error;
}

extern "C" std::size_t vkt2_verdict_text(const vkt2_verdict* given, char* buf,
                                         std::size_t cap) noexcept {
    vkt2_verdict v{};
    if (given != nullptr && given->struct_size >= VKT2_VERDICT_MIN_SIZE)
        std::memcpy(&v, given, known_part(given->struct_size));
    char text[256];
    int length = 0;
    if (given == nullptr || given->struct_size < VKT2_VERDICT_MIN_SIZE) {
        text[0] = '\0';
    } else if (v.verdict == VKT2_VERDICT_FAIL && v.error == VKT2_ERROR_CUT_SHORT) {
        length = std::snprintf(text, sizeof text,
                               "%s; the last %zu of its %zu decoded bytes are missing",
                               vkt2_error_name(v.error), v.bytes_missing, v.decoded_size);
    } else if (v.verdict == VKT2_VERDICT_FAIL) {
        length = std::snprintf(text, sizeof text, "%s", vkt2_error_name(v.error));
    } else {
        // The length first, then the unused bytes: the order a reader meets them in the file.
        const char* const ignored = "warning: longer than 65,536 bytes; the rest is never read";
        if (v.bytes_ignored && v.bytes_unused) {
            length = std::snprintf(text, sizeof text,
                                   "%s\nwarning: %zu unused bytes after the end of the stream",
                                   ignored, v.bytes_unused);
        } else if (v.bytes_unused) {
            length = std::snprintf(text, sizeof text,
                                   "warning: %zu unused bytes after the end of the stream",
                                   v.bytes_unused);
        } else if (v.bytes_ignored) {
            length = std::snprintf(text, sizeof text, "%s", ignored);
        } else {
            text[0] = '\0';
        }
    }
    const auto needed = static_cast<std::size_t>(std::max(length, 0));
    if (cap > 0 && buf != nullptr) {
        const std::size_t n = std::min(needed, cap - 1);
        std::memcpy(buf, text, n);
        buf[n] = '\0';
    }
    return needed;
}

extern "C" const char* vkt2_error_name(int code) noexcept {
    switch (code) {
        case VKT2_OK:
            return "success";
        case VKT2_ERROR_NOT_VKT2:
            return "not a VKT2 file";
        case VKT2_ERROR_STREAM_PAST_LIMIT:
            return "the stream needs bytes past the first 65,536; it cannot be decoded";
        case VKT2_ERROR_TOO_LARGE:
            return "too large for a VKT2 file";
        case VKT2_ERROR_DST_TOO_SMALL:
            return "the destination buffer is too small";
        case VKT2_ERROR_NO_MEMORY:
            return "out of memory";
        case VKT2_ERROR_INVALID_ARGUMENT:
            return "invalid argument";
        case VKT2_ERROR_HEADER_CUT_SHORT:
            return "cut short: the file ends inside its 8-byte header";
        case VKT2_ERROR_CUT_SHORT:
            return "cut short: the file ends before its stream does";
        default:
            return "unknown error";
    }
}
