// vkt2 undo: NAME.BAK put back over NAME, only where the pair is what an in-place x or c left.
#pragma once

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
// that prove to be the tool's own work, handing each to `report` in the order of the walk. False
// when `interrupted` stopped the run before every pair was looked at; those that were are
// reported all the same.
bool undo_each(const options& o, const std::function<bool()>& interrupted, const hooks& at,
               const std::function<void(undo_result&)>& report);

}  // namespace vkt2::batch
