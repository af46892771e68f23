// Everything a run prints: messages naming files, listings, cat's bytes, progress and summary.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

#include "job.hpp"
#include "options.hpp"
#include "walk.hpp"

namespace vkt2::batch {

// A listing row: compressed size, original size, space saved, name.
std::string listing_row(std::size_t compressed, std::size_t original, const std::string& name);

class reporter {
  public:
    // Progress shows only when `terminal` says standard error is one.
    reporter(const options& o, std::FILE* out, std::FILE* err, bool terminal);

    // "vkt2: WHAT: TEXT" on standard error; a failure counts.
    void fail(const std::string& what, const std::string& text);
    void skip(std::size_t count) { skipped_ += count; }
    // Reports one file's result, in the order of the list.
    void file(const entry& e, const file_result& r);
    // Redraws the progress line if it is due.
    void progress(std::size_t done, std::size_t total);
    // Clears the progress line, prints totals or the summary, and returns the exit status.
    int finish();

  private:
    void line(const std::string& text);
    void clear_progress();

    const options& o_;
    std::FILE* out_;
    std::FILE* err_;
    bool terminal_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawn_{};
    std::size_t progress_width_ = 0;
    std::size_t done_ = 0, failed_ = 0, skipped_ = 0, listed_ = 0;
    std::size_t in_ = 0, out_bytes_ = 0;
    bool out_error_ = false;
};

}  // namespace vkt2::batch
