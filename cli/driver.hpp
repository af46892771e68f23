// The steps vkt2x and vkt2c share: loading the input, the statistics line, and turning the
// replacement's outcome into a message and an exit status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "replace.hpp"

namespace vkt2::driver {

// Prints `message` on standard error and returns the failure status.
int fail(const char* message);

// Loads the start of `name` into `buffer`, reading until it is full or the file ends, and
// closes the file at once. On failure prints the reason and returns nothing.
std::optional<std::size_t> load_input(const char* name, std::span<std::uint8_t> buffer);

// Prints "<first> = A -> <second> = B" on standard output and flushes it, so that the line
// comes before any later message when both streams go to one file.
void print_statistics(const char* first, std::size_t a, const char* second, std::size_t b);

// Writes `data` through `output` and returns the exit status, reporting any failure.
int commit(replacement& output, std::span<const std::uint8_t> data);

}  // namespace vkt2::driver
