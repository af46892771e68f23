// Workers take files from the fixed list in order, a bounded distance ahead of the reporting
// thread, which waits for each result in turn. Every file thus ends the same, and every line
// comes in the same order, whatever the number of workers.
#include "engine.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "job.hpp"
#include "report.hpp"
#include "walk.hpp"

namespace vkt2::batch {

namespace {

namespace fs = std::filesystem;

// Files that would race if run side by side: the same input changed in place twice (the
// later one is dropped), or two inputs writing to one output (the later one fails).
void settle_conflicts(const options& o, std::vector<entry>& files,
                      std::vector<std::optional<file_result>>& results) {
    if (o.cmd != command::x && o.cmd != command::c) return;
    std::error_code ec;
    const fs::path here = fs::current_path(ec);
    auto key = [&](const std::string& path) { return (here / path).lexically_normal().string(); };
    std::map<std::string, std::size_t> first;
    std::vector<entry> kept;
    for (entry& e : files) {
        const bool in_place = o.out_dir.empty();
        const auto [at, fresh] =
            first.emplace(key(in_place ? e.path : join(o.out_dir, e.relative)), kept.size());
        if (!fresh && in_place) continue;
        results.emplace_back();
        if (!fresh) {
            file_result r;
            r.how = file_result::state::failed;
            r.notes.push_back("same output as " + kept[at->second].path);
            results.back() = std::move(r);
        }
        kept.push_back(std::move(e));
    }
    files = std::move(kept);
}

}  // namespace

int run(const options& o, std::FILE* out, std::FILE* err, bool terminal,
        const std::function<bool()>& interrupted) {
    walk_result w = walk(o.paths);
    reporter report(o, out, err, terminal);
    for (const std::string& folder : w.unreadable) report.fail(folder, "cannot read the folder");
    report.skip(w.skipped);
    std::vector<entry>& files = w.files;
    std::vector<std::optional<file_result>> results;
    settle_conflicts(o, files, results);
    results.resize(files.size());

    const std::size_t n = files.size();
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t jobs =
        std::min<std::size_t>(o.jobs ? o.jobs : cores, std::max<std::size_t>(n, 1));
    std::vector<worker> workers(jobs);
    // Results waiting to be reported hold at most this many files' data.
    const std::size_t window = 4 * jobs + 16;
    std::mutex m;
    std::condition_variable cv;
    std::size_t next = 0;
    std::size_t reported = 0;
    std::size_t end = n;  // files from here on are never taken: the run was interrupted

    auto work = [&](worker& mine) {
        std::unique_lock lock(m);
        for (;;) {
            cv.wait(lock, [&] { return next >= n || next < reported + window; });
            if (next >= n) return;
            if (interrupted && interrupted()) {
                end = std::min(end, next);
                next = n;
                cv.notify_all();
                return;
            }
            const std::size_t i = next++;
            if (results[i]) continue;
            lock.unlock();
            file_result r = mine.run(o, files[i]);
            lock.lock();
            results[i] = std::move(r);
            cv.notify_all();
        }
    };
    std::vector<std::thread> threads;
    try {
        for (worker& mine : workers) threads.emplace_back(work, std::ref(mine));
    } catch (const std::system_error&) {
        // Fewer threads than asked for; with none at all, this thread does the work.
    }

    for (std::size_t i = 0; i < n; ++i) {
        std::unique_lock lock(m);
        while (!results[i] && i < end) {
            if (threads.empty()) {
                if (interrupted && interrupted())
                    end = i;
                else
                    results[i] = workers.front().run(o, files[i]);
                continue;
            }
            cv.wait_for(lock, std::chrono::milliseconds(100));
            lock.unlock();
            report.progress(i, n);
            lock.lock();
        }
        if (!results[i]) break;
        const file_result r = std::move(*results[i]);
        results[i].reset();
        reported = i + 1;
        cv.notify_all();
        lock.unlock();
        report.file(files[i], r);
        report.progress(i + 1, n);
    }
    for (std::thread& t : threads) t.join();
    const int status = report.finish();
    return end < n ? 1 : status;
}

}  // namespace vkt2::batch
