// vkt2_roundtrip: compresses standard input into a VKT2 file image in memory, tests and
// decompresses it again and says whether the bytes came back, with the sizes.
#include <cstdio>
#include <iostream>
#include <iterator>
#include <vector>

#include <vkt2/vkt2.hpp>

int main() {
    const std::vector<std::uint8_t> data(std::istreambuf_iterator<char>(std::cin), {});
    const vkt2::file_result file = vkt2::compress(data);
    if (!file) {
        std::fprintf(stderr, "vkt2_roundtrip: %zu bytes are too many for a VKT2 file\n",
                     data.size());
        return 1;
    }
    const vkt2::verdict verdict = vkt2::test(file.bytes);
    if (verdict.result != vkt2::grade::pass) {
        std::fprintf(stderr, "vkt2_roundtrip: %s\n", vkt2::text(verdict).c_str());
        return 1;
    }
    const vkt2::file_result back = vkt2::decompress(file.bytes);
    if (!back || back.bytes != data) {
        std::fprintf(stderr, "vkt2_roundtrip: the data did not come back\n");
        return 1;
    }
    std::printf("%zu bytes -> %zu-byte file -> %zu bytes\n", data.size(), file.bytes.size(),
                back.bytes.size());
    return 0;
}
