/* Times vkt2_decompress, and vkt2_test then vkt2_decompress, on each file named, for comparison
   with the WebAssembly build: prints "name ns-per-decode ns-per-test-and-decode" per file, each
   the median of many short rounds of CPU time, so that other work on a shared machine moves it
   little. A round decodes about 3 MB whatever the file's size. */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "vkt2/vkt2.h"

enum { ROUNDS = 41 };
static unsigned char file[VKT2_MAX_FILE_SIZE], out[VKT2_MAX_ORIGINAL_SIZE];

static double now(void) {
    struct timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static int by_value(const void* a, const void* b) {
    double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static double median(size_t n, int with_test) {
    double each[ROUNDS];
    size_t got = 0;
    struct vkt2_verdict v = {0};
    v.struct_size = sizeof v; /* vkt2_test refuses a verdict whose size it is not told */
    const int reps = (int)(50 * 65536 / (n < 64 ? 64 : n));
    for (int round = 0; round < ROUNDS; round++) {
        double start = now();
        for (int r = 0; r < reps; r++) {
            if (with_test && vkt2_test(file, n, &v) != VKT2_OK) return -1;
            if (vkt2_decompress(file, n, out, sizeof out, &got) != VKT2_OK) return -1;
        }
        each[round] = (now() - start) / reps;
    }
    qsort(each, ROUNDS, sizeof each[0], by_value);
    return each[ROUNDS / 2] * 1e9;
}

int main(int argc, char** argv) {
    for (int i = 1; i < argc; i++) {
        FILE* f = fopen(argv[i], "rb");
        if (!f) return perror(argv[i]), 1;
        size_t n = fread(file, 1, sizeof file, f);
        fclose(f);
        printf("%s %.0f %.0f\n", argv[i], median(n, 0), median(n, 1));
    }
    return 0;
}
