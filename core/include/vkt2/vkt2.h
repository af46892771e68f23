/* libvkt2, the C interface: whole VKT2 files in memory, for C and for other languages'
   foreign-function calls.

   VKT2 is the compressed-file format of old Windows programs: an 8-byte header ("VKT2", the
   decoded size as a little-endian 16-bit number, two unused bytes) and an LZSS token stream
   over a 4,096-byte window, decoding to at most 65,535 bytes. Files are read by the loader's
   rules: only the first 65,536 bytes count, and a stream that runs past the end of the file
   reads zero bytes there, so a file cut short still decodes, with zeros at the end.

   Start with vkt2_decompress() and vkt2_compress(); vkt2_test() tells a sound file from one
   cut short or damaged, and vkt2_decoded_size() reads the header alone.

   Every function keeps no state and may be called from any number of threads at once. None
   throws, and only vkt2_compress() allocates. A source and a destination must never overlap.
   A pointer may be null only with a size of zero. */
#ifndef VKT2_VKT2_H
#define VKT2_VKT2_H

#include <stddef.h>

/* The library's version, here and nowhere else. */
#define VKT2_VERSION_MAJOR 0
#define VKT2_VERSION_MINOR 2
#define VKT2_VERSION_PATCH 0
#define VKT2_VERSION_STRING "0.2.0"
#define VKT2_VERSION_NUMBER \
    (VKT2_VERSION_MAJOR * 10000 + VKT2_VERSION_MINOR * 100 + VKT2_VERSION_PATCH)

/* Marks what the shared library exports; everything else in it is hidden. */
#ifndef VKT2_API
#if defined(_WIN32) && defined(VKT2_BUILDING_DLL)
#define VKT2_API __declspec(dllexport)
#elif defined(__GNUC__) && defined(VKT2_BUILDING_DLL)
#define VKT2_API __attribute__((visibility("default")))
#else
#define VKT2_API
#endif
#endif

