// Everything a run prints: messages naming files, listings, cat's bytes, progress and summary.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "job.hpp"
#include "options.hpp"
#include "shown.hpp"
#include "undo.hpp"
#include "walk.hpp"

namespace vkt2::batch {

// The status of a run whose standard output or error was a pipe with no reader left.
inline constexpr int broken_pipe_status = 141;

// A listing row: compressed size, original size, space saved, name.
std::string listing_row(std::size_t compressed, std::size_t original, const std::string& name,
                        name_encoding how = name_encoding::raw);

// Writes to standard output and error on a thread of its own, so a reader that stalls holds up
// only that thread: the run can still see a signal and end. Holds a bounded amount.
class sink {
  public:
    // `stop` says when to give up waiting for room or for the writes to be done.
    sink(std::FILE* out, std::FILE* err, std::function<bool()> stop);
    sink(const sink&) = delete;
    sink& operator=(const sink&) = delete;
    ~sink();
    // Queues `bytes` for one stream; false when the run stopped before there was room.
    bool write(bool to_out, std::string bytes);
    // Waits until everything queued is written and flushed; false when the run stopped first.
    bool drain();
    bool out_failed() const;   // a write to standard output failed
    bool broken_pipe() const;  // a reader went away

  private:
    struct state;
    std::shared_ptr<state> s_;
};

class reporter {
  public:
    // Progress shows only when `terminal` says standard error is one.
    reporter(const options& o, sink& to, bool terminal);

    // Reports one file's result, in the order of the list: the lines for a person on standard
    // error (-v adds one for each file done or skipped), or with --json one object on standard
    // output.
    void file(const entry& e, const file_result& r);
    // Reports one pair undo considered, in the order of the walk, as file() does.
    void undo(const undo_result& r);
    // Redraws the progress line if it is due.
    void progress(std::size_t done, std::size_t total);
    // Clears the progress line, prints totals or the summary, and returns the exit status.
    int finish();

  private:
    void line(const std::string& text);
    void out(std::string bytes);
    void json(const entry& e, const file_result& r);
    void clear_progress();

    const options& o_;
    sink& to_;
    bool terminal_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawn_{};
    std::size_t progress_width_ = 0;
    std::size_t done_ = 0, failed_ = 0, skipped_ = 0, copied_ = 0, listed_ = 0;
    std::size_t in_ = 0, out_bytes_ = 0;
    std::size_t restored_ = 0, left_ = 0;  // undo's
};

}  // namespace vkt2::batch
