// The tester decodes twice at most: once from the file's own bytes, and, when those run out,
// once more with the zero fill vkt2x would decode from, to tell a file cut short from a
// stream that cannot be decoded at all.
#include "verdict.hpp"

#include <string>

#include "vkt2/vkt2.hpp"

namespace vkt2::batch {

verdict test_file(std::span<const std::uint8_t> file, bool longer,
                  std::span<std::uint8_t> scratch) {
    verdict v;
    const auto size = parse_header(file);
    if (!size) {
        v.failure = "not a VKT2 file";
        return v;
    }
    const std::span<std::uint8_t> out = scratch.first(*size);
    const std::span<const std::uint8_t> stream = token_stream(file);
    const decode_result own = decode_stream(stream, out);
    if (own.status != decode_status::ok) {
        const decode_result padded =
            decode_zero_extended(stream, input_buffer_size - header_size, out);
        if (padded.status == decode_status::ok) {
            v.failure = "cut short: the stream runs " +
                        std::to_string(padded.consumed - stream.size()) +
                        " bytes past the end of the file";
        } else {
            v.failure = "the stream needs bytes past the first 65,536; it cannot be decoded";
        }
        return v;
    }
    if (longer) v.warnings.push_back("warning: longer than 65,536 bytes; the rest is never read");
    if (own.consumed < stream.size()) {
        v.warnings.push_back("warning: " + std::to_string(stream.size() - own.consumed) +
                             " unused bytes after the end of the stream");
    }
    return v;
}

}  // namespace vkt2::batch
