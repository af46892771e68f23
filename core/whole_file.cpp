// Whole files in memory, the C interface's decoding and encoding: the one place a file image
// becomes a stream and a decoded file passes or fails, so every front end decodes the same way.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "vkt2/format.hpp"
#include "vkt2/vkt2.h"

static_assert(VKT2_MAX_ORIGINAL_SIZE == vkt2::max_original_size);
static_assert(VKT2_COMPRESS_BOUND(65535) == 65536 && VKT2_COMPRESS_BOUND(65536) == 0);

namespace {

bool valid(const void* buffer, std::size_t size) {
    return buffer != nullptr || size == 0;
}

std::span<const std::uint8_t> bytes_of(const void* src, std::size_t size) {
    return {static_cast<const std::uint8_t*>(src), size};
}

// Whether writing out[0..out_size) would change what is read of in[0..in_size): a caller
// decoding or encoding in place would otherwise get damaged bytes reported as success.
bool overlaps(const void* in, std::size_t in_size, const void* out, std::size_t out_size) {
    if (in_size == 0 || out_size == 0) return false;
    const auto a = reinterpret_cast<std::uintptr_t>(in);
    const auto b = reinterpret_cast<std::uintptr_t>(out);
    return a < b + out_size && b < a + in_size;
}

}  // namespace

extern "C" int vkt2_decompress_ex(const void* src, std::size_t src_size, void* dst,
                                  std::size_t dst_capacity, std::size_t* dst_size,
                                  unsigned flags) noexcept {
    if (!valid(src, src_size) || !valid(dst, dst_capacity) || dst_size == nullptr ||
        (flags & ~VKT2_ZERO_FILL) != 0) {
        return VKT2_ERROR_INVALID_ARGUMENT;
    }
    const bool zero_fill = (flags & VKT2_ZERO_FILL) != 0;
    const auto file = bytes_of(src, std::min(src_size, vkt2::max_file_size));
    const auto size = vkt2::parse_header(file);
    if (!size) return VKT2_ERROR_NOT_VKT2;
    if (*size <= dst_capacity && overlaps(file.data(), file.size(), dst, *size))
        return VKT2_ERROR_INVALID_ARGUMENT;
    *dst_size = *size;
    if (file.size() < vkt2::header_size && !zero_fill) return VKT2_ERROR_HEADER_CUT_SHORT;
    if (*size > dst_capacity) return VKT2_ERROR_DST_TOO_SMALL;
    // Decoding first and judging after takes one pass where testing first would take two; the
    // decoder reads exactly what the test walks.
    const auto stream = vkt2::token_stream(file);
    const auto result = vkt2::decode_zero_extended(stream, vkt2::stream_room,
                                                   {static_cast<std::uint8_t*>(dst), *size});
    if (result.status != vkt2::decode_status::ok) return VKT2_ERROR_STREAM_PAST_LIMIT;
    if (result.consumed > stream.size() && !zero_fill) return VKT2_ERROR_CUT_SHORT;
    return VKT2_OK;
}

extern "C" int vkt2_decompress(const void* src, std::size_t src_size, void* dst,
                               std::size_t dst_capacity, std::size_t* dst_size) noexcept {
    return vkt2_decompress_ex(src, src_size, dst, dst_capacity, dst_size, 0);
}

extern "C" int vkt2_compress(const void* src, std::size_t src_size, void* dst,
                             std::size_t dst_capacity, std::size_t* dst_size) noexcept {
    if (!valid(src, src_size) || !valid(dst, dst_capacity) || dst_size == nullptr) {
        return VKT2_ERROR_INVALID_ARGUMENT;
    }
    if (src_size > vkt2::max_original_size) return VKT2_ERROR_TOO_LARGE;
    try {
        const auto header = vkt2::make_header(static_cast<std::uint16_t>(src_size));
        const std::vector<std::uint8_t> stream = vkt2::encode(bytes_of(src, src_size));
        const std::size_t size = vkt2::header_size + stream.size();
        if (size > vkt2::max_file_size) return VKT2_ERROR_TOO_LARGE;
        if (size <= dst_capacity && overlaps(src, src_size, dst, size))
            return VKT2_ERROR_INVALID_ARGUMENT;
        *dst_size = size;
        if (size > dst_capacity) return VKT2_ERROR_DST_TOO_SMALL;
        auto* out = static_cast<std::uint8_t*>(dst);
        std::memcpy(out, header.data(), header.size());
        if (!stream.empty()) std::memcpy(out + header.size(), stream.data(), stream.size());
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
    const auto size = vkt2::parse_header(bytes_of(src, src_size));
    if (!size) return VKT2_ERROR_NOT_VKT2;
    *out = *size;
    return VKT2_OK;
}

extern "C" const char* vkt2_version_string() noexcept {
    return VKT2_VERSION_STRING;
}

extern "C" unsigned vkt2_version_number() noexcept {
    return VKT2_VERSION_NUMBER;
}
