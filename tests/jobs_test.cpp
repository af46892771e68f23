// The folder tool's job runner: the order of reports, stops and the number of workers; and
// the sink its reports go through.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <numeric>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <unistd.h>
#endif

#include "jobs.hpp"
#include "platform.hpp"
#include "report.hpp"

namespace {

using vkt2::batch::run_jobs;
using list = std::vector<std::size_t>;

list all(std::size_t n) {
    list l(n);
    std::iota(l.begin(), l.end(), std::size_t{0});
    return l;
}

struct outcome {
    bool complete = false;
    list worked, reported;  // worked in the order the work finished
    std::set<std::size_t> by;
};

// Runs `count` jobs, recording the work and the reports; every report must come after the
// work of its job, once, and only for jobs in `todo`. `go_on` is the reporter's answer.
outcome jobs(std::size_t count, const list& todo, std::size_t workers,
             const std::function<void(std::size_t)>& work = {},
             const std::function<bool(std::size_t)>& go_on = {},
             const std::function<bool()>& stop = {},
             const std::function<void(std::size_t)>& waiting = {}) {
    outcome o;
    std::mutex m;
    o.complete = run_jobs({
        .count = count,
        .todo = todo,
        .workers = workers,
        .work =
            [&](std::size_t i, std::size_t w) {
                if (work) work(i);
                const std::lock_guard lock(m);
                o.worked.push_back(i);
                o.by.insert(w);
            },
        .report =
            [&](std::size_t i) {
                const std::lock_guard lock(m);
                const bool due = std::find(todo.begin(), todo.end(), i) != todo.end();
                EXPECT_EQ(std::count(o.worked.begin(), o.worked.end(), i), due ? 1 : 0) << i;
                o.reported.push_back(i);
                return !go_on || go_on(i);
            },
        .stop = stop,
        .waiting = waiting,
    });
    return o;
}

// Job 0 finishes last: its work waits until every other job's is done, so workers finish out
// of order and the reports must still come 0, 1, 2...
TEST(Jobs, ReportsInOrderWhateverOrderWorkFinishes) {
    const std::size_t n = 6;
    std::mutex m;
    std::condition_variable cv;
    std::size_t others = 0;
    const auto o = jobs(n, all(n), 3, [&](std::size_t i) {
        std::unique_lock lock(m);
        if (i != 0) {
            ++others;
            return cv.notify_all();
        }
        // Bounded only so that a runner that never lets the others go cannot hang.
        EXPECT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return others == n - 1; }));
    });
    EXPECT_TRUE(o.complete);
    EXPECT_EQ(o.reported, all(n));
}

// Once the reporter says stop, no job starts: only the few taken ahead of the report ran, each
// of them is still reported, and the rest never start. Job 16, of the second batch, is under
// way when the stop comes and goes on only once the reporter waits for it.
TEST(Jobs, AStopFromTheReporterLeavesLaterJobsUnstarted) {
    std::mutex m;
    std::condition_variable cv;
    bool began = false, waited = false;
    const auto set = [&](bool& flag) {
        const std::lock_guard lock(m);
        flag = true;
        cv.notify_all();
    };
    const auto until = [&](bool& flag) {  // bounded only so that a faulty runner cannot hang
        std::unique_lock lock(m);
        cv.wait_for(lock, std::chrono::seconds(5), [&] { return flag; });
    };
    auto o = jobs(
        1000, all(1000), 2, [&](std::size_t i) { i == 16 ? set(began), until(waited) : void(); },
        [&](std::size_t i) { return i == 0 ? until(began), false : true; }, {},
        [&](std::size_t i) { i == 16 ? set(waited) : void(); });
    EXPECT_FALSE(o.complete);
    ASSERT_FALSE(o.worked.empty());
    std::sort(o.worked.begin(), o.worked.end());
    // Each worker is at most two batches and a little more ahead of the report.
    EXPECT_LT(o.worked.back(), 96u);
    EXPECT_EQ(o.reported, o.worked);
    // Nor does a worker finish the jobs it took together with the one that saw a stop.
    std::atomic<bool> stop = false;
    o = jobs(
        40, all(40), 1, [&](std::size_t i) { stop = stop || i == 5; }, {},
        [&] { return stop.load(); });
    EXPECT_EQ(o.worked, all(6));
}

// Jobs not in todo are reported without work; a stop from the start leaves every other job
// unstarted and unreported.
TEST(Jobs, SettledJobsAreReportedWithoutWork) {
    for (const bool stopping : {false, true}) {
        auto o = jobs(5, {1, 3}, 2, {}, {}, [&] { return stopping; });
        EXPECT_EQ(o.complete, !stopping);
        std::sort(o.worked.begin(), o.worked.end());
        EXPECT_EQ(o.worked, stopping ? list{} : list({1, 3}));
        EXPECT_EQ(o.reported, stopping ? list({0, 2, 4}) : all(5));
    }
}

// One worker, or more workers than jobs: each job is worked on once, by a worker of its own
// number, and reported in order.
TEST(Jobs, OneWorkerOrMoreThanThereAreJobs) {
    EXPECT_EQ(vkt2::batch::workers_for(8, 3), 3u);
    EXPECT_EQ(vkt2::batch::workers_for(2, 3), 2u);
    EXPECT_EQ(vkt2::batch::workers_for(0, 0), 1u);
    EXPECT_GE(vkt2::batch::workers_for(0, 100), 1u);
    for (const std::size_t workers : {std::size_t{1}, std::size_t{8}}) {
        const std::size_t n = workers == 1 ? 50 : 3;
        auto o = jobs(n, all(n), workers);
        EXPECT_TRUE(o.complete);
        std::sort(o.worked.begin(), o.worked.end());
        EXPECT_EQ(o.worked, all(n));
        EXPECT_LT(*o.by.rbegin(), workers);
        EXPECT_EQ(o.reported, all(n));
    }
}

