// vkt2 undo: NAME.BAK put back over NAME, only where the pair is what an in-place x or c left.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "hooks.hpp"
#include "options.hpp"

namespace vkt2::batch {

// One backup undo considered, in the order of the walk: what the report words, in any form.
struct undo_result {
    enum class outcome { restored, would_restore, left_alone, failed };
    enum class undoing { none, x, c };
    outcome how = outcome::left_alone;
    undoing kind = undoing::none;  // which in-place run the pair proved to be
    std::string path;              // NAME.BAK, or the PATH given when no backup was found
    std::string target;            // NAME beside it
    std::string reason;            // why it was left alone or failed; empty otherwise
    bool named = false;            // from a PATH on the command line, not found by a walk
};

// Checks every pair the PATHs give, `o.jobs` at a time, and (unless `o.dry_run`) restores those
// that prove to be the tool's own work. `complete` turns false when `interrupted` stopped the
// run before every pair was looked at; the list then holds those that were.
std::vector<undo_result> undo_pairs(const options& o, const std::function<bool()>& interrupted,
                                    const hooks& at, bool& complete);

// `vkt2 undo`: undo_pairs, then the messages, the -n list and the summary. Returns the exit
// status as run() does: 0 when nothing failed (pairs left alone are no failure), else 1.
int run_undo(const options& o, std::FILE* out, std::FILE* err,
             const std::function<bool()>& interrupted, const hooks& at);

}  // namespace vkt2::batch
