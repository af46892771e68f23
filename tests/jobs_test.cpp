// The folder tool's job runner: the order of reports, stops and the number of workers; and
// the sink its reports go through.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <numeric>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "jobs.hpp"
#include "report.hpp"

namespace {

using vkt2::batch::job_steps;
using vkt2::batch::run_jobs;
using list = std::vector<std::size_t>;

list all(std::size_t n) {
    list l(n);
    std::iota(l.begin(), l.end(), std::size_t{0});
    return l;
}

// Job 0 finishes last: its work waits until every other job's is done, so workers finish out
// of order and the reports must still come 0, 1, 2...
TEST(Jobs, ReportsInOrderWhateverOrderWorkFinishes) {
    const std::size_t n = 6;
    const list todo = all(n);
    std::mutex m;
    std::condition_variable cv;
    list finished, reported;
    std::vector<std::optional<std::size_t>> results(n);
    const bool complete = run_jobs({
        .count = n,
        .todo = todo,
        .workers = 3,
        .work =
            [&](std::size_t i, std::size_t) {
                std::unique_lock lock(m);
                // Bounded only so that a runner that never lets the others go cannot hang.
                if (i == 0)
                    cv.wait_for(lock, std::chrono::seconds(30),
                                [&] { return finished.size() == n - 1; });
                results[i] = i * 10;
                finished.push_back(i);
                cv.notify_all();
            },
        .report =
            [&](std::size_t i) {
                // The work is done before its report, and seen by it.
                EXPECT_EQ(results[i], i * 10);
                reported.push_back(i);
                return true;
            },
        .stop = {},
        .waiting = {},
    });
    EXPECT_TRUE(complete);
    ASSERT_EQ(finished.size(), n);
    EXPECT_EQ(finished.back(), 0u);
    EXPECT_EQ(reported, todo);
}

// Once the reporter says stop, no job starts: only the few taken ahead of the report ran, each
// of them is still reported, and the rest never start.
TEST(Jobs, AStopFromTheReporterLeavesLaterJobsUnstarted) {
    const std::size_t n = 1000;
    const list todo = all(n);
    std::mutex m;
    std::set<std::size_t> ran;
    list reported;
    const bool complete = run_jobs({
        .count = n,
        .todo = todo,
        .workers = 1,
        .work =
            [&](std::size_t i, std::size_t) {
                const std::lock_guard lock(m);
                ran.insert(i);
            },
        .report =
            [&](std::size_t i) {
                reported.push_back(i);
                return i != 0;
            },
        .stop = {},
        .waiting = {},
    });
    EXPECT_FALSE(complete);
    ASSERT_FALSE(ran.empty());
    // One worker is at most two batches and a little more ahead of the report.
    EXPECT_LT(*ran.rbegin(), 64u);
    EXPECT_EQ(reported, list(ran.begin(), ran.end()));
}

// Jobs not in todo are reported without work; a stop from the start leaves every other job
// unstarted and unreported.
TEST(Jobs, SettledJobsAreReportedWithoutWork) {
    const list todo = {1, 3};
    for (const bool stopping : {false, true}) {
        std::mutex m;
        list worked, reported;
        const bool complete = run_jobs({
            .count = 5,
            .todo = todo,
            .workers = 2,
            .work =
                [&](std::size_t i, std::size_t) {
                    const std::lock_guard lock(m);
                    worked.push_back(i);
                },
            .report =
                [&](std::size_t i) {
                    reported.push_back(i);
                    return true;
                },
            .stop = [&] { return stopping; },
            .waiting = {},
        });
        EXPECT_EQ(complete, !stopping);
        std::sort(worked.begin(), worked.end());
        EXPECT_EQ(worked, stopping ? list{} : todo);
        EXPECT_EQ(reported, stopping ? list({0, 2, 4}) : all(5));
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
        const list todo = all(n);
        std::mutex m;
        std::vector<int> times(n, 0);
        std::set<std::size_t> by;
        list reported;
        EXPECT_TRUE(run_jobs({
            .count = n,
            .todo = todo,
            .workers = workers,
            .work =
                [&](std::size_t i, std::size_t w) {
                    const std::lock_guard lock(m);
                    ++times[i];
                    by.insert(w);
                },
            .report =
                [&](std::size_t i) {
                    reported.push_back(i);
                    return true;
                },
            .stop = {},
            .waiting = {},
        }));
        EXPECT_EQ(times, std::vector<int>(n, 1));
        EXPECT_LT(*by.rbegin(), workers);
        EXPECT_EQ(reported, todo);
    }
}

// A long run of jobs passed over (links, backups) lies between the first job and the next ones.
// The worker, done with job 0, waits for the report to come near job 1000 before it is woken,
// and the report has to wake it however it got there; a runner that does not hangs, so a report
// still waiting after many rounds gives up through a stop.
TEST(Jobs, WorkersGoOnAfterALongRunOfJobsPassedOver) {
    const list todo = {0, 1000, 1001};
    std::atomic<int> waits = 0;
    std::mutex m;
    list worked, reported;
    const bool complete = run_jobs({
        .count = 1002,
        .todo = todo,
        .workers = 1,
        .work =
            [&](std::size_t i, std::size_t) {
                const std::lock_guard lock(m);
                worked.push_back(i);
            },
        .report =
            [&](std::size_t i) {
                reported.push_back(i);
                return true;
            },
        .stop = [&] { return waits > 50; },
        .waiting = [&](std::size_t) { ++waits; },
    });
    EXPECT_TRUE(complete);
    EXPECT_EQ(worked, todo);
    EXPECT_EQ(reported, all(1002));
}

#if defined(__GLIBC__)
// Standard output for the sink below: each write is held up a little, as a slow reader would,
// well within the tenth of a second after which a stopped run gives a reader up.
struct slow_reader {
    std::mutex m;
    std::string got;
    static ssize_t write(void* cookie, const char* data, size_t size) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        auto& r = *static_cast<slow_reader*>(cookie);
        const std::lock_guard lock(r.m);
        r.got.append(data, size);
        return static_cast<ssize_t>(size);
    }
};

// After a stop, a reader that keeps reading gets every line still queued, however many: a
// signal must not cut the JSON of the files already done short of its summary.
TEST(Sink, AfterAStopAReaderThatKeepsReadingGetsEverything) {
    static slow_reader reader;  // outlives a writer thread a faulty sink would leave behind
    {
        const std::lock_guard lock(reader.m);
        reader.got.clear();
    }
    cookie_io_functions_t io{};
    io.write = &slow_reader::write;
    std::FILE* out = fopencookie(&reader, "w", io);
    std::FILE* err = std::fopen("/dev/null", "w");
    ASSERT_TRUE(out && err);
    std::setvbuf(out, nullptr, _IONBF, 0);
    std::string all;
    {
        vkt2::batch::sink to(out, err, [] { return true; });
        for (int i = 0; i < 12; ++i) {
            const std::string line = "{\"line\":" + std::to_string(i) + "}\n";
            all += line;
            EXPECT_TRUE(to.write(true, line));
        }
        EXPECT_TRUE(to.drain());
    }
    std::fclose(out);
    std::fclose(err);
    const std::lock_guard lock(reader.m);
    EXPECT_EQ(reader.got, all);
}
#endif

}  // namespace
