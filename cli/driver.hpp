// The steps vkt2x and vkt2c share: loading the input, the statistics line, and turning the
// replace step's outcomes into messages and an exit status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "replace.hpp"

namespace vkt2::driver {

// Prints `message` on standard error and returns the failure status.
int fail(const char* message);

// Sets up the process for a run, before any file is opened: closed standard descriptors opened
// on the null device; an allocation that fails anywhere removes any temporary file, prints the
// memory message and ends with status 1; a write past the file-size limit or to a closed pipe,
// even of the statistics line or a message, fails instead of ending the process, so the
// temporary file is still removed.
void set_up_process();

// Loads the start of `name` into `buffer`, reading until it is full or the file ends. On
// failure prints the reason and returns nothing.
std::optional<source> load_input(const char* name, std::span<std::uint8_t> buffer);

// Prints "<first> = A -> <second> = B" on standard output and flushes it, so that the line
// comes before any later message when both streams go to one file.
void print_statistics(const char* first, std::size_t a, const char* second, std::size_t b);

// Writes `data` through `output` and returns the exit status, reporting any failure.
int commit(replacement& output, std::span<const std::uint8_t> data);

}  // namespace vkt2::driver
