// The fast decoder against the plain ring-window decoder, byte for byte. The first two bytes
// give the output size; the rest is a raw stream in a buffer of exactly its size, so the end
// of the input is reached often and any read past it is caught.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz_check.hpp"
#include "support/reference_decoder.hpp"
#include "vkt2/format.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const auto original_size = static_cast<std::size_t>(data[0] | (data[1] << 8));
    const std::vector<std::uint8_t> stream(data + 2, data + size);

    std::vector<std::uint8_t> out(original_size);
    const auto result = vkt2::decode_stream(stream, out);
    std::vector<std::uint8_t> expected;
    vkt2::testing::reference_decode(stream, original_size,
                                    [&](std::uint8_t b) { expected.push_back(b); });
    FUZZ_CHECK(result.produced == expected.size());
    FUZZ_CHECK(std::equal(expected.begin(), expected.end(), out.begin()));
    FUZZ_CHECK((result.status == vkt2::decode_status::ok) == (expected.size() == original_size));
    return 0;
}
