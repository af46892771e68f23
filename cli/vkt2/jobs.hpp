// Numbered jobs worked on by a few threads and reported one by one, in their order, on the
// thread that asked: what every command of the folder tool does with its list.
#pragma once

#include <cstddef>
#include <functional>
#include <span>

namespace vkt2::batch {

// The workers for `todo` jobs when `asked` for (0: one per core): never more than there are jobs.
std::size_t workers_for(std::size_t asked, std::size_t todo);

struct job_steps {
    std::size_t count = 0;              // jobs 0 to count - 1 are reported, in that order
    std::span<const std::size_t> todo;  // those worked on first, in ascending order
    std::size_t workers = 1;            // threads at most; each has its own number below it
    std::function<void(std::size_t job, std::size_t worker)> work;
    // Called for each job in turn on the calling thread, once its work is done; false stops.
    std::function<bool(std::size_t job)> report;
    // Once true, no further job is started. Asked between jobs, from any thread, at any time.
    std::function<bool()> stop;
    // Called on the calling thread while it waits for a job's work, about every tenth of a second,
    // with the number of jobs reported so far.
    std::function<void(std::size_t reported)> waiting;
};

// Runs the jobs of `s`. A worker takes a few jobs at once and hands them over together, within
// a bounded distance ahead of the report, so results waiting to be reported stay few. Once
// stopped, jobs under way are finished and every job that has its result is still reported,
// later ones included; those never started are not. True when every job was reported and no
// report said stop. Without any thread, the calling thread does the work itself.
bool run_jobs(const job_steps& s);

}  // namespace vkt2::batch
