// Output of a run. Only the engine's reporting thread calls into a reporter; only the sink's
// own thread touches the streams.
#include "report.hpp"

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include "json.hpp"
#include "platform.hpp"

namespace vkt2::batch {

namespace {

std::string right(const std::string& s, std::size_t width) {
    return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

}  // namespace

std::string listing_row(std::size_t compressed, std::size_t original, const std::string& name,
                        name_encoding how) {
    // As gzip -l: the share of the original that compression saved, 0 for an empty original.
    const double saved =
        original == 0
            ? 0.0
            : 100.0 * (1.0 - static_cast<double>(compressed) / static_cast<double>(original));
    char ratio[32];
    std::snprintf(ratio, sizeof ratio, "%.1f%%", saved);
    return right(std::to_string(compressed), 10) + ' ' + right(std::to_string(original), 10) + ' ' +
           right(ratio, 7) + ' ' + shown(name, how);
}

struct sink::state {
    std::FILE* out;
    std::FILE* err;
    std::function<bool()> stop;
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::pair<bool, std::string>> queue;
    std::size_t queued = 0;
    std::size_t written = 0;  // items done, a sign of a reader still reading
    bool busy = false, closing = false, out_failed = false, broken = false;
    bool given_up = false;  // a reader that stalled after the run stopped
    bool may_stall = true;  // false: every write ends, however slowly, so none is given up on

    // The writer: one write at a time, flushed whenever the queue runs dry.
    void loop() {
        std::unique_lock lock(m);
        for (;;) {
            cv.wait(lock, [&] { return closing || !queue.empty(); });
            if (queue.empty()) return;
            auto [to_out, bytes] = std::move(queue.front());
            queue.pop_front();
            queued -= bytes.size();
            busy = true;
            const bool dry = queue.empty();
            const bool gone = broken;
            lock.unlock();
            bool out_bad = false, pipe_gone = false;
            if (!gone) {
                const auto failed = [&](bool is_out) {
                    out_bad |= is_out;
                    pipe_gone |= errno == EPIPE;
                };
                if (std::fwrite(bytes.data(), 1, bytes.size(), to_out ? out : err) != bytes.size())
                    failed(to_out);
                else if (dry && std::fflush(out) != 0)
                    failed(true);
                else if (dry && std::fflush(err) != 0)
                    failed(false);
            }
            lock.lock();
            busy = false;
            ++written;
            out_failed |= out_bad;
            broken |= pipe_gone;
            cv.notify_all();
        }
    }

