// Whole files in memory by the loader's rules: the one place a file image becomes a stream,
// so every caller decodes the same way.
#include <algorithm>

#include "vkt2/format.hpp"
#include "vkt2/vkt2.hpp"

namespace vkt2 {

decoded decompress_into(std::span<const std::uint8_t> file, std::span<std::uint8_t> dst) noexcept {
    file = file.first(std::min(file.size(), max_file_size));
    const auto size = parse_header(file);
    if (!size) return {file_status::not_vkt2, 0};
    if (*size > dst.size()) return {file_status::dst_too_small, *size};
    const auto result = decode_zero_extended(token_stream(file), stream_room, dst.first(*size));
    return {result.status == decode_status::ok ? file_status::ok : file_status::stream_past_limit,
            *size};
}

file_result decompress(std::span<const std::uint8_t> file) {
    const auto size = decoded_size(file);
    if (!size) return {file_status::not_vkt2, {}};
    std::vector<std::uint8_t> out(*size);
    const auto result = decompress_into(file, out);
    if (result.status != file_status::ok) return {result.status, {}};
    return {file_status::ok, std::move(out)};
}

std::optional<std::size_t> decoded_size(std::span<const std::uint8_t> file) noexcept {
    return parse_header(file);
}

bool decodes_to(std::span<const std::uint8_t> file, std::span<const std::uint8_t> data,
                std::span<std::uint8_t> scratch) noexcept {
    if (scratch.size() < data.size() || test(file).result != grade::pass) return false;
    const auto result = decompress_into(file, scratch.first(data.size()));
    return result.status == file_status::ok && result.size == data.size() &&
           std::equal(data.begin(), data.end(), scratch.begin());
}

file_result compress(std::span<const std::uint8_t> data) {
    if (data.size() > max_original_size) return {file_status::too_large, {}};
    const auto header = make_header(static_cast<std::uint16_t>(data.size()));
    const std::vector<std::uint8_t> stream = encode(data);
    if (header_size + stream.size() > max_file_size) return {file_status::too_large, {}};
    std::vector<std::uint8_t> file;
    file.reserve(header_size + stream.size());
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), stream.begin(), stream.end());
    return {file_status::ok, std::move(file)};
}

}  // namespace vkt2
