/* vkt2_pack: compresses standard input into a VKT2 file on standard output, then checks that
   the file passes the tester and decodes back to the input. */
#include <stdio.h>
#include <string.h>

#include <vkt2/vkt2.h>

int main(void) {
    static unsigned char data[VKT2_MAX_ORIGINAL_SIZE + 1];
    static unsigned char file[VKT2_COMPRESS_BOUND(VKT2_MAX_ORIGINAL_SIZE)];
    static unsigned char back[VKT2_MAX_ORIGINAL_SIZE];
    size_t size = fread(data, 1, sizeof data, stdin);
    size_t file_size = 0, back_size = 0;
    struct vkt2_verdict verdict = {0};
    int rc;
    verdict.struct_size = sizeof verdict;
    rc = vkt2_compress(data, size, file, sizeof file, &file_size);
    if (rc == VKT2_OK) rc = vkt2_test(file, file_size, &verdict);
    if (rc == VKT2_OK) rc = vkt2_decompress(file, file_size, back, sizeof back, &back_size);
    if (rc != VKT2_OK) {
        fprintf(stderr, "vkt2_pack: %s\n", vkt2_error_name(rc));
        return 1;
    }
    if (verdict.verdict != VKT2_VERDICT_PASS || back_size != size || memcmp(back, data, size)) {
        fprintf(stderr, "vkt2_pack: the file does not decode back to the input\n");
        return 1;
    }
    fprintf(stderr, "libvkt2 %s: %lu bytes into %lu\n", vkt2_version_string(), (unsigned long)size,
            (unsigned long)file_size);
    return fwrite(file, 1, file_size, stdout) == file_size && fflush(stdout) == 0 ? 0 : 1;
}
