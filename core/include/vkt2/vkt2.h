/* libvkt2, the C interface: whole VKT2 files in memory, for C and for other languages'
   foreign-function calls.

   VKT2 is the compressed-file format of old Windows programs: an 8-byte header ("VKT2", the
   decoded size as a little-endian 16-bit number, two unused bytes) and an LZSS token stream
   over a 4,096-byte window, decoding to at most 65,535 bytes. Only a file's first 65,536 bytes
   count. The loader that reads them lets a stream run past the end of the file, reading zero
   bytes there, so that a file cut short still decodes, with made-up bytes at the end.

   Start with vkt2_decompress() and vkt2_compress(); vkt2_test() tells a sound file from one
   cut short or damaged and vkt2_verdict_text() words its verdict; vkt2_decoded_size() reads
   the header alone. vkt2_decompress() refuses what vkt2_test() fails; vkt2_decompress_ex()
   with VKT2_ZERO_FILL decodes a file cut short as the loader does.

   The shared library (libvkt2.so.1) exports these C functions alone; within a major version,
   functions and fields are only ever added.

   Every function keeps no state and may be called from any number of threads at once. None
   throws, and only vkt2_compress() allocates. A source and a destination must never overlap:
   vkt2_decompress() and vkt2_compress() refuse, with VKT2_ERROR_INVALID_ARGUMENT, to write over
   what they read. A pointer may be null only with a size of zero. */
#ifndef VKT2_VKT2_H
#define VKT2_VKT2_H

#include <stddef.h>

