// The whole-file helpers and the C interface: the tools' size limits, the zero fill, and every
// error they report.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "vkt2/format.hpp"
#include "vkt2/vkt2.h"

namespace {

using bytes = std::vector<std::uint8_t>;
using vkt2::file_status;

// A header, then 0xFF bytes: all literals, so the first 65,536 bytes of the image hold a
// stream of exactly 58,247 bytes of output, however long the image is.
bytes literal_image(std::uint16_t original_size) {
    bytes image(80000, 0xFF);
    const auto header = vkt2::make_header(original_size);
    std::copy(header.begin(), header.end(), image.begin());
    return image;
}

// No zero byte and no three bytes seen twice within 4,096, so no reference saves anything and
// the file is the all-literal bound.
bytes without_matches(std::size_t size) {
    bytes data(size);
    for (std::size_t i = 0; i < size; ++i)
        data[i] = static_cast<std::uint8_t>(i % 2 ? 128 + i / 2 % 128 : 1 + i / 256 % 127);
    return data;
}

TEST(WholeFile, DecompressReadsOnlyTheFirst65536Bytes) {
    const auto zero_fill = vkt2::decoding::zero_fill;
    EXPECT_EQ(vkt2::decompress(bytes{'V', 'K', 'T'}, zero_fill).status, file_status::not_vkt2);
    EXPECT_EQ(vkt2::decompress(literal_image(58247)).bytes, bytes(58247, 0xFF));
    EXPECT_EQ(vkt2::decompress(literal_image(58248), zero_fill).status,
              file_status::stream_past_limit);
}

TEST(WholeFile, CompressRefusesWhatVkt2xCouldNotLoad) {
    EXPECT_EQ(vkt2::compress(without_matches(58247)).bytes.size(), vkt2::max_file_size);
    EXPECT_EQ(vkt2::compress(without_matches(58248)).status, file_status::too_large);
    EXPECT_TRUE(vkt2::compress(bytes(65535, 'a')));
    EXPECT_EQ(vkt2::compress(bytes(65536, 'a')).status, file_status::too_large);
}

// Header and stream as bytes: "VKT2", the size, two unused bytes, then `stream`.
bytes image(std::uint16_t size, const bytes& stream) {
    const auto header = vkt2::make_header(size);
    bytes out(header.size() + stream.size());
    std::copy(header.begin(), header.end(), out.begin());
    std::copy(stream.begin(), stream.end(), out.begin() + vkt2::header_size);
    return out;
}

// The one-pass decode and judgement gives what vkt2_test and vkt2_decompress_ex give apart,
// strict and zero-filled, and the same decoded bytes.
void expect_judged_as_apart(const bytes& file, std::size_t decoded_size) {
    vkt2_verdict apart{};
    apart.struct_size = sizeof apart;
    vkt2_test(file.data(), file.size(), &apart);
    const auto fields = [](const vkt2_verdict& v) {
        return std::tuple(v.verdict, v.error, v.file_size, v.decoded_size, v.stream_used,
                          v.bytes_missing, v.bytes_unused, v.bytes_ignored);
    };
    for (const bool zero_fill : {false, true}) {
        bytes one(decoded_size, 0xA5), two(decoded_size, 0x5A);
        const auto j = vkt2::decode_and_judge(file, file.size(), one, zero_fill);
        EXPECT_EQ(fields(j.verdict), fields(apart)) << zero_fill;
        std::size_t n = 0;
        EXPECT_EQ(j.status, vkt2_decompress_ex(file.data(), file.size(), two.data(), two.size(), &n,
                                               zero_fill ? VKT2_ZERO_FILL : 0))
            << zero_fill;
        if (j.status == VKT2_OK) {
            EXPECT_EQ(one, two) << zero_fill;
        }
        if (decoded_size == 0) continue;
        // Given the wrong room, it refuses as the decoder does, and reads nothing past the room.
        one.pop_back();
        EXPECT_EQ(vkt2::decode_and_judge(file, file.size(), one, zero_fill).status,
                  vkt2_decompress_ex(file.data(), file.size(), two.data(), one.size(), &n,
                                     zero_fill ? VKT2_ZERO_FILL : 0));
    }
}

// One row per verdict the tester can reach, checked through both interfaces alike.
TEST(Verdict, EachCaseThroughBothInterfaces) {
    const bytes abc = {0x07, 'a', 'b', 'c'};  // three literals: "abc"
    bytes longer = image(3, abc);
    longer.resize(70000, 0);
    struct row {
        const char* name;
        bytes file;
        int code, grade;
        std::size_t decoded, used, missing, unused, ignored;
    } rows[] = {
        {"empty", {}, VKT2_ERROR_NOT_VKT2, VKT2_VERDICT_FAIL, 0, 0, 0, 0, 0},
        {"not VKT2", {'V', 'K', 'T', '3', 0, 0, 0, 0}, VKT2_ERROR_NOT_VKT2, 2, 0, 0, 0, 0, 0},
        {"magic alone", {'V', 'K', 'T', '2'}, VKT2_ERROR_HEADER_CUT_SHORT, 2, 0, 0, 0, 0, 0},
        {"magic, 1 byte", {'V', 'K', 'T', '2', 9}, VKT2_ERROR_HEADER_CUT_SHORT, 2, 9, 0, 0, 0, 0},
        {"empty original", image(0, {}), VKT2_OK, VKT2_VERDICT_PASS, 0, 0, 0, 0, 0},
        {"exact", image(3, abc), VKT2_OK, VKT2_VERDICT_PASS, 3, 4, 0, 0, 0},
        {"unused bytes", image(3, {0x07, 'a', 'b', 'c', 1, 2}), VKT2_OK, VKT2_VERDICT_WARN, 3, 4, 0,
         2, 0},
        {"longer than the limit", longer, VKT2_OK, VKT2_VERDICT_WARN, 3, 4, 0, 65524,
         70000 - 65536},
        {"stream cut short", image(5, {0x1F, 'a', 'b'}), VKT2_ERROR_CUT_SHORT, 2, 5, 6, 3, 0, 0},
        {"one byte short", image(2, {0x03, 'a'}), VKT2_ERROR_CUT_SHORT, 2, 2, 3, 1, 0, 0},
        {"mid-reference", image(9, {0x01, 'a', 0x00}), VKT2_ERROR_CUT_SHORT, 2, 9, 8, 8, 0, 0},
        {"flag byte missing", image(20, {0xFF, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'}),
         VKT2_ERROR_CUT_SHORT, 2, 20, 18, 12, 0, 0},
        {"past the limit", literal_image(58248), VKT2_ERROR_STREAM_PAST_LIMIT, 2, 58248, 65528, 0,
         0, 0},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        vkt2_verdict v{};
        v.struct_size = sizeof v;
        EXPECT_EQ(vkt2_test(r.file.data(), r.file.size(), &v), r.code);
        EXPECT_EQ(v.error, r.code);
        EXPECT_EQ(v.verdict, r.grade);
        EXPECT_EQ(v.file_size, r.file.size());
        EXPECT_EQ(v.decoded_size, r.decoded);
        EXPECT_EQ(v.stream_used, r.used);
        EXPECT_EQ(v.bytes_missing, r.missing);
        EXPECT_EQ(v.bytes_unused, r.unused);
        EXPECT_EQ(v.bytes_ignored, r.ignored);
        const vkt2::verdict cpp = vkt2::test(r.file);
        EXPECT_EQ(static_cast<int>(cpp.result), r.grade);
        EXPECT_EQ(cpp.stream_used, r.used);
        EXPECT_EQ(cpp.bytes_missing, r.missing);
        // Decoding refuses what fails, with its code; a file cut short decodes on request.
        EXPECT_EQ(static_cast<int>(vkt2::decompress(r.file).status), r.code);
        const bool cannot = r.code == VKT2_ERROR_NOT_VKT2 || r.code == VKT2_ERROR_STREAM_PAST_LIMIT;
        EXPECT_EQ(!vkt2::decompress(r.file, vkt2::decoding::zero_fill), cannot);
        expect_judged_as_apart(r.file, r.decoded);
    }
    EXPECT_EQ(vkt2_test(nullptr, 1, nullptr), VKT2_ERROR_INVALID_ARGUMENT);
    // Only the first 65,536 bytes are read: a longer file's size may come with just those.
    const bytes head(longer.begin(), longer.begin() + 65536);
    vkt2_verdict v{};
    v.struct_size = sizeof v;
    EXPECT_EQ(vkt2_test(head.data(), 70000, &v), VKT2_OK);
    EXPECT_EQ(v.verdict, VKT2_VERDICT_WARN);
    EXPECT_EQ(v.bytes_ignored, 70000u - 65536);
}

// Where the tester says a stream ends is where the decoder stops reading, for any stream.
TEST(Verdict, AgreesWithTheDecoderOnRandomStreams) {
    std::mt19937 rng(7);
    bytes out(vkt2::max_original_size);
    for (int round = 0; round < 3000; ++round) {
        bytes stream(rng() % 2000);
        for (auto& b : stream) b = static_cast<std::uint8_t>(rng() % 4 ? rng() : 0xFF);
        const auto size = static_cast<std::uint16_t>(rng() % 6000);
        const auto v = vkt2::test(image(size, stream));
        const auto d =
            vkt2::decode_zero_extended(stream, vkt2::stream_room, std::span(out).first(size));
        ASSERT_EQ(v.stream_used, d.consumed) << round;
        ASSERT_EQ(v.result != vkt2::grade::fail, d.consumed <= stream.size()) << round;
        if (round % 10 == 0) expect_judged_as_apart(image(size, stream), size);
    }
}

TEST(CInterface, ReadsTheHeaderAlone) {
    const bytes file = image(3, {0x07, 'x', 'y', 'z'});
    std::size_t size = 0;
    EXPECT_EQ(vkt2_decoded_size(file.data(), 6, &size), VKT2_OK);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(vkt2_decoded_size("VKT2\x01", 5, &size), VKT2_OK);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(vkt2_decoded_size("VKT", 3, &size), VKT2_ERROR_NOT_VKT2);
    EXPECT_EQ(vkt2::decoded_size(file), 3u);
    EXPECT_FALSE(vkt2::decoded_size(bytes{'v', 'k', 't', '2'}));
}

// Bad arguments and refusals leave every output untouched; one too small a buffer for
// compress says the room needed and still leaves dst alone.
TEST(CInterface, ErrorsLeaveOutputsAsDocumented) {
    const bytes file = image(3, {0x07, 'x', 'y', 'z'});
    const bytes big(65536, 'a');
    constexpr std::size_t unset = 12345;
    std::size_t size = unset;
    bytes dst(8, '!');
    bytes shared(32, '!');  // in-place work: the file at 8, a destination across each end
    std::copy(file.begin(), file.end(), shared.begin() + 8);
    const bytes shared_before = shared;
    vkt2_verdict v{};
    v.struct_size = sizeof v;
    v.decoded_size = unset;
    const int invalid = VKT2_ERROR_INVALID_ARGUMENT;
    const struct {
        const char* name;
        int got, want;
    } rows[] = {
        {"decoded_size, null src", vkt2_decoded_size(nullptr, 1, &size), invalid},
        {"decoded_size, null out", vkt2_decoded_size(file.data(), file.size(), nullptr), invalid},
        {"decoded_size, nothing", vkt2_decoded_size(nullptr, 0, &size), VKT2_ERROR_NOT_VKT2},
        {"decoded_size, VKT3", vkt2_decoded_size("VKT3\x05", 5, &size), VKT2_ERROR_NOT_VKT2},
        {"test, null out", vkt2_test(file.data(), file.size(), nullptr), invalid},
        {"test, null src", vkt2_test(nullptr, 3, &v), invalid},
        {"decompress, null dst", vkt2_decompress(file.data(), file.size(), nullptr, 3, &size),
         invalid},
        {"decompress, null src", vkt2_decompress(nullptr, 8, dst.data(), dst.size(), &size),
         invalid},
        {"decompress, VKT", vkt2_decompress("VKT", 3, dst.data(), dst.size(), &size),
         VKT2_ERROR_NOT_VKT2},
        {"decompress_ex, unknown flag",
         vkt2_decompress_ex(file.data(), file.size(), dst.data(), dst.size(), &size, 2), invalid},
        {"compress, null src", vkt2_compress(nullptr, 1, dst.data(), dst.size(), &size), invalid},
        {"compress, null dst", vkt2_compress(big.data(), 1, nullptr, 8, &size), invalid},
        {"decompress, overlapping",
         vkt2_decompress(shared.data() + 8, file.size(), shared.data() + 6, 3, &size), invalid},
        {"decompress_ex, overlapping",
         vkt2_decompress_ex(shared.data() + 8, file.size(), shared.data() + 19, 6, &size, 1),
         invalid},
        {"compress, overlapping", vkt2_compress(shared.data() + 8, 4, shared.data(), 16, &size),
         invalid},
        {"compress, too large", vkt2_compress(big.data(), 65536, dst.data(), dst.size(), &size),
         VKT2_ERROR_TOO_LARGE},
    };
    for (const auto& r : rows) EXPECT_EQ(r.got, r.want) << r.name;
    EXPECT_EQ(size, unset);
    EXPECT_EQ(v.decoded_size, unset);
    EXPECT_EQ(dst, bytes(8, '!'));
    EXPECT_EQ(shared, shared_before);
    EXPECT_EQ(vkt2_decompress(shared.data() + 8, file.size(), shared.data() + 5, 9, &size), 0);
    EXPECT_EQ(std::string(shared.begin() + 5, shared.begin() + 9), "xyzV");
    EXPECT_EQ(vkt2_compress(big.data(), 20, dst.data(), dst.size(), &size),
              VKT2_ERROR_DST_TOO_SMALL);
    EXPECT_EQ(size, vkt2::compress(std::span(big).first(20)).bytes.size());
    EXPECT_EQ(dst, bytes(8, '!'));
    // Nothing at all is a valid, empty source: not VKT2, and compressed, a bare header.
    EXPECT_EQ(vkt2_test(nullptr, 0, &v), VKT2_ERROR_NOT_VKT2);
    EXPECT_EQ(v.verdict, VKT2_VERDICT_FAIL);
    EXPECT_EQ(vkt2_compress(nullptr, 0, dst.data(), dst.size(), &size), VKT2_OK);
    EXPECT_EQ(dst, bytes({'V', 'K', 'T', '2', 0, 0, 0, 0}));
}

TEST(CInterface, VersionsAgree) {
    EXPECT_STREQ(vkt2_version_string(), VKT2_VERSION_STRING);
    EXPECT_EQ(vkt2_version_number(),
              10000u * VKT2_VERSION_MAJOR + 100u * VKT2_VERSION_MINOR + VKT2_VERSION_PATCH);
    EXPECT_EQ(std::to_string(VKT2_VERSION_MAJOR) + "." + std::to_string(VKT2_VERSION_MINOR) + "." +
                  std::to_string(VKT2_VERSION_PATCH),
              VKT2_VERSION_STRING);
}

TEST(WholeFile, DecodesToAcceptsOnlyAnExactSoundFile) {
    const bytes data(300, 'q');
    const bytes file = vkt2::compress(data).bytes;
    bytes scratch(300);
    EXPECT_TRUE(vkt2::decodes_to(file, data, scratch));
    bytes other = data;
    other[299] = 'r';
    EXPECT_FALSE(vkt2::decodes_to(file, other, scratch));
    bytes padded = file;
    padded.push_back(0);  // unused byte: not what compress writes
    EXPECT_FALSE(vkt2::decodes_to(padded, data, scratch));
    EXPECT_FALSE(vkt2::decodes_to(bytes(file.begin(), file.end() - 1), data, scratch));
    EXPECT_FALSE(vkt2::decodes_to(file, data, std::span(scratch).first(299)));
}

}  // namespace

namespace {

// An older caller's smaller verdict gets only the fields it holds; a size below the first
// three fields is refused and nothing is written.
TEST(CInterface, TestFillsOnlyWhatStructSizeHolds) {
    const bytes file = image(5, {0x1F, 'a', 'b'});  // cut short
    constexpr std::size_t unset = 777;
    struct {
        vkt2_verdict v;
        std::size_t after;
    } big;
    for (std::size_t fields = 0; fields <= 8; ++fields) {  // 8: a size too small
        SCOPED_TRACE(fields);
        big.v = {0, -1, -1, unset, unset, unset, unset, unset, unset};
        big.after = unset;
        const std::size_t size = offsetof(vkt2_verdict, file_size) + fields * sizeof(std::size_t);
        big.v.struct_size = fields == 8 ? VKT2_VERDICT_MIN_SIZE - 1
                                        : size + (fields < 7 ? sizeof(std::size_t) - 1 : 8);
        const int code = fields == 8 ? VKT2_ERROR_INVALID_ARGUMENT : VKT2_ERROR_CUT_SHORT;
        EXPECT_EQ(vkt2_test(file.data(), file.size(), &big.v), code);
        EXPECT_EQ(big.v.error, fields == 8 ? -1 : code);
        const std::size_t got[] = {big.v.file_size,     big.v.decoded_size, big.v.stream_used,
                                   big.v.bytes_missing, big.v.bytes_unused, big.v.bytes_ignored};
        const std::size_t want[] = {file.size(), 5, 6, 3, 0, 0};
        for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(got[i], i < fields % 8 ? want[i] : unset);
        EXPECT_EQ(big.after, unset);
    }
}

// The words, as snprintf sizes and cuts them; the failures begin with their code's name.
TEST(CInterface, VerdictTextWordsEachVerdictLikeSnprintf) {
    auto words = [](const bytes& file) {
        vkt2_verdict v{};
        v.struct_size = sizeof v;
        const int code = vkt2_test(file.data(), file.size(), &v);
        std::string text(vkt2_verdict_text(&v, nullptr, 0), '?');
        EXPECT_EQ(vkt2_verdict_text(&v, text.data(), text.size() + 1), text.size());
        EXPECT_EQ(text.rfind(vkt2_error_name(code), 0), code ? 0u : std::string::npos) << text;
        EXPECT_EQ(vkt2::text(vkt2::test(file)), text);
        return text;
    };
    bytes longer = image(3, {0x07, 'a', 'b', 'c', 9});
    longer.resize(70000, 0);
    EXPECT_EQ(words(image(3, {0x07, 'a', 'b', 'c'})), "");
    EXPECT_EQ(words(longer),
              "warning: longer than 65,536 bytes; the rest is never read\n"
              "warning: 65524 unused bytes after the end of the stream");
    EXPECT_EQ(words({'V', 'K', 'T', '3'}), "not a VKT2 file");
    EXPECT_EQ(words({'V', 'K', 'T', '2', 1}), "cut short: the file ends inside its 8-byte header");
    const std::string cut = "cut short: the file ends before its stream does; the last ";
    EXPECT_EQ(words(image(9, {0x01, 'a', 0x00})), cut + "8 of its 9 decoded bytes are missing");
    EXPECT_EQ(words(literal_image(58248)),
              "the stream needs bytes past the first 65,536; it cannot be decoded");
    std::set<std::string> names;  // one name per code
    for (int code = 0; code <= 9; ++code) names.insert(vkt2_error_name(code));
    EXPECT_EQ(names.size(), 10u);

    vkt2_verdict v{};
    v.struct_size = sizeof v;
    vkt2_test("VKT3", 4, &v);
    char buf[100] = "#######";
    EXPECT_EQ(vkt2_verdict_text(&v, buf, 5), 15u);
    EXPECT_EQ(std::string(buf, 7), std::string("not \0##", 7));
    EXPECT_EQ(vkt2_verdict_text(&v, buf, 0), 15u);
    EXPECT_EQ(buf[0], 'n');
    // A smaller verdict reads as having no counts; a bad one words as nothing.
    vkt2_test(image(5, {0x1F, 'a', 'b'}).data(), 11, &v);
    v.struct_size = offsetof(vkt2_verdict, bytes_missing);
    vkt2_verdict_text(&v, buf, sizeof buf);
    EXPECT_EQ(buf, cut + "0 of its 5 decoded bytes are missing");
    v.struct_size = 1;
    EXPECT_EQ(vkt2_verdict_text(&v, buf, sizeof buf) + vkt2_verdict_text(nullptr, buf, 9), 0u);
    EXPECT_STREQ(buf, "");
}

// Strict by default, zero fill on request, and what each output holds on each refusal.
TEST(CInterface, DecompressExDecodesCutShortFilesOnlyOnRequest) {
    const bytes cut = image(6, {0x3F, 'a', 'b'});
    bytes dst(8, '!');
    std::size_t size = 0;
    auto ex = [&](const void* f, std::size_t n, std::size_t room, unsigned flags) {
        return vkt2_decompress_ex(f, n, dst.data(), room, &size, flags);
    };
    EXPECT_EQ(ex(cut.data(), cut.size(), 5, VKT2_ZERO_FILL), VKT2_ERROR_DST_TOO_SMALL);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(ex("VKT2\x03\x00", 6, 8, 0), VKT2_ERROR_HEADER_CUT_SHORT);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(dst, bytes(8, '!'));  // untouched by all three
    EXPECT_EQ(vkt2_decompress(cut.data(), cut.size(), dst.data(), 8, &size), VKT2_ERROR_CUT_SHORT);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(ex(cut.data(), cut.size(), 8, VKT2_ZERO_FILL), VKT2_OK);
    EXPECT_EQ(dst, (bytes{'a', 'b', 0, 0, 0, 0, '!', '!'}));
    EXPECT_EQ(ex("VKT2\x03\x00", 6, 8, VKT2_ZERO_FILL), VKT2_OK);
    EXPECT_EQ(dst, (bytes{0, 0, 0, 0, 0, 0, '!', '!'}));
}

}  // namespace
