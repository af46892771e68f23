// The C interface over the whole-file helpers. Decompressing decodes straight into the
// caller's buffer; compressing needs the encoder's work space, so running out of memory
// becomes an error code there rather than an exception.
#include <algorithm>
#include <cstring>
#include <new>

#include "vkt2/vkt2.h"
#include "vkt2/vkt2.hpp"

static_assert(VKT2_MAX_ORIGINAL_SIZE == vkt2::max_original_size);
static_assert(VKT2_MAX_FILE_SIZE == vkt2::input_buffer_size);

namespace {

bool valid(const void* buffer, std::size_t size) {
    return buffer != nullptr || size == 0;
}

std::span<const std::uint8_t> bytes_of(const void* src, std::size_t size) {
    return {static_cast<const std::uint8_t*>(src), size};
}

}  // namespace

extern "C" int vkt2_decompress(const void* src, std::size_t src_size, void* dst,
                               std::size_t dst_capacity, std::size_t* dst_size) noexcept {
    if (!valid(src, src_size) || !valid(dst, dst_capacity) || dst_size == nullptr) {
        return VKT2_ERROR_INVALID_ARGUMENT;
    }
    const auto file = bytes_of(src, std::min(src_size, vkt2::input_buffer_size));
    const auto original_size = vkt2::parse_header(file);
    if (!original_size) return VKT2_ERROR_NOT_VKT2;
    *dst_size = *original_size;
    if (*original_size > dst_capacity) return VKT2_ERROR_DST_TOO_SMALL;
    const std::span<std::uint8_t> out(static_cast<std::uint8_t*>(dst), *original_size);
    const auto result = vkt2::decode_zero_extended(
        vkt2::token_stream(file), vkt2::input_buffer_size - vkt2::header_size, out);
    return result.status == vkt2::decode_status::ok ? VKT2_OK : VKT2_ERROR_TRUNCATED;
}

extern "C" int vkt2_compress(const void* src, std::size_t src_size, void* dst,
                             std::size_t dst_capacity, std::size_t* dst_size) noexcept {
    if (!valid(src, src_size) || !valid(dst, dst_capacity) || dst_size == nullptr) {
        return VKT2_ERROR_INVALID_ARGUMENT;
    }
    try {
        const vkt2::file_result file = vkt2::compress(bytes_of(src, src_size));
        if (!file) return VKT2_ERROR_TOO_LARGE;
        *dst_size = file.bytes.size();
        if (file.bytes.size() > dst_capacity) return VKT2_ERROR_DST_TOO_SMALL;
        std::memcpy(dst, file.bytes.data(), file.bytes.size());
        return VKT2_OK;
    } catch (const std::bad_alloc&) {
        return VKT2_ERROR_NO_MEMORY;
    }
}

extern "C" std::size_t vkt2_compress_bound(std::size_t src_size) noexcept {
    if (src_size > vkt2::max_original_size) return 0;
    return std::min(vkt2::header_size + vkt2::max_stream_size(src_size), vkt2::input_buffer_size);
}

extern "C" const char* vkt2_error_name(int code) noexcept {
    switch (code) {
        case VKT2_OK:
            return "success";
        case VKT2_ERROR_NOT_VKT2:
            return "not a VKT2 file";
        case VKT2_ERROR_TRUNCATED:
            return "the compressed data ends part way";
        case VKT2_ERROR_TOO_LARGE:
            return "too large for a VKT2 file";
        case VKT2_ERROR_DST_TOO_SMALL:
            return "the destination buffer is too small";
        case VKT2_ERROR_NO_MEMORY:
            return "out of memory";
        case VKT2_ERROR_INVALID_ARGUMENT:
            return "invalid argument";
        default:
            return "unknown error";
    }
}
