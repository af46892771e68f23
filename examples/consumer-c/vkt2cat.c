/* vkt2cat: writes the decoded bytes of a VKT2 file to standard output, through the C interface.
   Build against an installed library:
     cc -std=c99 vkt2cat.c $(pkg-config --cflags --libs vkt2) -o vkt2cat */
#include <stdio.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <vkt2/vkt2.h>

int main(int argc, char** argv) {
    static unsigned char file[VKT2_MAX_FILE_SIZE];
    static unsigned char data[VKT2_MAX_ORIGINAL_SIZE];
    if (argc != 2) {
        fprintf(stderr, "usage: vkt2cat FILE\n");
        return 2;
    }
    FILE* in = fopen(argv[1], "rb");
    if (!in) {
        perror(argv[1]);
        return 1;
    }
    /* Only the first 65,536 bytes of a file count, as for vkt2x. */
    size_t file_size = fread(file, 1, sizeof file, in);
    int failed = ferror(in);
    fclose(in);
    if (failed) {
        fprintf(stderr, "%s: read error\n", argv[1]);
        return 1;
    }
    size_t size = 0;
    int rc = vkt2_decompress(file, file_size, data, sizeof data, &size);
    if (rc != VKT2_OK) {
        /* The library words why, as `vkt2 t` does. */
        struct vkt2_verdict verdict = {0};
        char why[256];
        verdict.struct_size = sizeof verdict;
        vkt2_test(file, file_size, &verdict);
        vkt2_verdict_text(&verdict, why, sizeof why);
        fprintf(stderr, "%s: %s\n", argv[1], why);
        return 1;
    }
#ifdef _WIN32
    /* A text-mode stream would turn each LF of the data into CR LF. */
    if (_setmode(_fileno(stdout), _O_BINARY) == -1) {
        perror("vkt2cat: standard output");
        return 1;
    }
#endif
    if (fwrite(data, 1, size, stdout) != size || fflush(stdout) != 0) {
        perror("vkt2cat: standard output");
        return 1;
    }
    return 0;
}
