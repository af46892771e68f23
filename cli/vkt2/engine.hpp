// A whole vkt2 run: the walk, then workers over the fixed list, reported in list order.
#pragma once

#include <cstdio>
#include <functional>

#include "options.hpp"

namespace vkt2::batch {

// Runs `o`, writing listings and cat's bytes to `out` and messages to `err`, and returns the
// exit status: 0 when every file taken succeeded, 1 otherwise. `terminal` allows a progress line.
// Once `interrupted` returns true no further file is started; those under way are finished, so
// no file is ever left between its two renames.
int run(const options& o, std::FILE* out, std::FILE* err, bool terminal,
        const std::function<bool()>& interrupted = {});

}  // namespace vkt2::batch
