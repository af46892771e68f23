// A whole vkt2 run: the walk, then workers over the fixed list, reported in list order.
#pragma once

#include <cstdio>

#include "options.hpp"

namespace vkt2::batch {

// Runs `o`, writing listings and cat's bytes to `out` and messages to `err`, and returns the
// exit status: 0 when every file taken succeeded, 1 otherwise. `terminal` allows a progress line.
int run(const options& o, std::FILE* out, std::FILE* err, bool terminal);

}  // namespace vkt2::batch
