// Whole-file compress and decompress in memory, with the tools' size limits and zero fill.
#include <algorithm>

#include "vkt2/vkt2.hpp"

namespace vkt2 {

file_result decompress(std::span<const std::uint8_t> file) {
    file = file.first(std::min(file.size(), input_buffer_size));
    const auto original_size = parse_header(file);
    if (!original_size) return {file_status::not_vkt2, {}};
    std::vector<std::uint8_t> out(*original_size);
    const auto result =
        decode_zero_extended(token_stream(file), input_buffer_size - header_size, out);
    if (result.status != decode_status::ok) return {file_status::truncated, {}};
    return {file_status::ok, std::move(out)};
}

file_result compress(std::span<const std::uint8_t> data) {
    if (data.size() > max_original_size) return {file_status::too_large, {}};
    const auto header = make_header(static_cast<std::uint16_t>(data.size()));
    const std::vector<std::uint8_t> stream = encode(data);
    if (header_size + stream.size() > input_buffer_size) return {file_status::too_large, {}};
    std::vector<std::uint8_t> file;
    file.reserve(header_size + stream.size());
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), stream.begin(), stream.end());
    return {file_status::ok, std::move(file)};
}

}  // namespace vkt2