    // Waits for `ready`. Once the run stops, a reader that takes in nothing for a tenth of a
    // second is given up on; one that keeps reading gets everything, however many lines are
    // still queued: each line written starts the tenth of a second again.
    template <class P>
    bool wait(std::unique_lock<std::mutex>& lock, P ready) {
        using clock = std::chrono::steady_clock;
        const auto tick = std::chrono::milliseconds(50), patience = std::chrono::milliseconds(100);
        std::size_t before = written;
        auto moved = clock::now();
        while (!ready()) {
            if (broken || given_up) return false;
            const auto now = clock::now();
            if (written != before) {
                before = written;
                moved = now;
            } else if (may_stall && stop && stop() && now - moved >= patience) {
                // Given up once for the run, not once per line: every line after would wait again.
                given_up = true;
                return false;
            }
            cv.wait_for(lock, tick);
        }
        return true;
    }
};

namespace {
constexpr std::size_t sink_room = std::size_t{1} << 18;
}

sink::sink(std::FILE* out, std::FILE* err, std::function<bool()> stop)
    : sink(out, err, std::move(stop),
           platform::may_stall(fileno(out)) || platform::may_stall(fileno(err))) {}

sink::sink(std::FILE* out, std::FILE* err, std::function<bool()> stop, bool may_stall)
    : s_(std::make_shared<state>()) {
    s_->out = out;
    s_->err = err;
    s_->stop = std::move(stop);
    s_->may_stall = may_stall;
    // The thread holds the state, so a writer stuck on a stalled reader can be left behind.
    std::thread([s = s_] { s->loop(); }).detach();
}

sink::~sink() {
    std::unique_lock lock(s_->m);
    s_->closing = true;
    s_->cv.notify_all();
    // Whatever was not written by now is dropped; a writer that is stuck is left to the end of
    // the process, which the caller is about to bring.
    s_->queue.clear();
    s_->cv.wait_for(lock, std::chrono::milliseconds(200), [&] { return !s_->busy; });
}

bool sink::write(bool to_out, std::string bytes) {
    std::unique_lock lock(s_->m);
    if (!s_->wait(lock, [&] { return s_->queued < sink_room; })) return false;
    s_->queued += bytes.size();
    s_->queue.emplace_back(to_out, std::move(bytes));
    s_->cv.notify_all();
    return true;
}

bool sink::drain() {
    std::unique_lock lock(s_->m);
    return s_->wait(lock, [&] { return s_->queue.empty() && !s_->busy; });
}

bool sink::out_failed() const {
    std::lock_guard lock(s_->m);
    return s_->out_failed;
}

bool sink::broken_pipe() const {
    std::lock_guard lock(s_->m);
    return s_->broken;
}

namespace {

// What a command does to a file it takes, in -v lines and --json.
const char* verb(command c) {
    switch (c) {
        case command::x:
        case command::cat:
            return "decoded";
        case command::c:
            return "compressed";
        case command::t:
            return "passed";
        case command::l:
        case command::undo:
        case command::scan:
            break;
    }
    return "listed";
}

// A run whose only PATH is -, writing its data to standard output as cat does.
bool to_standard_output(const options& o) {
    return o.cmd == command::cat || (o.paths.size() == 1 && o.paths[0] == "-" &&
                                     (o.cmd == command::x || o.cmd == command::c));
}

}  // namespace

reporter::reporter(const options& o, sink& to, bool terminal)
    : o_(o), to_(to), terminal_(terminal && !o.quiet && !o.json) {}

void reporter::line(const std::string& text) {
    clear_progress();
    to_.write(false, "vkt2: " + text + "\n");
}

void reporter::out(std::string bytes) {
    // Standard output may be the same terminal: no line glued to the progress line.
    clear_progress();
    to_.write(true, std::move(bytes));
}

void reporter::json(const entry& e, const file_result& r) {
    json::record j;
    j.names = o_.names;
    j.path = e.path;
    const bool writes = o_.cmd == command::x || o_.cmd == command::c;
    switch (r.how) {
        case file_result::state::skipped:
            j.result = "skipped";
            j.reason = r.reason;
            break;
        case file_result::state::failed:
            j.result = "failed";
            for (const std::string& note : r.notes) j.error += (j.error.empty() ? "" : "; ") + note;
            // Copied as it is all the same (--all): where to, and how much.
            if (r.copied) {
                j.output = join(o_.out_dir, e.relative);
                j.bytes_in = r.in;
                j.bytes_out = r.out;
            }
            break;
        case file_result::state::copied:
            j.result = "copied";
            j.reason = r.reason;
            j.output = join(o_.out_dir, e.relative);
            j.bytes_in = r.in;
            j.bytes_out = r.out;
            break;
        case file_result::state::done:
            j.result = verb(o_.cmd);
            j.bytes_in = r.in;
            j.bytes_out = r.out;
            if (writes && !o_.out_dir.empty()) j.output = join(o_.out_dir, e.relative);
            if (writes && o_.out_dir.empty()) j.backup = e.path + ".BAK";
            for (const std::string& note : r.notes) {
                const std::string prefix = "warning: ";
                j.warnings.push_back(note.compare(0, prefix.size(), prefix) == 0
                                         ? note.substr(prefix.size())
                                         : note);
            }
            break;
    }
    out(json::line(j));
}

void reporter::file(const entry& e, const file_result& r) {
    const std::string name = shown(e.path, o_.names);
    switch (r.how) {
        case file_result::state::skipped:
            // The output folder is no file of the tree: named, never counted.
            if (e.skip != reasons::output_folder) ++skipped_;
            break;
        case file_result::state::failed:
            ++failed_;
            break;
        case file_result::state::copied:
            ++copied_;
            break;
        case file_result::state::done:
            ++done_;
            in_ += r.in;
            out_bytes_ += r.out;
            break;
    }
    if (o_.json) return json(e, r);
    switch (r.how) {
        case file_result::state::skipped:
            if (o_.verbose) line(name + ": skipped: " + r.reason);
            return;
        case file_result::state::failed:
            for (const std::string& note : r.notes) {
                line(name + ": " + note +
                     (r.copied
                          ? "; copied as it is to " + shown(join(o_.out_dir, e.relative), o_.names)
                          : ""));
            }
            return;
        case file_result::state::copied:
            if (o_.verbose)
                line(name + ": copied as it is to " +
                     shown(join(o_.out_dir, e.relative), o_.names) + " (" + r.reason + ")");
            return;
        case file_result::state::done:
            break;
    }
    if (!o_.quiet) {
        for (const std::string& note : r.notes) line(name + ": " + note);
    }
    if (o_.verbose && o_.cmd != command::l) {
        // l's rows already name every file.
        std::string text = name + ": " + verb(o_.cmd);
        if (o_.cmd != command::t) {
            if (!o_.out_dir.empty()) text += " to " + shown(join(o_.out_dir, e.relative), o_.names);
            text += ", " + std::to_string(r.in) + " bytes to " + std::to_string(r.out);
        }
        line(text);
    }
    if (o_.cmd == command::l) {
        // The header comes with the first row, so a run that lists nothing prints none.
        if (listed_++ == 0 && !o_.quiet)
            out(right("compressed", 10) + ' ' + right("original", 10) + ' ' + right("ratio", 7) +
                " name\n");
        out(listing_row(r.in, r.out, e.path, o_.names) + "\n");
    } else if (!r.data.empty()) {
        out(std::string(r.data.begin(), r.data.end()));
    }
}

void reporter::undo(const undo_result& r) {
    using outcome = undo_result::outcome;
    const std::string how = r.kind == undo_result::undoing::x ? "undoing x" : "undoing c";
    json::record j;
    j.names = o_.names;
    j.path = r.path;
    switch (r.how) {
        case outcome::restored:
            ++restored_;
            j.result = "restored", j.output = r.target, j.reason = how;
            if (o_.verbose && !o_.json)
                line(shown(r.target, o_.names) + ": restored from " + shown(r.path, o_.names) +
                     ", " + how);
            break;
        case outcome::would_restore:
            ++restored_;
            j.result = "would_restore", j.output = r.target, j.reason = how;
            if (!o_.json)
                out("would restore " + shown(r.target, o_.names) + " from " +
                    shown(r.path, o_.names) + ", " + how + "\n");
            break;
        case outcome::left_alone:
            ++left_;
            j.result = "left_alone", j.reason = r.reason;
            // A pair named on the command line is worth a word even without -v.
            if (!o_.json && (o_.verbose || (r.named && !o_.quiet)))
                line(shown(r.path, o_.names) + ": left alone: " + r.reason);
            break;
        case outcome::failed:
            ++failed_;
            j.result = "failed", j.error = r.reason;
            if (!o_.json) line(shown(r.path, o_.names) + ": " + r.reason);
            break;
    }
    if (o_.json) out(json::line(j));
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
    std::string drawn = text;
    const std::size_t width = drawn.size();
    if (width < progress_width_) drawn += std::string(progress_width_ - width, ' ');
    progress_width_ = width;
    to_.write(false, "\r" + drawn);
}

void reporter::clear_progress() {
    if (progress_width_ == 0) return;
    const std::size_t width = progress_width_;
    progress_width_ = 0;
    std::string blank(width + 2, ' ');
    blank.front() = blank.back() = '\r';
    to_.write(false, std::move(blank));
}

int reporter::finish() {
    clear_progress();
    if (o_.cmd == command::l && listed_ > 1 && !o_.quiet && !o_.json)
        out(listing_row(in_, out_bytes_, "(totals)") + "\n");
    // An empty listing would look the same as a run that never started.
    if (o_.cmd == command::l && listed_ == 0 && failed_ == 0 && !o_.quiet && !o_.json) {
        line(o_.paths.size() == 1 ? shown(o_.paths[0], o_.names) + ": no VKT2 file found"
                                  : "no VKT2 file found in any PATH");
    }
    if (o_.json && o_.cmd == command::undo) {
        json::object summary;
        summary.add("type", "summary")
            .add("command", "undo")
            .add("dry_run", o_.dry_run)
            .add(o_.dry_run ? "would_restore" : "restored", std::uint64_t{restored_})
            .add("failed", std::uint64_t{failed_})
            .add("left_alone", std::uint64_t{left_});
        out(summary.line());
    } else if (o_.json) {
        json::object summary;
        summary.add("type", "summary")
            .add("command", command_name(o_.cmd))
            .add("done", std::uint64_t{done_})
            .add("failed", std::uint64_t{failed_})
            .add("skipped", std::uint64_t{skipped_})
            .add("copied", std::uint64_t{copied_})
            .add("bytes_in", std::uint64_t{in_})
            .add("bytes_out", std::uint64_t{out_bytes_});
        out(summary.line());
    }
    to_.drain();
    if (to_.out_failed() && !to_.broken_pipe()) {
        ++failed_;
        line("standard output: write error");
    }
    const bool summary = (o_.cmd == command::x || o_.cmd == command::c || o_.cmd == command::t) &&
                         !to_standard_output(o_);
    if (o_.cmd == command::undo && !o_.quiet && !o_.json) {
        line(std::to_string(restored_) + (restored_ == 1 ? " file " : " files ") +
             (o_.dry_run ? "would be restored, " : "restored, ") + std::to_string(failed_) +
             " failed, " + std::to_string(left_) + " left alone");
    }
    if (summary && !o_.quiet && !o_.json) {
        const char* done = o_.cmd == command::t ? "passed" : "done";
        line(std::to_string(done_) + (done_ == 1 ? " file " : " files ") + done + ", " +
             std::to_string(failed_) + " failed, " + std::to_string(skipped_) + " skipped" +
             (o_.all ? ", " + std::to_string(copied_) + " copied" : "") + "; " +
             std::to_string(in_) + " bytes in, " + std::to_string(out_bytes_) + " bytes out");
    }
    to_.drain();
    return failed_ == 0 ? 0 : 1;
}

}  // namespace vkt2::batch
