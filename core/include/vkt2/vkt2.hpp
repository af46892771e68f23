// libvkt2, the C++ interface: whole VKT2 files in memory.
//
// VKT2 is the compressed-file format of old Windows programs: an 8-byte header ("VKT2" and the
// decoded size) and an LZSS token stream, decoding to at most 65,535 bytes. A file is read by
// the loader's rules, which every call here follows: only its first 65,536 bytes count, and a
// stream that runs past the file's end reads zero bytes there, so a file cut short still
// decodes, with zeros at the end. test() tells such files apart.
//
// Start with decompress() and compress(); decompress_into() decodes into a buffer of your own
// without allocating; test() gives a file's verdict. The container's parts (header, stream
// decoder, encoder) are in <vkt2/format.hpp>. The C interface is <vkt2/vkt2.h>.
//
// Every function keeps no state and may be called from any number of threads at once. Only
// decompress() and compress() allocate, and they alone can throw (std::bad_alloc). A source and
// a destination must never overlap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "vkt2/vkt2.h"

namespace vkt2 {

// The most bytes of a file that count, and the most a file decodes to.
inline constexpr std::size_t max_file_size = VKT2_MAX_FILE_SIZE;
inline constexpr std::size_t max_original_size = VKT2_MAX_ORIGINAL_SIZE;

enum class file_status {
    ok,
    not_vkt2,           // the file does not start with "VKT2"
    stream_past_limit,  // its stream needs bytes past the first max_file_size
    too_large,          // compress: over max_original_size bytes, or over max_file_size packed
    dst_too_small,      // decompress_into: the destination cannot hold the decoded size
    header_cut_short,   // test: the file ends inside its 8-byte header
    cut_short,          // test: the file ends before its stream does
};

struct file_result {
    file_status status;
    std::vector<std::uint8_t> bytes;  // the decoded bytes or the file image; empty unless ok

    explicit operator bool() const { return status == file_status::ok; }
};

struct decoded {
    file_status status;  // ok, not_vkt2, stream_past_limit or dst_too_small
    std::size_t size;    // the decoded size from the header (0 for not_vkt2)
};

// Decodes `file` by the loader's rules into dst[0..size), `size` being the decoded size the
// header states. On dst_too_small, `size` is the room needed and dst is untouched, as it is on
// not_vkt2; on stream_past_limit, dst[0..size) is unspecified. `file` and `dst` must not
// overlap. Allocates nothing.
VKT2_API decoded decompress_into(std::span<const std::uint8_t> file,
                                 std::span<std::uint8_t> dst) noexcept;

// decompress_into() into a new vector of the decoded size; `bytes` is empty unless ok. Allocates
// that vector only, and throws std::bad_alloc when it cannot.
VKT2_API file_result decompress(std::span<const std::uint8_t> file);

// The whole VKT2 file for `data`: the header, then the shortest token stream; `bytes` is empty
// unless ok. Data over max_original_size bytes, or that does not fit in max_file_size bytes, is
// too_large. Allocates the encoder's work space for the call (up to about 360 KiB at once for
// 65,535 bytes) and the file; throws std::bad_alloc when it cannot.
VKT2_API file_result compress(std::span<const std::uint8_t> data);

// The decoded size from the header alone: nothing unless `file` starts with "VKT2". Header bytes
// past the end of `file` read as zero. Allocates nothing.
VKT2_API std::optional<std::size_t> decoded_size(std::span<const std::uint8_t> file) noexcept;

enum class grade { pass, warn, fail };

// What test() found. The counts are 0 where they do not apply.
struct verdict {
    grade result;
    file_status failure;        // ok unless result is fail: not_vkt2, header_cut_short,
                                // cut_short or stream_past_limit
    std::size_t file_size;      // all of the file's bytes
    std::size_t decoded_size;   // from the header, its missing bytes read as zero
    std::size_t stream_used;    // stream bytes the decoder reads, zeros past the end included
    std::size_t bytes_missing;  // cut_short: how far the stream runs past the end of the file
    std::size_t bytes_unused;   // warn: bytes after the end of the stream, within the limit
    std::size_t bytes_ignored;  // warn: bytes past the first max_file_size, never read
};

// The verdict on `file`: pass, pass with warnings (bytes never read), or fail. A file that
// fails with header_cut_short or cut_short still decodes by the loader's rules, zeros at the
// end. The format has no checksum: damage inside a stream that still decodes to the stated size
// goes unseen, except through bytes_unused. Allocates nothing.
VKT2_API verdict test(std::span<const std::uint8_t> file) noexcept;

// True when `file` passes test() without warnings and decodes to exactly `data`: the check to
// make before a compressed file replaces its original. `scratch` is where it decodes, at least
// data.size() bytes overlapping neither input; its contents afterwards are unspecified (false
// if it is too small). Allocates nothing.
VKT2_API bool decodes_to(std::span<const std::uint8_t> file, std::span<const std::uint8_t> data,
                         std::span<std::uint8_t> scratch) noexcept;

}  // namespace vkt2
