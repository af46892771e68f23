// A whole vkt2 run: the walk, then workers over the fixed list, reported in list order.
#pragma once

#include <cstdio>
#include <functional>

#include "hooks.hpp"
#include "options.hpp"
#include "report.hpp"

namespace vkt2::batch {

// Runs `o`, writing listings and cat's bytes to `out` and messages to `err`, and returns the
// exit status: 0 when every file taken succeeded, 1 otherwise, broken_pipe_status when a reader
// went away. `terminal` allows a progress line. Once `interrupted` returns true, or a reader has
// gone, no further file is started; those under way are finished, so no file is ever left
// between its two renames, and output not yet written is dropped.
int run(const options& o, std::FILE* out, std::FILE* err, bool terminal,
        const std::function<bool()>& interrupted = {}, const hooks& at = {});

}  // namespace vkt2::batch
