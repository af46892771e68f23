// libvkt2, the C++ interface: whole VKT2 files in memory, as inline calls of the C interface
// <vkt2/vkt2.h>, so a program built with any C++20 compiler and standard library can use the
// shared library.
//
// VKT2 is the compressed-file format of old Windows programs: an 8-byte header ("VKT2" and the
// decoded size) and an LZSS token stream, decoding to at most 65,535 bytes. Only a file's first
// 65,536 bytes count. decompress() refuses a file that test() fails; with decoding::zero_fill
// it decodes a file cut short as the loader does, zero bytes read past the file's end.
//
// Start with decompress() and compress(); decompress_into() decodes into a buffer of your own
// without allocating; test() gives a file's verdict and text() its words.
//
// Every function keeps no state and may be called from any number of threads at once. Only
// decompress(), compress() and text() allocate, and they alone can throw (std::bad_alloc). A
// source and a destination must never overlap.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vkt2/vkt2.h"

namespace vkt2 {

// The most bytes of a file that count, and the most a file decodes to.
inline constexpr std::size_t max_file_size = VKT2_MAX_FILE_SIZE;
inline constexpr std::size_t max_original_size = VKT2_MAX_ORIGINAL_SIZE;

// The C interface's codes, one to one.
enum class file_status {
    ok = VKT2_OK,
    not_vkt2 = VKT2_ERROR_NOT_VKT2,                    // does not start with "VKT2"
    stream_past_limit = VKT2_ERROR_STREAM_PAST_LIMIT,  // needs bytes past the first 65,536
    too_large = VKT2_ERROR_TOO_LARGE,  // compress: over max_original_size, or max_file_size packed
    dst_too_small = VKT2_ERROR_DST_TOO_SMALL,        // the destination cannot hold the result
    no_memory = VKT2_ERROR_NO_MEMORY,                // never returned: thrown as std::bad_alloc
    invalid_argument = VKT2_ERROR_INVALID_ARGUMENT,  // spans that overlap
    header_cut_short = VKT2_ERROR_HEADER_CUT_SHORT,  // the file ends inside its 8-byte header
    cut_short = VKT2_ERROR_CUT_SHORT,                // the file ends before its stream does
};

// How decompress() and decompress_into() treat a file cut short.
enum class decoding : unsigned {
    strict = 0,                  // refused, as test() fails it
    zero_fill = VKT2_ZERO_FILL,  // decoded as the loader does, zeros past its end
};

// The C interface's words for a code: for a failure of test(), how text() begins.
inline const char* name(file_status status) noexcept {
    return vkt2_error_name(static_cast<int>(status));
}

struct file_result {
    file_status status;
    std::vector<std::uint8_t> bytes;  // the decoded bytes or the file image; empty unless ok

