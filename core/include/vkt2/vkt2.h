/* The C interface to the VKT2 library: whole files over caller-supplied buffers, for C and for
   other languages' foreign-function calls. No function throws, and decompressing allocates
   nothing. */
#ifndef VKT2_VKT2_H
#define VKT2_VKT2_H

#include <stddef.h>

#ifdef __cplusplus
#define VKT2_NOEXCEPT noexcept
extern "C" {
#else
#define VKT2_NOEXCEPT
#endif

/* Every function that can fail returns one of these; only VKT2_OK is zero. */
enum {
    VKT2_OK = 0,
    VKT2_ERROR_NOT_VKT2 = 1,        /* the image does not start with "VKT2" */
    VKT2_ERROR_TRUNCATED = 2,       /* its stream needs bytes past the first 65,536 */
    VKT2_ERROR_TOO_LARGE = 3,       /* over 65,535 bytes, or a compressed file over 65,536 */
    VKT2_ERROR_DST_TOO_SMALL = 4,   /* *dst_size holds the size needed */
    VKT2_ERROR_NO_MEMORY = 5,       /* compressing could not allocate its work space */
    VKT2_ERROR_INVALID_ARGUMENT = 6 /* a null pointer with a nonzero size, or a null dst_size */
};

/* The most bytes a file decodes to, and the most bytes of a file that count. */
#define VKT2_MAX_ORIGINAL_SIZE 65535
#define VKT2_MAX_FILE_SIZE 65536

/* Decodes the file image src[0..src_size) as the vkt2x tool does: only its first 65,536 bytes
   count and bytes past its end read as zero. On VKT2_OK, dst[0..*dst_size) holds the decoded
   bytes (never more than VKT2_MAX_ORIGINAL_SIZE). On VKT2_ERROR_DST_TOO_SMALL, *dst_size is
   the capacity needed. On any error dst's contents are unspecified. */
int vkt2_decompress(const void* src, size_t src_size, void* dst, size_t dst_capacity,
                    size_t* dst_size) VKT2_NOEXCEPT;

/* Writes the whole VKT2 file for src[0..src_size): header, then the shortest token stream. On
   VKT2_OK, dst[0..*dst_size) holds it; on VKT2_ERROR_DST_TOO_SMALL, *dst_size is the capacity
   needed. A dst of vkt2_compress_bound(src_size) bytes is always large enough. */
int vkt2_compress(const void* src, size_t src_size, void* dst, size_t dst_capacity,
                  size_t* dst_size) VKT2_NOEXCEPT;

/* The largest file vkt2_compress can write for src_size bytes (at most VKT2_MAX_FILE_SIZE),
   or 0 when src_size is over VKT2_MAX_ORIGINAL_SIZE. */
size_t vkt2_compress_bound(size_t src_size) VKT2_NOEXCEPT;

/* A short English description of an error code, never null. */
const char* vkt2_error_name(int code) VKT2_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* VKT2_VKT2_H */
