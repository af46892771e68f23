// Encode, then decode: the data comes back, and the stream is no longer than the all-literal
// bound nor than a greedy parse, which any shortest parse must match or beat.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz_check.hpp"
#include "support/greedy_encoder.hpp"
#include "vkt2/format.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, std::min(size, vkt2::max_original_size));
    const std::vector<std::uint8_t> stream = vkt2::encode(input);
    FUZZ_CHECK(stream.size() <= vkt2::max_stream_size(input.size()));
    FUZZ_CHECK(stream.size() <= vkt2::testing::greedy_encode(input).size());

    std::vector<std::uint8_t> out(input.size());
    const auto result = vkt2::decode_stream(stream, out);
    FUZZ_CHECK(result.status == vkt2::decode_status::ok);
    FUZZ_CHECK(std::equal(out.begin(), out.end(), input.begin(), input.end()));
    return 0;
}
