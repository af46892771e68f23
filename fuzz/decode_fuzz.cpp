// Arbitrary bytes as a file image, loaded as vkt2x loads it: the decoder stays inside its
// buffers and produces exactly original_size bytes, or stops where the plain decoder stops.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz_check.hpp"
#include "support/reference_decoder.hpp"
#include "vkt2/format.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> buffer(vkt2::max_file_size, 0);
    std::copy_n(data, std::min(size, buffer.size()), buffer.begin());
    const auto original_size = vkt2::parse_header(buffer);
    if (!original_size) return 0;

    std::vector<std::uint8_t> out(*original_size);
    const auto result = vkt2::decode_stream(vkt2::token_stream(buffer), out);
    const std::size_t expected =
        vkt2::testing::reference_decode(vkt2::token_stream(buffer), *original_size, [](auto) {});
    FUZZ_CHECK(result.produced == expected);
    FUZZ_CHECK((result.status == vkt2::decode_status::ok) == (expected == *original_size));
    return 0;
}
