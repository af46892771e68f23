// Output of a run. Only the engine's reporting thread calls into a reporter.
#include "report.hpp"

#include <cstdint>

namespace vkt2::batch {

namespace {

std::string right(const std::string& s, std::size_t width) {
    return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

}  // namespace

std::string listing_row(std::size_t compressed, std::size_t original, const std::string& name) {
    // As gzip -l: the share of the original that compression saved, 0 for an empty original.
    const double saved =
        original == 0
            ? 0.0
            : 100.0 * (1.0 - static_cast<double>(compressed) / static_cast<double>(original));
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, "%.1f%%", saved);
    return right(std::to_string(compressed), 10) + ' ' + right(std::to_string(original), 10) + ' ' +
           right(ratio, 7) + ' ' + name;
}

reporter::reporter(const options& o, std::FILE* out, std::FILE* err, bool terminal)
    : o_(o), out_(out), err_(err), terminal_(terminal && !o.quiet) {
    if (o_.cmd == command::l) {
        const std::string header = right("compressed", 10) + ' ' + right("original", 10) + ' ' +
                                   right("ratio", 7) + " name\n";
        std::fputs(header.c_str(), out_);
    }
}

void reporter::line(const std::string& text) {
    clear_progress();
    std::fprintf(err_, "vkt2: %s\n", text.c_str());
}

void reporter::fail(const std::string& what, const std::string& text) {
    ++failed_;
    line(what + ": " + text);
}

void reporter::file(const entry& e, const file_result& r) {
    switch (r.how) {
        case file_result::state::skipped:
            ++skipped_;
            return;
        case file_result::state::failed:
            ++failed_;
            for (const std::string& note : r.notes) line(e.path + ": " + note);
            return;
        case file_result::state::done:
            break;
    }
    ++done_;
    in_ += r.in;
    out_bytes_ += r.out;
    if (!o_.quiet) {
        for (const std::string& note : r.notes) line(e.path + ": " + note);
    }
    if (o_.cmd == command::l) {
        ++listed_;
        out_error_ |= std::fputs((listing_row(r.in, r.out, e.path) + "\n").c_str(), out_) < 0;
    } else if (o_.cmd == command::cat && !r.data.empty()) {
        out_error_ |= std::fwrite(r.data.data(), 1, r.data.size(), out_) != r.data.size();
    }
}

void reporter::progress(std::size_t done, std::size_t total) {
    using namespace std::chrono;
    const auto now = steady_clock::now();
    if (!terminal_ || now - start_ < milliseconds(500) || now - drawn_ < milliseconds(100)) return;
    drawn_ = now;
    const double seconds = duration<double>(now - start_).count();
    char text[160];
    std::snprintf(text, sizeof text, "vkt2: %llu/%llu files, %.1f MB in, %.0f files/s",
                  static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                  static_cast<double>(in_) / 1e6, static_cast<double>(done) / seconds);
    std::string shown = text;
    const std::size_t width = shown.size();
    if (width < progress_width_) shown += std::string(progress_width_ - width, ' ');
    progress_width_ = width;
    std::fprintf(err_, "\r%s", shown.c_str());
    std::fflush(err_);
}

void reporter::clear_progress() {
    if (progress_width_ == 0) return;
    std::fprintf(err_, "\r%s\r", std::string(progress_width_, ' ').c_str());
    progress_width_ = 0;
}

int reporter::finish() {
    clear_progress();
    if (o_.cmd == command::l && listed_ > 1) {
        out_error_ |=
            std::fputs((listing_row(in_, out_bytes_, "(totals)") + "\n").c_str(), out_) < 0;
    }
    if (std::fflush(out_) != 0 || out_error_) {
        ++failed_;
        line("standard output: write error");
    }
    const bool summary = o_.cmd == command::x || o_.cmd == command::c || o_.cmd == command::t;
    if (summary && !o_.quiet) {
        const char* verb = o_.cmd == command::t ? "passed" : "done";
        line(std::to_string(done_) + (done_ == 1 ? " file " : " files ") + verb + ", " +
             std::to_string(failed_) + " failed, " + std::to_string(skipped_) + " skipped; " +
             std::to_string(in_) + " bytes in, " + std::to_string(out_bytes_) + " bytes out");
    }
    return failed_ == 0 ? 0 : 1;
}

}  // namespace vkt2::batch
