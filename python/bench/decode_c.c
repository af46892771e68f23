/* The C side of bench.py, on the same bytes Python works on.
   decode_c FILE ROUNDS: the best of ROUNDS for vkt2_decompress of FILE, in ns per call.
   decode_c FILE ROUNDS THREADS: the best of ROUNDS for vkt2_compress of FILE's bytes from 1 or
   2 threads at once, in bytes per second in all: what the machine allows at that moment. */
#define _POSIX_C_SOURCE 199309L
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "vkt2/vkt2.h"

enum { decode_calls = 50, compress_calls = 10 };
static unsigned char input[VKT2_MAX_FILE_SIZE];
static size_t input_size;

struct worker {
    pthread_t thread;
    unsigned char out[VKT2_MAX_FILE_SIZE];
    int failed;
};

static double now_ns(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e9 + (double)t.tv_nsec;
}

static void* compress_all(void* arg) {
    struct worker* w = arg;
    size_t written = 0;
    for (int i = 0; i < compress_calls; ++i)
        if (vkt2_compress(input, input_size, w->out, sizeof w->out, &written) != VKT2_OK)
            w->failed = 1;
    return NULL;
}

/* Bytes per second over all threads. */
static double compress_rate(int threads) {
    static struct worker workers[2];
    double start = now_ns();
    for (int t = 0; t < threads; ++t)
        pthread_create(&workers[t].thread, NULL, compress_all, &workers[t]);
    for (int t = 0; t < threads; ++t) pthread_join(workers[t].thread, NULL);
    double elapsed = now_ns() - start;
    for (int t = 0; t < threads; ++t)
        if (workers[t].failed) exit(1);
    return (double)(threads * compress_calls) * (double)input_size * 1e9 / elapsed;
}

/* Nanoseconds per call. */
static double decompress_time(void) {
    static unsigned char out[VKT2_MAX_ORIGINAL_SIZE];
    size_t written = 0;
    double start = now_ns();
    for (int i = 0; i < decode_calls; ++i)
        if (vkt2_decompress(input, input_size, out, sizeof out, &written) != VKT2_OK) exit(1);
    return (now_ns() - start) / decode_calls;
}

int main(int argc, char** argv) {
    FILE* f = argc >= 3 ? fopen(argv[1], "rb") : NULL;
    if (!f) return 2;
    input_size = fread(input, 1, sizeof input, f);
    fclose(f);
    int rounds = atoi(argv[2]), threads = argc > 3 ? atoi(argv[3]) : 0;
    if (threads < 0 || threads > 2) return 2;
    double best = threads ? 0 : 1e30;
    for (int r = 0; r < rounds; ++r) {
        double figure = threads ? compress_rate(threads) : decompress_time();
        if (threads ? figure > best : figure < best) best = figure;
    }
    printf("%.0f\n", best);
    return 0;
}
