/* Times vkt2_decompress, and vkt2_test then vkt2_decompress, on each file named, for comparison
   with the WebAssembly build: prints "name ns-per-decode ns-per-test-and-decode" per file. The
   best of many short rounds, so that other work on the machine counts as little as it can. */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <time.h>

#include "vkt2/vkt2.h"

static unsigned char file[VKT2_MAX_FILE_SIZE], out[VKT2_MAX_ORIGINAL_SIZE];

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static double best(size_t n, int with_test) {
    double least = 1e9;
    size_t got = 0;
    struct vkt2_verdict v;
    for (int round = 0; round < 60; round++) {
        const int reps = 50;
        double start = now();
        for (int r = 0; r < reps; r++) {
            if (with_test && vkt2_test(file, n, &v) != VKT2_OK) return -1;
            if (vkt2_decompress(file, n, out, sizeof out, &got) != VKT2_OK) return -1;
        }
        double each = (now() - start) / reps;
        if (each < least) least = each;
    }
    return least * 1e9;
}

int main(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        FILE* f = fopen(argv[i], "rb");
        if (!f) return perror(argv[i]), 1;
        size_t n = fread(file, 1, sizeof file, f);
        fclose(f);
        printf("%s %.0f %.0f\n", argv[i], best(n, 0), best(n, 1));
    }
    return 0;
}
