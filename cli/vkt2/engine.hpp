// A whole vkt2 run: the walk, then workers over the fixed list, reported in list order.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "mirror.hpp"
#include "options.hpp"
#include "platform.hpp"

namespace vkt2 {
struct renamer;
}

namespace vkt2::batch {

// Points where a test can act between the steps of a run.
struct hooks {
    std::function<void()> after_walk;              // the list is fixed; no file started yet
    std::function<void(std::size_t)> before_work;  // a worker is about to work on file i
    // undo has checked pair i and holds its lock; the renames are next
    std::function<void(std::size_t)> before_restore;
    const renamer* renames = nullptr;  // undo's renames, when not the system's own
};

// The status of a run whose standard output or error was a pipe with no reader left.
inline constexpr int broken_pipe_status = 141;

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