    explicit operator bool() const { return status == file_status::ok; }
};

struct decoded {
    file_status status;  // ok, or a failure of test() (strict), or dst_too_small
    std::size_t size;    // the decoded size from the header (0 for not_vkt2)
};

// Decodes `file` into dst[0..size), `size` being the decoded size the header states, refusing
// what test() fails unless `how` is zero_fill (then only stream_past_limit still refuses). On
// dst_too_small, `size` is the room needed and dst is untouched, as it is on not_vkt2 and
// header_cut_short; on cut_short and stream_past_limit, dst[0..size) is unspecified. `file`
// and `dst` must not overlap. Allocates nothing.
inline decoded decompress_into(std::span<const std::uint8_t> file, std::span<std::uint8_t> dst,
                               decoding how = decoding::strict) noexcept {
    std::size_t size = 0;
    const int code = vkt2_decompress_ex(file.data(), file.size(), dst.data(), dst.size(), &size,
                                        static_cast<unsigned>(how));
    return {static_cast<file_status>(code), size};
}

// The decoded size from the header alone: nothing unless `file` starts with "VKT2". Header bytes
// past the end of `file` read as zero. Allocates nothing.
inline std::optional<std::size_t> decoded_size(std::span<const std::uint8_t> file) noexcept {
    std::size_t size = 0;
    if (vkt2_decoded_size(file.data(), file.size(), &size) != VKT2_OK) return std::nullopt;
    return size;
}

// decompress_into() into a new vector of the decoded size; `bytes` is empty unless ok. Allocates
// that vector only, and throws std::bad_alloc when it cannot.
inline file_result decompress(std::span<const std::uint8_t> file, decoding how = decoding::strict) {
    const auto size = decoded_size(file);
    if (!size) return {file_status::not_vkt2, {}};
    std::vector<std::uint8_t> out(*size);
    const decoded result = decompress_into(file, out, how);
    if (result.status != file_status::ok) return {result.status, {}};
    return {file_status::ok, std::move(out)};
}

// The whole VKT2 file for `data`: the header, then the shortest token stream; `bytes` is empty
// unless ok. Data over max_original_size bytes, or that does not fit in max_file_size bytes, is
// too_large. Allocates the encoder's work space for the call (up to about 360 KiB at once for
// 65,535 bytes) and the file; throws std::bad_alloc when it cannot.
inline file_result compress(std::span<const std::uint8_t> data) {
    if (data.size() > max_original_size) return {file_status::too_large, {}};
    std::vector<std::uint8_t> file(vkt2_compress_bound(data.size()));
    std::size_t size = 0;
    const int code = vkt2_compress(data.data(), data.size(), file.data(), file.size(), &size);
    if (code == VKT2_ERROR_NO_MEMORY) throw std::bad_alloc();
    if (code != VKT2_OK) return {static_cast<file_status>(code), {}};
    file.resize(size);
    return {file_status::ok, std::move(file)};
}

enum class grade { pass = VKT2_VERDICT_PASS, warn = VKT2_VERDICT_WARN, fail = VKT2_VERDICT_FAIL };

// What test() found. The counts are 0 where they do not apply.
struct verdict {
    grade result;
    file_status failure;        // ok unless result is fail: not_vkt2, header_cut_short,
                                // cut_short or stream_past_limit
    std::size_t file_size;      // all of the file's bytes
    std::size_t decoded_size;   // from the header, its missing bytes read as zero
    std::size_t stream_used;    // stream bytes the decoder reads, zeros past the end included
    std::size_t bytes_missing;  // cut_short: the decoded bytes the file lacks, the last ones
    std::size_t bytes_unused;   // warn: bytes after the end of the stream, within the limit
    std::size_t bytes_ignored;  // warn: bytes past the first max_file_size, never read
};

// The verdict on `file`: pass, pass with warnings (bytes never read), or fail. A file that
// fails with header_cut_short or cut_short still decodes with decoding::zero_fill. The format
// has no checksum: damage inside a stream that still decodes to the stated size goes unseen,
// except through bytes_unused. Allocates nothing.
inline verdict test(std::span<const std::uint8_t> file) noexcept {
    vkt2_verdict v{};
    v.struct_size = sizeof v;
    vkt2_test(file.data(), file.size(), &v);
    return {static_cast<grade>(v.verdict),
            static_cast<file_status>(v.error),
            v.file_size,
            v.decoded_size,
            v.stream_used,
            v.bytes_missing,
            v.bytes_unused,
            v.bytes_ignored};
}

// The verdict in words, as `vkt2 t` prints it after "vkt2: NAME: ": one line for a failure, a
// line per warning ("warning: ...", joined by '\n'), nothing for a clean pass.
inline std::string text(const verdict& found) {
    const vkt2_verdict v{sizeof v,
                         static_cast<int>(found.result),
                         static_cast<int>(found.failure),
                         found.file_size,
                         found.decoded_size,
                         found.stream_used,
                         found.bytes_missing,
                         found.bytes_unused,
                         found.bytes_ignored};
    std::string words(vkt2_verdict_text(&v, nullptr, 0), '\0');
    vkt2_verdict_text(&v, words.data(), words.size() + 1);
    return words;
}

// True when `file` passes test() without warnings and decodes to exactly `data`: the check to
// make before a compressed file replaces its original. `scratch` is where it decodes, at least
// data.size() bytes overlapping neither input; its contents afterwards are unspecified (false
// if it is too small). Allocates nothing.
inline bool decodes_to(std::span<const std::uint8_t> file, std::span<const std::uint8_t> data,
                       std::span<std::uint8_t> scratch) noexcept {
    if (scratch.size() < data.size() || test(file).result != grade::pass) return false;
    const decoded result = decompress_into(file, scratch.first(data.size()));
    return result.status == file_status::ok && result.size == data.size() &&
           std::equal(data.begin(), data.end(), scratch.begin());
}

}  // namespace vkt2