// A long run of jobs passed over (links, backups) lies between the first job and the next ones.
// The worker, done with job 0, waits for the report to come near job 1000 before it is woken,
// and the report has to wake it however it got there; a runner that does not hangs, so a report
// still waiting after many rounds gives up through a stop.
TEST(Jobs, WorkersGoOnAfterALongRunOfJobsPassedOver) {
    const list todo = {0, 1000, 1001};
    std::atomic<int> waits = 0;
    const auto o = jobs(
        1002, todo, 1, {}, {}, [&] { return waits > 50; }, [&](std::size_t) { ++waits; });
    EXPECT_TRUE(o.complete);
    EXPECT_EQ(o.worked, todo);
    EXPECT_EQ(o.reported, all(1002));
}

#if defined(__GLIBC__)
// Standard output for the sinks below: each write is held up `delay`, as a slow reader would,
// and while `held`, takes nothing in until let go.
struct reader {
    std::mutex m;
    std::condition_variable cv;
    std::string got;
    std::chrono::milliseconds delay{10};
    bool held = false;
    static ssize_t write(void* cookie, const char* data, size_t size) {
        auto& r = *static_cast<reader*>(cookie);
        std::this_thread::sleep_for(r.delay);
        std::unique_lock lock(r.m);
        r.cv.wait(lock, [&] { return !r.held; });
        r.got.append(data, size);
        return static_cast<ssize_t>(size);
    }
    std::FILE* open() {
        std::FILE* f = fopencookie(this, "w", {nullptr, &reader::write, nullptr, nullptr});
        EXPECT_TRUE(f);
        if (f) std::setvbuf(f, nullptr, _IONBF, 0);
        return f;
    }
    void let_go() {
        const std::lock_guard lock(m);
        held = false;
        cv.notify_all();
    }
};

// Writes `lines` JSON lines through a sink of a run stopped from the start; what the reader got
// and what was written.
std::pair<std::string, std::string> through_stopped_sink(reader& r, int lines,
                                                         std::optional<bool> may_stall) {
    std::FILE* out = r.open();
    std::FILE* err = std::fopen("/dev/null", "w");
    EXPECT_TRUE(err);
    std::string all;
    {
        const auto stop = [] { return true; };
        std::optional<vkt2::batch::sink> to;
        if (may_stall)
            to.emplace(out, err, stop, *may_stall);
        else
            to.emplace(out, err, stop);
        for (int i = 0; i < lines; ++i) {
            const std::string line = "{\"line\":" + std::to_string(i) + "}\n";
            all += line;
            EXPECT_TRUE(to->write(true, line));
        }
        EXPECT_TRUE(to->drain());
    }
    std::fclose(out);
    std::fclose(err);
    const std::lock_guard lock(r.m);
    return {r.got, all};
}

// After a stop, a reader that keeps reading gets every line still queued, however many: a
// signal must not cut the JSON of the files already done short of its summary. A file on disk
// is never given up on, however slow the disk: each write takes longer here than a stalled
// reader is given.
TEST(Sink, AfterAStopAReaderThatKeepsReadingOrAFileGetsEverything) {
    static reader slow, disk;  // outlive a writer thread a faulty sink would leave behind
    const auto [got, all] = through_stopped_sink(slow, 12, std::nullopt);
    EXPECT_EQ(got, all);
    disk.delay = std::chrono::milliseconds(150);
    const auto [on_disk, written] = through_stopped_sink(disk, 4, false);
    EXPECT_EQ(on_disk, written);
}

// Only a file on disk is known never to wait on a reader.
TEST(Sink, OnlyFilesOnDiskCannotStall) {
    std::FILE* file = std::tmpfile();
    ASSERT_TRUE(file);
    EXPECT_FALSE(vkt2::platform::may_stall(fileno(file)));
    std::fclose(file);
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    EXPECT_TRUE(vkt2::platform::may_stall(ends[1]));
    close(ends[0]);
    close(ends[1]);
    EXPECT_TRUE(vkt2::platform::may_stall(-1));
}

// Once the run has stopped, a reader that stalls is given up on once: every later line is
// dropped at once, where waiting again for each would keep the run from ending.
TEST(Sink, AReaderThatStallsAfterTheRunStoppedIsGivenUpOnce) {
    // Both live to the end of the process: the sink's writer may still hold the stream.
    static auto* stalled = new reader;
    stalled->delay = {};
    stalled->held = true;
    static std::FILE* stream = stalled->open();
    ASSERT_NE(stream, nullptr);
    std::atomic<int> asked{0};
    {
        vkt2::batch::sink to(stream, stream, [&] {
            ++asked;
            return true;  // the run has stopped
        });
        const std::string line(4096, 'x');
        int queued = 0;
        while (to.write(false, line)) ASSERT_LT(++queued, 10000) << "no room was ever short";
        const int at_first = asked.load();
        EXPECT_GT(at_first, 0);
        for (int i = 0; i < 10; ++i) EXPECT_FALSE(to.write(false, line));
        EXPECT_FALSE(to.drain());
        EXPECT_EQ(asked.load(), at_first) << "waited again for a reader already given up on";
    }
    stalled->let_go();
}
#endif

}  // namespace
