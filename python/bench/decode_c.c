/* The C side of bench.py: times vkt2_decompress on one file, the same bytes Python decodes.
   Usage: decode_c FILE ROUNDS; prints the best of ROUNDS, in nanoseconds per call. */
#define _POSIX_C_SOURCE 199309L
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "vkt2/vkt2.h"

static double now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e9 + (double)t.tv_nsec;
}

int main(int argc, char** argv) {
    static unsigned char file[VKT2_MAX_FILE_SIZE], out[VKT2_MAX_ORIGINAL_SIZE];
    FILE* f = argc == 3 ? fopen(argv[1], "rb") : NULL;
    if (!f) return 2;
    size_t size = fread(file, 1, sizeof file, f), written = 0;
    fclose(f);
    int rounds = atoi(argv[2]);
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        enum { calls = 50 };
        double start = now_ns();
        for (int i = 0; i < calls; ++i)
            if (vkt2_decompress(file, size, out, sizeof out, &written) != VKT2_OK) return 1;
        double each = (now_ns() - start) / calls;
        if (each < best) best = each;
    }
    printf("%.0f\n", best);
    return 0;
}
