// Decode and encode throughput on 65,535-byte inputs: the decoder against the plain ring-window
// decoder writing to a stdio stream, the encoder against the classic greedy one. Throughput is
// counted in bytes of decoded data.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

#include "inputs.hpp"
#include "support/greedy_encoder.hpp"
#include "support/reference_decoder.hpp"
#include "vkt2/format.hpp"

// Bytes asked of operator new since it was last reset: an upper bound on the working memory of
// one encode() call, output included.
std::size_t allocated = 0;

void* operator new(std::size_t size) {
    allocated += size;
    if (void* p = std::malloc(size)) return p;
    throw std::bad_alloc();
}
// GCC takes these free() calls for a mismatch with the new it sees inlined.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

using bytes = std::vector<std::uint8_t>;
using namespace vkt2::bench;

struct input {
    bytes original;
    bytes stream;
};

input make(bytes original) {
    bytes stream = vkt2::encode(original);
    return {std::move(original), std::move(stream)};
}

const input& get(std::int64_t which) {
    static const input inputs[] = {make(text_input()),
                                   make(random_input()),
                                   make(runs_input()),
                                   make(zeros_input()),
                                   make(periods_input()),
                                   make(file_input("/usr/bin/bash")),
                                   make(file_input("/usr/bin/ls"))};
    return inputs[which];
}

void label(benchmark::State& state, const input& in) {
    static const char* const names[] = {"text", "random", "runs", "zeros", "periods", "bash", "ls"};
    if (in.original.size() == 1) state.SkipWithError("input file missing");
    state.SetLabel(names[static_cast<std::size_t>(state.range(0))]);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(in.original.size()));
}

void BM_Decode(benchmark::State& state) {
    const input& in = get(state.range(0));
    bytes out(in.original.size());
    for (auto _ : state) {
        const auto r = vkt2::decode_stream(in.stream, out);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(out.data());
    }
    if (out != in.original) state.SkipWithError("decoded data differs");
    label(state, in);
}

void BM_DecodeBaseline(benchmark::State& state) {
    const input& in = get(state.range(0));
    std::FILE* sink = std::fopen("/dev/null", "wb");
    if (sink == nullptr) return state.SkipWithError("cannot open /dev/null");
    for (auto _ : state) {
        const std::size_t n = vkt2::testing::reference_decode(
            in.stream, in.original.size(), [&](std::uint8_t b) { std::putc(b, sink); });
        benchmark::DoNotOptimize(n);
    }
    std::fclose(sink);
    label(state, in);
}

void BM_Encode(benchmark::State& state) {
    const input& in = get(state.range(0));
    for (auto _ : state) {
        auto stream = vkt2::encode(in.original);
        benchmark::DoNotOptimize(stream.data());
    }
    allocated = 0;
    benchmark::DoNotOptimize(vkt2::encode(in.original).data());
    state.counters["alloc_KiB"] = static_cast<double>(allocated) / 1024;
    label(state, in);
}

void BM_EncodeGreedy(benchmark::State& state) {
    const input& in = get(state.range(0));
    vkt2::testing::greedy_encoder greedy;
    bytes stream;
    for (auto _ : state) {
        stream = greedy.encode(in.original);
        benchmark::DoNotOptimize(stream.data());
    }
    bytes out(in.original.size());
    if (vkt2::decode_stream(stream, out).status != vkt2::decode_status::ok || out != in.original) {
        state.SkipWithError("greedy stream does not decode to its input");
    }
    label(state, in);
}

BENCHMARK(BM_Decode)->DenseRange(0, 2);
BENCHMARK(BM_DecodeBaseline)->DenseRange(0, 2);
BENCHMARK(BM_Encode)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeGreedy)->DenseRange(0, 6)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
