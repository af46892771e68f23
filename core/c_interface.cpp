// The C interface over the whole-file helpers. Decompressing decodes straight into the
// caller's buffer; compressing needs the encoder's work space, so running out of memory
// becomes an error code there rather than an exception.
#include <algorithm>
#include <cstring>
#include <new>

#include "vkt2/format.hpp"
#include "vkt2/vkt2.h"
#include "vkt2/vkt2.hpp"

static_assert(VKT2_MAX_ORIGINAL_SIZE == vkt2::max_original_size);
static_assert(VKT2_COMPRESS_BOUND(65535) == 65536 && VKT2_COMPRESS_BOUND(65536) == 0);

namespace {

bool valid(const void* buffer, std::size_t size) {
    return buffer != nullptr || size == 0;
}

std::span<const std::uint8_t> bytes_of(const void* src, std::size_t size) {
    return {static_cast<const std::uint8_t*>(src), size};
}

int code_of(vkt2::file_status status) {
    switch (status) {
        case vkt2::file_status::ok:
            return VKT2_OK;
        case vkt2::file_status::not_vkt2:
            return VKT2_ERROR_NOT_VKT2;
        case vkt2::file_status::stream_past_limit:
            return VKT2_ERROR_STREAM_PAST_LIMIT;
        case vkt2::file_status::too_large:
            return VKT2_ERROR_TOO_LARGE;
        case vkt2::file_status::dst_too_small:
            return VKT2_ERROR_DST_TOO_SMALL;
        case vkt2::file_status::header_cut_short:
            return VKT2_ERROR_HEADER_CUT_SHORT;
        case vkt2::file_status::cut_short:
            return VKT2_ERROR_CUT_SHORT;
    }
    return VKT2_ERROR_INVALID_ARGUMENT;
}

}  // namespace

extern "C" int vkt2_decompress(const void* src, std::size_t src_size, void* dst,
                               std::size_t dst_capacity, std::size_t* dst_size) noexcept {
    if (!valid(src, src_size) || !valid(dst, dst_capacity) || dst_size == nullptr) {
        return VKT2_ERROR_INVALID_ARGUMENT;
    }
    const auto result = vkt2::decompress_into(bytes_of(src, src_size),
                                              {static_cast<std::uint8_t*>(dst), dst_capacity});
    if (result.status != vkt2::file_status::not_vkt2) *dst_size = result.size;
    return code_of(result.status);
}

extern "C" int vkt2_compress(const void* src, std::size_t src_size, void* dst,
                             std::size_t dst_capacity, std::size_t* dst_size) noexcept {
    if (!valid(src, src_size) || !valid(dst, dst_capacity) || dst_size == nullptr) {
        return VKT2_ERROR_INVALID_ARGUMENT;
    }
    try {
        const vkt2::file_result file = vkt2::compress(bytes_of(src, src_size));
        if (!file) return code_of(file.status);
        *dst_size = file.bytes.size();
        if (file.bytes.size() > dst_capacity) return VKT2_ERROR_DST_TOO_SMALL;
        std::memcpy(dst, file.bytes.data(), file.bytes.size());
        return VKT2_OK;
    } catch (const std::bad_alloc&) {
        return VKT2_ERROR_NO_MEMORY;
    }
}

extern "C" std::size_t vkt2_compress_bound(std::size_t src_size) noexcept {
    return VKT2_COMPRESS_BOUND(src_size);
}

extern "C" int vkt2_decoded_size(const void* src, std::size_t src_size, std::size_t* out) noexcept {
    if (!valid(src, src_size) || out == nullptr) return VKT2_ERROR_INVALID_ARGUMENT;
    const auto size = vkt2::decoded_size(bytes_of(src, src_size));
    if (!size) return VKT2_ERROR_NOT_VKT2;
    *out = *size;
    return VKT2_OK;
}

extern "C" int vkt2_test(const void* src, std::size_t src_size, vkt2_verdict* out) noexcept {
    if (!valid(src, src_size) || out == nullptr) return VKT2_ERROR_INVALID_ARGUMENT;
    const vkt2::verdict v = vkt2::test(bytes_of(src, src_size));
    *out = {v.result == vkt2::grade::pass   ? VKT2_VERDICT_PASS
            : v.result == vkt2::grade::warn ? VKT2_VERDICT_WARN
                                            : VKT2_VERDICT_FAIL,
            code_of(v.failure),
            v.file_size,
            v.decoded_size,
            v.stream_used,
            v.bytes_missing,
            v.bytes_unused,
            v.bytes_ignored};
    return out->error;
}

extern "C" const char* vkt2_version_string() noexcept {
    return VKT2_VERSION_STRING;
}

extern "C" unsigned vkt2_version_number() noexcept {
    return VKT2_VERSION_NUMBER;
}

extern "C" const char* vkt2_error_name(int code) noexcept {
    switch (code) {
        case VKT2_OK:
            return "success";
        case VKT2_ERROR_NOT_VKT2:
            return "not a VKT2 file";
        case VKT2_ERROR_STREAM_PAST_LIMIT:
            return "the stream needs bytes past the first 65,536";
        case VKT2_ERROR_TOO_LARGE:
            return "too large for a VKT2 file";
        case VKT2_ERROR_DST_TOO_SMALL:
            return "the destination buffer is too small";
        case VKT2_ERROR_NO_MEMORY:
            return "out of memory";
        case VKT2_ERROR_INVALID_ARGUMENT:
            return "invalid argument";
        case VKT2_ERROR_HEADER_CUT_SHORT:
            return "the file ends inside its header";
        case VKT2_ERROR_CUT_SHORT:
            return "the file ends before its stream does";
        default:
            return "unknown error";
    }
}
