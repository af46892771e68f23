// vkt2 scan: VKT2 files embedded at any offset of other files, found in one pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>

#include "options.hpp"

namespace vkt2::batch {

// Fills its buffer as far as the data goes (less only at the end); nothing on a read error.
using chunk_reader = std::function<std::optional<std::size_t>(std::span<std::uint8_t>)>;

// Calls `found` for each place, in order, where "VKT2" starts in what `read` gives, with the
// bytes from there: 65,537 of them (all that loading a file would count, and one more), or up
// to the end when fewer are left. Memory stays at `chunk` bytes plus that window whatever the
// size. False on a read error, or as soon as `found` returns false.
bool scan_stream(const chunk_reader& read, std::size_t chunk,
                 const std::function<bool(std::uint64_t, std::span<const std::uint8_t>)>& found);

// Runs `vkt2 scan`, as engine's run() does the other commands.
int run_scan(const options& o, std::FILE* out, std::FILE* err,
             const std::function<bool()>& interrupted);

}  // namespace vkt2::batch