#ifdef __cplusplus
#define VKT2_INTERNAL_NOEXCEPT noexcept
extern "C" {
#else
#define VKT2_INTERNAL_NOEXCEPT
#endif

/* Every function that can fail returns one of these; only VKT2_OK is zero. */
enum {
    VKT2_OK = 0,
    VKT2_ERROR_NOT_VKT2 = 1,          /* the data does not start with "VKT2" */
    VKT2_ERROR_STREAM_PAST_LIMIT = 2, /* its stream needs bytes past the first 65,536 */
    VKT2_ERROR_TOO_LARGE = 3,         /* over 65,535 bytes, or over 65,536 once compressed */
    VKT2_ERROR_DST_TOO_SMALL = 4,     /* *dst_size holds the capacity needed */
    VKT2_ERROR_NO_MEMORY = 5,         /* compressing could not allocate its work space */
    VKT2_ERROR_INVALID_ARGUMENT = 6,  /* a null pointer with a nonzero size, or a null out */
    VKT2_ERROR_HEADER_CUT_SHORT = 7,  /* vkt2_test: the file ends inside its 8-byte header */
    VKT2_ERROR_CUT_SHORT = 8          /* vkt2_test: the file ends before its stream does */
};
/* The name of VKT2_ERROR_STREAM_PAST_LIMIT before version 0.2. */
#define VKT2_ERROR_TRUNCATED VKT2_ERROR_STREAM_PAST_LIMIT

/* The most bytes a file decodes to, and the most bytes of a file that count. */
#define VKT2_MAX_ORIGINAL_SIZE 65535
#define VKT2_MAX_FILE_SIZE 65536

/* The largest file vkt2_compress can write for n bytes (n up to 65,535), for static buffers. */
#define VKT2_COMPRESS_BOUND(n)                                           \
    ((size_t)(n) > VKT2_MAX_ORIGINAL_SIZE                                \
         ? (size_t)0                                                     \
         : (8 + (size_t)(n) + ((size_t)(n) + 7) / 8 > VKT2_MAX_FILE_SIZE \
                ? (size_t)VKT2_MAX_FILE_SIZE                             \
                : 8 + (size_t)(n) + ((size_t)(n) + 7) / 8))

/* Decodes the file src[0..src_size) by the loader's rules into dst, which must not overlap src.
   On VKT2_OK, dst[0..*dst_size) holds the decoded bytes (at most VKT2_MAX_ORIGINAL_SIZE). On
   VKT2_ERROR_DST_TOO_SMALL, *dst_size is the capacity needed; on VKT2_ERROR_STREAM_PAST_LIMIT,
   *dst_size is the decoded size the header states and dst[0..*dst_size) is unspecified. Every
   other error leaves dst and *dst_size untouched. Allocates nothing. */
VKT2_API int vkt2_decompress(const void* src, size_t src_size, void* dst, size_t dst_capacity,
                             size_t* dst_size) VKT2_INTERNAL_NOEXCEPT;

/* Writes the whole VKT2 file for src[0..src_size) into dst, which must not overlap src: the
   header, then the shortest token stream. On VKT2_OK, dst[0..*dst_size) holds it; on
   VKT2_ERROR_DST_TOO_SMALL, *dst_size is the capacity needed. A dst of
   vkt2_compress_bound(src_size) bytes is always large enough. Every error leaves dst untouched,
   and all but VKT2_ERROR_DST_TOO_SMALL leave *dst_size untouched too. Allocates the encoder's
   work space for the call: up to about 360 KiB at once for 65,535 bytes, about 100 KiB for a
   few thousand; VKT2_ERROR_NO_MEMORY when it cannot. */
VKT2_API int vkt2_compress(const void* src, size_t src_size, void* dst, size_t dst_capacity,
                           size_t* dst_size) VKT2_INTERNAL_NOEXCEPT;

/* VKT2_COMPRESS_BOUND(src_size): 0 when src_size is over VKT2_MAX_ORIGINAL_SIZE. */
VKT2_API size_t vkt2_compress_bound(size_t src_size) VKT2_INTERNAL_NOEXCEPT;

/* Sets *out to the decoded size that the header of src[0..src_size) states, header bytes past
   the end reading as zero, without looking at the stream. VKT2_ERROR_NOT_VKT2 when src does not
   start with "VKT2"; *out is untouched on any error. Allocates nothing. */
VKT2_API int vkt2_decoded_size(const void* src, size_t src_size,
                               size_t* out) VKT2_INTERNAL_NOEXCEPT;

/* The three verdicts of vkt2_test. */
enum { VKT2_VERDICT_PASS = 0, VKT2_VERDICT_WARN = 1, VKT2_VERDICT_FAIL = 2 };

/* What vkt2_test found; counts are 0 where they do not apply. */
struct vkt2_verdict {
    int verdict;          /* VKT2_VERDICT_PASS, _WARN (it passes, with bytes never read) or _FAIL */
    int error;            /* VKT2_OK, or why it fails: VKT2_ERROR_NOT_VKT2, _HEADER_CUT_SHORT,
                             _CUT_SHORT or _STREAM_PAST_LIMIT */
    size_t file_size;     /* src_size */
    size_t decoded_size;  /* from the header, its missing bytes read as zero */
    size_t stream_used;   /* stream bytes the decoder reads, zeros past the end included */
    size_t bytes_missing; /* _CUT_SHORT: how far the stream runs past the end of the file */
    size_t bytes_unused;  /* warning: bytes after the end of the stream, within the 65,536 */
    size_t bytes_ignored; /* warning: bytes past the first 65,536, never read */
};

/* Tests the file src[0..src_size) and fills *out whether it passes or fails. Returns VKT2_OK
   when the file passes, warnings included, and the failure's code otherwise (out->error). Only
   VKT2_ERROR_INVALID_ARGUMENT (a null out, or a null src with a nonzero size) leaves *out
   untouched. A file that fails as cut short (header or stream) still decodes with
   vkt2_decompress, zeros at the end. The format has no checksum: damage inside a stream that
   still decodes to the stated size goes unseen, except through bytes_unused. Walks the stream
   without decoding it, and allocates nothing. */
VKT2_API int vkt2_test(const void* src, size_t src_size,
                       struct vkt2_verdict* out) VKT2_INTERNAL_NOEXCEPT;

/* A short English description of an error code, never null: a static string, not to be
   freed. */
VKT2_API const char* vkt2_error_name(int code) VKT2_INTERNAL_NOEXCEPT;

/* The library's version at run time, which may differ from the header's. */
VKT2_API const char* vkt2_version_string(void) VKT2_INTERNAL_NOEXCEPT;
VKT2_API unsigned vkt2_version_number(void) VKT2_INTERNAL_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#undef VKT2_INTERNAL_NOEXCEPT

#endif /* VKT2_VKT2_H */
