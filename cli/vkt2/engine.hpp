// A whole vkt2 run: the walk, then workers over the fixed list, reported in list order.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "hooks.hpp"
#include "mirror.hpp"
#include "options.hpp"
#include "platform.hpp"
#include "report.hpp"

namespace vkt2::batch {

// The output folder, made if need be (the path the user gave is followed as given). Folders
// made on the way to it are never writable by others, whatever the umask; the output folder
// itself, when it is to copy folders, is private until the end, and then in `made`. Nothing,
// with `why`, when it cannot be opened.
std::optional<platform::folder> open_output(std::string dir, bool copies_folders,
                                            made_folders& made, std::string& why);

// Runs `o`, writing listings and cat's bytes to `out` and messages to `err`, and returns the
// exit status: 0 when every file taken succeeded, 1 otherwise, broken_pipe_status when a reader
// went away. `terminal` allows a progress line. Once `interrupted` returns true, or a reader has
// gone, no further file is started; those under way are finished, so no file is ever left
// between its two renames, and output not yet written is dropped.
int run(const options& o, std::FILE* out, std::FILE* err, bool terminal,
        const std::function<bool()>& interrupted = {}, const hooks& at = {});

}  // namespace vkt2::batch
