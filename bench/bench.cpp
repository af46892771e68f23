// Decode and encode throughput on 65,535-byte inputs: the decoder against the plain ring-window
// decoder writing to a stdio stream, the encoder against the classic greedy one. Throughput is
// counted in bytes of decoded data.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <random>
#include <utility>
#include <vector>

#include "greedy_baseline.hpp"
#include "reference_decoder.hpp"
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

// The project's own sources, as much as fits: text the way people keep it.
bytes text_input() {
    std::vector<std::filesystem::path> files;
    for (const char* dir : {"core", "cli", "tests", "bench"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(
                 std::filesystem::path(VKT2_SOURCE_DIR) / dir)) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());  // the same input on every run
    bytes data;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        data.insert(data.end(), std::istreambuf_iterator<char>(in), {});
    }
    if (data.empty()) data.push_back('\n');
    for (std::size_t i = 0; data.size() < vkt2::max_original_size; ++i) data.push_back(data[i]);
    data.resize(vkt2::max_original_size);
    return data;
}

bytes random_input() {
    std::mt19937 rng(1);
    bytes data(vkt2::max_original_size);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    return data;
}

// Runs of a few hundred equal bytes: nearly every token is an 18-byte reference.
bytes runs_input() {
    std::mt19937 rng(2);
    bytes data;
    while (data.size() < vkt2::max_original_size) {
        data.insert(data.end(), 100 + rng() % 900, static_cast<std::uint8_t>(rng()));
    }
    data.resize(vkt2::max_original_size);
    return data;
}

// All zeros: one long run.
bytes zeros_input() {
    return bytes(vkt2::max_original_size, 0);
}

// Stretches of a few thousand bytes, each repeating a random pattern of 2 to 12 bytes.
bytes periods_input() {
    std::mt19937 rng(3);
    bytes data;
    while (data.size() < vkt2::max_original_size) {
        bytes pattern(2 + rng() % 11);
        for (auto& b : pattern) b = static_cast<std::uint8_t>(rng());
        for (std::size_t k = 1000 + rng() % 3000; k > 0; --k)
            data.push_back(pattern[k % pattern.size()]);
    }
    data.resize(vkt2::max_original_size);
    return data;
}

// The first 64 KiB of an executable, or one byte when it is missing (the benchmark says so).
bytes file_input(const char* path) {
    std::ifstream in(path, std::ios::binary);
    bytes data(std::istreambuf_iterator<char>(in), {});
    data.resize(std::min(data.size(), vkt2::max_original_size));
    if (data.empty()) data.push_back(0);
    return data;
}

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
    vkt2::bench::greedy_baseline greedy;
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