/* The library's version, here and nowhere else. */
#define VKT2_VERSION_MAJOR 1
#define VKT2_VERSION_MINOR 0
#define VKT2_VERSION_PATCH 0
#define VKT2_VERSION_STRING "1.0.0"
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
/* noexcept is C++11's; a C++98 program sees the same functions without it. */
#if __cplusplus >= 201103L || (defined(_MSVC_LANG) && _MSVC_LANG >= 201103L)
#define VKT2_INTERNAL_NOEXCEPT noexcept
#else
#define VKT2_INTERNAL_NOEXCEPT throw()
#endif
extern "C" {
#else
#define VKT2_INTERNAL_NOEXCEPT
#endif

/* Every function that can fail returns one of these; only VKT2_OK is zero. vkt2_error_name()
   words each; for the failures of vkt2_test() (VKT2_ERROR_NOT_VKT2, _STREAM_PAST_LIMIT,
   _HEADER_CUT_SHORT and _CUT_SHORT), exactly as vkt2_verdict_text() and `vkt2 t` begin. */
enum {
    VKT2_OK = 0,
    VKT2_ERROR_NOT_VKT2 = 1,          /* the data does not start with "VKT2" */
    VKT2_ERROR_STREAM_PAST_LIMIT = 2, /* its stream needs bytes past the first 65,536 */
    VKT2_ERROR_TOO_LARGE = 3,         /* over 65,535 bytes, or over 65,536 once compressed */
    VKT2_ERROR_DST_TOO_SMALL = 4,     /* *dst_size holds the capacity needed */
    VKT2_ERROR_NO_MEMORY = 5,         /* compressing could not allocate its work space */
    VKT2_ERROR_INVALID_ARGUMENT = 6,  /* a null pointer with a nonzero size, a null out, an
                                         unknown flag, a struct_size too small, or a source
                                         and a destination that overlap */
    VKT2_ERROR_HEADER_CUT_SHORT = 7,  /* the file ends inside its 8-byte header */
    VKT2_ERROR_CUT_SHORT = 8          /* the file ends before its stream does */
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

/* vkt2_decompress_ex flag: decode a file cut short (in its header or its stream) by the
   loader's rules, the missing bytes reading as zero, as vkt2x does. */
#define VKT2_ZERO_FILL 1u

/* Decodes the file src[0..src_size) into dst, which must not overlap src, refusing any file
   that vkt2_test() fails, with that failure's code. Only the first VKT2_MAX_FILE_SIZE bytes of
   src are read, so a longer file decodes (vkt2_test warns of it). Allocates nothing.
   - VKT2_OK: dst[0..*dst_size) holds the decoded bytes (at most VKT2_MAX_ORIGINAL_SIZE); the
     rest of dst is untouched.
   - VKT2_ERROR_DST_TOO_SMALL: *dst_size is the capacity needed; dst is untouched. A file that
     has its stream cut short says so only once given the room.
   - VKT2_ERROR_HEADER_CUT_SHORT: *dst_size is the size the header states, its missing bytes
     read as zero; dst is untouched.
   - VKT2_ERROR_CUT_SHORT, VKT2_ERROR_STREAM_PAST_LIMIT: *dst_size is the size the header
     states; dst[0..*dst_size) has been written and holds nothing to rely on.
   - VKT2_ERROR_NOT_VKT2, VKT2_ERROR_INVALID_ARGUMENT: dst and *dst_size are untouched. */
VKT2_API int vkt2_decompress(const void* src, size_t src_size, void* dst, size_t dst_capacity,
                             size_t* dst_size) VKT2_INTERNAL_NOEXCEPT;

/* vkt2_decompress() with flags: 0 for the same strict decoding, or VKT2_ZERO_FILL to decode a
   file cut short as vkt2x does, zeros past its end; such a file then gives VKT2_OK, and only
   VKT2_ERROR_STREAM_PAST_LIMIT still refuses a VKT2 file. Any other flag bit is
   VKT2_ERROR_INVALID_ARGUMENT. Outputs as for vkt2_decompress(). */
VKT2_API int vkt2_decompress_ex(const void* src, size_t src_size, void* dst, size_t dst_capacity,
                                size_t* dst_size, unsigned flags) VKT2_INTERNAL_NOEXCEPT;

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

/* What vkt2_test found; counts are 0 where they do not apply. Later versions may add fields at
   the end, never move or remove one: set struct_size to sizeof(struct vkt2_verdict) and the
   library fills only the fields that size holds, e.g.
       struct vkt2_verdict v = {0};
       v.struct_size = sizeof v;
       vkt2_test(src, src_size, &v); */
struct vkt2_verdict {
    size_t struct_size;   /* set by the caller: at least VKT2_VERDICT_MIN_SIZE */
    int verdict;          /* VKT2_VERDICT_PASS, _WARN (it passes, with bytes never read) or _FAIL */
    int error;            /* VKT2_OK, or why it fails: VKT2_ERROR_NOT_VKT2, _HEADER_CUT_SHORT,
                             _CUT_SHORT or _STREAM_PAST_LIMIT */
    size_t file_size;     /* src_size */
    size_t decoded_size;  /* from the header, its missing bytes read as zero */
    size_t stream_used;   /* stream bytes the decoder reads, zeros past the end included */
    size_t bytes_missing; /* _CUT_SHORT: the decoded bytes the file lacks, the last of
                             decoded_size (decoding with VKT2_ZERO_FILL makes them up) */
    size_t bytes_unused;  /* warning: bytes after the end of the stream, within the 65,536 */
    size_t bytes_ignored; /* warning: bytes past the first 65,536, never read */
};
/* The smallest struct_size taken: struct_size, verdict and error. */
#define VKT2_VERDICT_MIN_SIZE (offsetof(struct vkt2_verdict, error) + sizeof(int))

/* Tests the file src[0..src_size) and fills *out whether it passes or fails: the fields that
   lie wholly within out->struct_size bytes, leaving any others as they are. Returns VKT2_OK when
   the file passes, warnings included, and the failure's code otherwise (out->error). Only
   VKT2_ERROR_INVALID_ARGUMENT (a null out, a struct_size below VKT2_VERDICT_MIN_SIZE, or a null
   src with a nonzero size) leaves *out untouched. A file that fails as cut short (header or
   stream) still decodes with VKT2_ZERO_FILL. The format has no checksum: damage inside a stream
   that still decodes to the stated size goes unseen, except through bytes_unused. Reads only
   the first VKT2_MAX_FILE_SIZE bytes of src, so a caller may give a longer file's whole size
   with just those bytes in memory. Walks the stream without decoding it, and allocates
   nothing. */
VKT2_API int vkt2_test(const void* src, size_t src_size,
                       struct vkt2_verdict* out) VKT2_INTERNAL_NOEXCEPT;

/* Words the verdict *v in English, as `vkt2 t` prints it after "vkt2: NAME: ": for a failure,
   one line; for a pass with warnings, one line per warning, each starting "warning: ", joined
   by '\n' with none after the last; for a clean pass, nothing. Like snprintf, writes at most
   cap - 1 bytes and a terminating NUL into buf (nothing when cap is 0; buf may then be null),
   and returns the length of the whole text, so a result of cap or more means it was cut: call
   again with that plus one. Reads only the fields within v->struct_size, others counting as 0;
   a null v or one with struct_size below VKT2_VERDICT_MIN_SIZE words as "". Allocates
   nothing. */
VKT2_API size_t vkt2_verdict_text(const struct vkt2_verdict* v, char* buf,
                                  size_t cap) VKT2_INTERNAL_NOEXCEPT;

/* A short English description of an error code, never null: a static string, not to be
   freed. For the failures of vkt2_test, the words vkt2_verdict_text() starts with. */
VKT2_API const char* vkt2_error_name(int code) VKT2_INTERNAL_NOEXCEPT;

/* The library's version at run time, which may differ from the header's. */
VKT2_API const char* vkt2_version_string(void) VKT2_INTERNAL_NOEXCEPT;
VKT2_API unsigned vkt2_version_number(void) VKT2_INTERNAL_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#undef VKT2_INTERNAL_NOEXCEPT

#endif /* VKT2_VKT2_H */
