// The whole-file helpers against the low-level calls: any image decompresses with zero fill
// exactly as its zero-filled first 65,536 bytes decode, and strictly only when it passes the
// test; the verdict agrees with that decode and accounts for every byte, the C interface agrees
// with the C++ one and with the tools' one-pass decode and judgement, and compressing the same
// bytes gives a file of at most 65,536 bytes that decodes back.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz_check.hpp"
#include "vkt2/format.hpp"
#include "vkt2/vkt2.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> image(data, size);
    std::vector<std::uint8_t> buffer(vkt2::max_file_size, 0);
    std::copy_n(data, std::min(size, buffer.size()), buffer.begin());
    const auto original_size = vkt2::parse_header(buffer);
    std::vector<std::uint8_t> expected(original_size.value_or(0));
    const auto decoded = vkt2::decode_stream(vkt2::token_stream(buffer), expected);
    const bool decodes = decoded.status == vkt2::decode_status::ok;
    const auto filled = vkt2::decompress(image, vkt2::decoding::zero_fill);
    FUZZ_CHECK(filled.status == (!original_size ? vkt2::file_status::not_vkt2
                                 : decodes      ? vkt2::file_status::ok
                                                : vkt2::file_status::stream_past_limit));
    FUZZ_CHECK(filled.bytes == (filled ? expected : std::vector<std::uint8_t>{}));

    std::size_t header_size = 0;
    const int sized = vkt2_decoded_size(data, size, &header_size);
    FUZZ_CHECK(sized == (original_size ? VKT2_OK : VKT2_ERROR_NOT_VKT2));
    FUZZ_CHECK(!original_size || header_size == *original_size);

    vkt2_verdict v{};
    v.struct_size = sizeof v;
    const int tested = vkt2_test(data, size, &v);
    const vkt2::verdict cpp = vkt2::test(image);
    FUZZ_CHECK(tested == v.error && v.verdict == static_cast<int>(cpp.result) &&
               v.file_size == size && v.decoded_size == cpp.decoded_size &&
               v.stream_used == cpp.stream_used && v.bytes_missing == cpp.bytes_missing &&
               v.bytes_unused == cpp.bytes_unused && v.bytes_ignored == cpp.bytes_ignored);
    FUZZ_CHECK((tested == VKT2_ERROR_NOT_VKT2) == !original_size);
    FUZZ_CHECK((tested == VKT2_ERROR_STREAM_PAST_LIMIT) == (original_size && !decodes));
    FUZZ_CHECK((v.verdict == VKT2_VERDICT_FAIL) == (tested != VKT2_OK));
    FUZZ_CHECK(v.bytes_missing <= v.decoded_size);

    // Strict decoding refuses exactly what the test fails, with its code, and otherwise gives
    // the zero-filled bytes; into an exact buffer, so that ASan sees any overrun.
    std::vector<std::uint8_t> out(expected.size());
    std::size_t out_size = 0;
    const int code = vkt2_decompress(data, size, out.data(), out.size(), &out_size);
    FUZZ_CHECK(code == tested);
    FUZZ_CHECK(code != VKT2_OK || (out_size == expected.size() && out == expected));
    // The tools' one pass gives the same verdict, status and bytes, again into an exact buffer.
    std::vector<std::uint8_t> judged_out(expected.size());
    const auto judged = vkt2::decode_and_judge(image, size, judged_out, false);
    FUZZ_CHECK(judged.status == code && judged.verdict.error == v.error &&
               judged.verdict.verdict == v.verdict && judged.verdict.file_size == v.file_size &&
               judged.verdict.stream_used == v.stream_used &&
               judged.verdict.bytes_missing == v.bytes_missing &&
               judged.verdict.bytes_unused == v.bytes_unused &&
               judged.verdict.bytes_ignored == v.bytes_ignored);
    FUZZ_CHECK(code != VKT2_OK || judged_out == expected);

    const std::size_t loaded = std::min(size, vkt2::max_file_size);
    if (original_size && decodes && loaded >= vkt2::header_size) {
        // Every loaded byte is header, stream read, or unused; the stream read runs past them
        // only when the file is cut short, and then some decoded bytes are missing.
        const std::size_t stream = loaded - vkt2::header_size;
        FUZZ_CHECK(v.decoded_size == expected.size() && v.stream_used == decoded.consumed);
        FUZZ_CHECK((v.stream_used > stream) == (tested == VKT2_ERROR_CUT_SHORT));
        FUZZ_CHECK(v.bytes_unused == (tested == VKT2_ERROR_CUT_SHORT ? 0 : stream - v.stream_used));
        FUZZ_CHECK((v.bytes_missing > 0) == (tested == VKT2_ERROR_CUT_SHORT));
        FUZZ_CHECK(v.bytes_ignored == (tested == VKT2_OK ? size - loaded : 0));
        FUZZ_CHECK((v.verdict == VKT2_VERDICT_WARN) ==
                   (tested == VKT2_OK && v.bytes_unused + v.bytes_ignored > 0));
    }

    std::vector<std::uint8_t> file(vkt2::max_file_size);
    std::size_t file_size = 0;
    const int packed = vkt2_compress(data, size, file.data(), file.size(), &file_size);
    if (packed == VKT2_ERROR_TOO_LARGE) {
        // Only data that could not fit as all literals may come out too large; the exact
        // boundary is a unit test's, as encoding twice would halve the fuzzing speed.
        FUZZ_CHECK(vkt2::header_size + vkt2::max_stream_size(size) > vkt2::max_file_size);
        return 0;
    }
    FUZZ_CHECK(packed == VKT2_OK);
    const auto back = vkt2::decompress(std::span(file.data(), file_size));
    FUZZ_CHECK(back && std::equal(back.bytes.begin(), back.bytes.end(), data, data + size));
    return 0;
}
