// Points where a test can act between the steps of a run.
#pragma once

#include <cstddef>
#include <functional>

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

}  // namespace vkt2::batch
