// The benchmarks' inputs, 65,535 bytes each: the project's sources, generated data of several
// kinds, and the start of a file.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "vkt2/vkt2.hpp"

namespace vkt2::bench {

using bytes = std::vector<std::uint8_t>;

// The project's own sources, as much as fits: text the way people keep it.
inline bytes text_input() {
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

inline bytes random_input() {
    std::mt19937 rng(1);
    bytes data(vkt2::max_original_size);
    for (auto& b : data) b = static_cast<std::uint8_t>(rng());
    return data;
}

// Runs of a few hundred equal bytes: nearly every token is an 18-byte reference.
inline bytes runs_input() {
    std::mt19937 rng(2);
    bytes data;
    while (data.size() < vkt2::max_original_size) {
        data.insert(data.end(), 100 + rng() % 900, static_cast<std::uint8_t>(rng()));
    }
    data.resize(vkt2::max_original_size);
    return data;
}

// All zeros: one long run.
inline bytes zeros_input() {
    return bytes(vkt2::max_original_size, 0);
}

// Stretches of a few thousand bytes, each repeating a random pattern of 2 to 12 bytes.
inline bytes periods_input() {
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
inline bytes file_input(const char* path) {
    std::ifstream in(path, std::ios::binary);
    bytes data(std::istreambuf_iterator<char>(in), {});
    data.resize(std::min(data.size(), vkt2::max_original_size));
    if (data.empty()) data.push_back(0);
    return data;
}

}  // namespace vkt2::bench
