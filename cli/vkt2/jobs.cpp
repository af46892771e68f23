// Workers take jobs in order, a batch at a time, a bounded distance ahead of the reporting
// thread, which waits for each result in turn: every line comes in the same order whatever the
// number of workers. A hand-over per job would cost more than testing a small file.
#include "jobs.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform.hpp"

namespace vkt2::batch {

std::size_t workers_for(std::size_t asked, std::size_t todo) {
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    return std::min(asked ? asked : cores, std::max<std::size_t>(todo, 1));
}

bool run_jobs(const job_steps& s) {
    const std::size_t n = s.todo.size();
    const std::size_t jobs = std::max<std::size_t>(s.workers, 1);
    // Smaller batches near the end keep every worker busy; results not yet reported hold at
    // most `window` jobs.
    const std::size_t batch = 16;
    const std::size_t window = 2 * batch * jobs + 16;

    std::mutex m;
    // Workers wait on one, the reporting thread on the other, each woken only when it can go on.
    std::condition_variable work_cv, done_cv;
    std::size_t idle = 0;
    std::atomic<bool> stopped = false;  // changed with `m` held; read between jobs without
    std::size_t next = 0;               // in todo: the next to start
    std::size_t reported = 0;           // jobs reported, or passed over
    // By place in todo.
    std::vector<char> started(n, 0), done(n, 0);
    // With `m` held.
    const auto should_stop = [&] { return stopped || (stopped = s.stop && s.stop()); };

    const auto work = [&](std::size_t w) {
        // Held by the caller's thread already where it matters; held here too, every later hold
        // (as each file's renames take) is free.
        const platform::signals_held held;
        std::unique_lock lock(m);
        for (;;) {
            const auto ready = [&] {
                return stopped || next >= n || s.todo[next] < reported + window;
            };
            if (!ready()) {
                ++idle;
                work_cv.wait(lock, ready);
                --idle;
            }
            if (stopped || next >= n || should_stop()) {
                work_cv.notify_all();
                done_cv.notify_all();
                return;
            }
            const std::size_t first = next;
            const std::size_t take = std::clamp<std::size_t>((n - next) / (2 * jobs), 1, batch);
            while (next < n && next - first < take && s.todo[next] < reported + window)
                started[next++] = 1;
            const std::size_t last = next;
            lock.unlock();
            // Between jobs, a stop ends the batch; the rest is not started.
            std::size_t k = first;
            for (; k < last; ++k) {
                if (k > first && (stopped || (s.stop && s.stop()))) break;
                s.work(s.todo[k], w);
            }
            lock.lock();
            bool wake = k < last;
            if (wake) {
                stopped = true;
                work_cv.notify_all();
            }
            for (std::size_t j = k; j < last; ++j) started[j] = 0;
            for (std::size_t j = first; j < k; ++j) {
                done[j] = 1;
                wake = wake || s.todo[j] == reported;
            }
            if (wake) done_cv.notify_one();
        }
    };
    std::vector<std::thread> threads;
    try {
        for (std::size_t w = 0; w < jobs && n > 0; ++w) threads.emplace_back(work, w);
    } catch (const std::system_error&) {
        // Fewer threads than asked for; with none at all, this thread does the work.
    }

    bool complete = true;
    std::size_t k = 0;     // in todo: the next to report
    std::size_t seen = 0;  // in todo: those below were seen done, so need no lock to report
    // With `m` held: waiting workers go on once half the window is free, not after every job.
    const auto free_window = [&] {
        if (idle > 0 && next < n && s.todo[next] + window / 2 < reported + window)
            work_cv.notify_all();
    };
    for (std::size_t i = 0; i < s.count; ++i) {
        // A job without work, or one already seen done, is reported without taking the lock:
        // `reported` catches up the next time it is taken.
        if (k < n && s.todo[k] == i && k >= seen) {
            std::unique_lock lock(m);
            reported = i;
            free_window();
            while (!done[k]) {
                if (!started[k] && should_stop()) break;
                if (threads.empty()) {
                    started[k] = 1;
                    ++next;
                    lock.unlock();
                    s.work(i, 0);
                    lock.lock();
                    done[k] = 1;
                    continue;
                }
                done_cv.wait_for(lock, std::chrono::milliseconds(100));
                if (s.waiting) {
                    lock.unlock();
                    s.waiting(i);
                    lock.lock();
                }
            }
            if (!done[k]) {
                reported = i + 1;
                ++k;
                complete = false;
                continue;
            }
            reported = i + 1;
            for (seen = k + 1; seen < n && done[seen];) ++seen;
            free_window();
        }
        if (k < n && s.todo[k] == i) ++k;
        if (!s.report(i)) {
            complete = false;
            const std::lock_guard lock(m);
            stopped = true;
            work_cv.notify_all();
        }
    }
    {
        const std::lock_guard lock(m);
        work_cv.notify_all();
    }
    for (std::thread& t : threads) t.join();
    return complete;
}

}  // namespace vkt2::batch
