// vkt2 scan: each "VKT2" in a file is a candidate, judged by the library's verdict on the bytes
// from there as loading a file there would count them. A file is read once, front to back, in
// chunks that carry the last window over, so any size fits in a few megabytes.
#include "scan.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "job.hpp"
#include "json.hpp"
#include "mirror.hpp"
#include "replace.hpp"
#include "report.hpp"
#include "verdict.hpp"
#include "vkt2/format.hpp"
#include "walk.hpp"

namespace vkt2::batch {

bool scan_stream(const chunk_reader& read, std::size_t chunk,
                 const std::function<bool(std::uint64_t, std::span<const std::uint8_t>)>& found) {
    constexpr std::size_t window = max_file_size + 1;
    constexpr std::uint8_t magic[] = {'V', 'K', 'T', '2'};
    std::vector<std::uint8_t> buffer(std::max<std::size_t>(chunk, 1) + window);
    std::uint8_t* const data = buffer.data();
    std::size_t filled = 0;
    std::uint64_t base = 0;  // the offset of buffer[0]
    for (;;) {
        const auto got = read(std::span(buffer).subspan(filled));
        if (!got) return false;
        const bool end = filled + *got < buffer.size();
        filled += *got;
        // Every place whose window is all here; at the end, every place.
        const std::size_t limit = end ? filled : filled - window;
        for (std::size_t p = 0; p < limit; ++p) {
            const void* v = std::memchr(data + p, magic[0], limit - p);
            if (!v) break;
            p = static_cast<std::size_t>(static_cast<const std::uint8_t*>(v) - data);
            if (filled - p < sizeof magic || std::memcmp(data + p, magic, sizeof magic) != 0)
                continue;
            if (!found(base + p,
                       std::span<const std::uint8_t>(data + p, std::min(window, filled - p))))
                return false;
        }
        if (end) return true;
        std::memmove(data, data + limit, filled - limit);
        base += limit;
        filled -= limit;
    }
}

namespace {

constexpr std::size_t chunk_size = std::size_t{256} << 10;

// Judging a candidate walks its stream, up to 65,528 bytes; data that starts "VKT2" every few
// bytes would make that work grow with the square of its size, so a hostile file could hold a
// scan for hours. Work is paid from a credit that each byte read adds to: ordinary data never
// runs short, and then every candidate is judged. Short of credit, a candidate inside a file
// already found is passed over (it is part of that file's stream), and past an overdraft the
// rest are counted as not checked and said so, never dropped in silence.
constexpr std::int64_t credit_per_byte = 64;
constexpr std::int64_t credit_limit = std::int64_t{16} * max_file_size;

std::string right(std::uint64_t n, std::size_t width) {
    std::string s = std::to_string(n);
    return s.size() >= width ? s : std::string(width - s.size(), ' ') + s;
}

struct counts {
    std::uint64_t found = 0, rejected = 0, failed = 0, files = 0, bytes = 0, unchecked = 0;
};

class scanner {
  public:
    scanner(const options& o, sink& to, const platform::folder* out,
            const std::function<bool()>& interrupted)
        : o_(o), to_(to), out_(out), interrupted_(interrupted), decoded_(max_original_size) {}

    void file(const entry& e, const std::set<platform::identity>& inputs);
    void failure(const entry& e, const std::string& why);
    const counts& totals() const { return n_; }
    bool stopped() const { return stopped_; }
    // The folders made below the output folder for what was found.
    const std::vector<made_folder>& made() const { return made_; }

  private:
    void line(const std::string& text) { to_.write(false, "vkt2: " + text + "\n"); }
    bool candidate(const entry& e, const source& host, std::uint64_t offset,
                   std::span<const std::uint8_t> bytes, const std::set<platform::identity>& inputs);
    std::string write(const entry& e, const source& host, std::uint64_t offset,
                      std::span<const std::uint8_t> decoded,
                      const std::set<platform::identity>& inputs, std::string& target);

    const options& o_;
    sink& to_;
    const platform::folder* out_;
    const std::function<bool()>& interrupted_;
    std::vector<std::uint8_t> decoded_;
    counts n_;
    bool stopped_ = false;
    std::vector<made_folder> made_;
    // This file's: the work that may still be done, where the last file found ends, and the
    // candidates that were not judged.
    std::int64_t credit_ = 0;
    std::uint64_t found_end_ = 0, unchecked_ = 0;
};

void scanner::failure(const entry& e, const std::string& why) {
    ++n_.failed;
    if (!o_.json) return line(shown(e.path, o_.names) + ": " + why);
    json::record j;
    j.names = o_.names;
    j.path = e.path;
    j.result = "failed";
    j.error = why;
    to_.write(true, json::line(j));
}

std::string scanner::write(const entry& e, const source& host, std::uint64_t offset,
                           std::span<const std::uint8_t> decoded,
                           const std::set<platform::identity>& inputs, std::string& target) {
    const std::string relative = e.relative + "@" + std::to_string(offset);
    target = join(o_.out_dir, relative);
    const output_place place = output_folder(*out_, relative, o_, made_);
    if (!place) return place.why;
    const platform::folder* folder = &place.folder();
    const std::string& leaf = place.leaf;
    // -f replaces outputs, never a file this run reads.
    const auto seen =
        o_.force ? platform::look(*folder, leaf.c_str(), platform::follow_links::no) : std::nullopt;
    if (seen && inputs.count(seen->id)) return shown(target, o_.names) + " is an input of this run";
    replacement output(host, *folder, leaf, o_.force);
    const auto how = output.commit(decoded);
    return how == replacement::outcome::done
               ? std::string()
               : commit_failure(output, how, {target, false, o_.force, o_.names});
}

bool scanner::candidate(const entry& e, const source& host, std::uint64_t offset,
                        std::span<const std::uint8_t> bytes,
                        const std::set<platform::identity>& inputs) {
    // Before asking about signals, which costs a system call: a place passed over is cheap.
    if (credit_ <= 0 && offset < found_end_) return true;
    if (credit_ <= -credit_limit) {
        ++unchecked_;
        return true;
    }
    if (interrupted_ && interrupted_()) {
        stopped_ = true;
        return false;
    }
    const std::string at = shown(e.path, o_.names) + ": at offset " + std::to_string(offset);
    const vkt2::verdict v = vkt2::test(bytes);
    credit_ -= static_cast<std::int64_t>(header_size + v.stream_used);
    json::object j;
    j.add("type", "embedded").add_name("path", e.path, o_.names).add("offset", offset);
    if (v.result == grade::fail) {
        ++n_.rejected;
        if (!o_.verbose) return true;
        const std::string why = test_file(bytes).failure;
        if (o_.json)
            to_.write(true, j.add("result", "rejected").add("error", why).line());
        else
            line(at + ": rejected: " + why);
        return true;
    }
    // The embedded file ends where its stream does; what follows belongs to the host.
    const std::size_t stored = header_size + v.stream_used;
    found_end_ = std::max(found_end_, offset + stored);
    std::string target;
    if (out_) {
        const auto file = bytes.first(stored);
        const std::span<std::uint8_t> decoded(decoded_.data(), v.decoded_size);
        std::string why = decompress_into(file, decoded).status == file_status::ok
                              ? write(e, host, offset, decoded, inputs, target)
                              : "cannot be decoded";
        if (!why.empty()) {
            ++n_.failed;
            if (o_.json)
                to_.write(true, j.add("result", "failed").add("error", why).line());
            else
                line(at + ": " + why);
            return true;
        }
    }
    ++n_.found;
    if (o_.json) {
        j.add("result", "passed").add("bytes_in", std::uint64_t{stored});
        j.add("bytes_out", std::uint64_t{v.decoded_size});
        if (!target.empty()) j.add_name("output", target, o_.names);
        to_.write(true, j.line());
        return true;
    }
    to_.write(true, right(offset, 12) + ' ' + right(stored, 10) + ' ' + right(v.decoded_size, 10) +
                        " passed  " + shown(e.path, o_.names) + "\n");
    if (o_.verbose && !target.empty()) line(at + ": decoded to " + shown(target, o_.names));
    return true;
}

void scanner::file(const entry& e, const std::set<platform::identity>& inputs) {
    if (!e.problem.empty()) return failure(e, e.problem);
    if (!e.skip.empty()) {
        if (e.skip == reasons::output_folder || !o_.verbose) return;
        if (!o_.json) return line(shown(e.path, o_.names) + ": skipped: " + e.skip);
        json::record j;
        j.names = o_.names;
        j.path = e.path;
        j.result = "skipped";
        j.reason = e.skip;
        return static_cast<void>(to_.write(true, json::line(j)));
    }
    source host;
    platform::file f;
    int fd = platform::standard_input;
    bool stream = e.standard_input;
    if (!e.standard_input) {
        auto dir = e.folder ? platform::copy_folder(*e.folder) : std::nullopt;
        if (dir)
            f = platform::open_input(*dir, e.name.c_str(), host.attributes,
                                     {.follow = e.named, .stream = e.named});
        if (!f) {
            return failure(e, errno == EINVAL ? std::string("not a regular file")
                                              : "cannot open" + because(errno));
        }
        fd = f.get();
        stream = platform::is_pipe(host.attributes);
    }
    ++n_.files;
    credit_ = credit_limit / 4;
    found_end_ = unchecked_ = 0;
    const auto read = [&](std::span<std::uint8_t> buffer) -> std::optional<std::size_t> {
        // A long file with nothing in it still ends at an interrupt.
        if (interrupted_ && interrupted_()) {
            stopped_ = true;
            return std::nullopt;
        }
        const auto got = stream ? platform::read_stream(fd, buffer, interrupted_)
                                : platform::read_up_to(f, buffer);
        if (got) {
            n_.bytes += *got;
            credit_ =
                std::min(credit_ + credit_per_byte * static_cast<std::int64_t>(*got), credit_limit);
        }
        return got;
    };
    const bool complete = scan_stream(read, chunk_size, [&](std::uint64_t offset, auto bytes) {
        return candidate(e, host, offset, bytes, inputs);
    });
    if (unchecked_) {
        n_.unchecked += unchecked_;
        failure(e, std::to_string(unchecked_) +
                       " places starting VKT2 not checked: too many, too close together");
    }
    if (complete || stopped_) return;
    if (interrupted_ && interrupted_()) {
        stopped_ = true;
        return;
    }
    failure(e, "cannot read" + because(errno));
}

}  // namespace

int run_scan(const options& o, std::FILE* out, std::FILE* err,
             const std::function<bool()>& interrupted) {
    std::optional<platform::identity> out_id;
    std::optional<platform::folder> root;
    if (!o.out_dir.empty()) {
        if (auto existing = platform::open_folder(o.out_dir.c_str()))
            out_id = platform::identity_of(*existing);
    }
    walk_result w = walk(o.paths, out_id);
    respell(w, o.names);
    std::set<platform::identity> inputs;
    for (const entry& e : w.files)
        if (e.id) inputs.insert(*e.id);
    sink to(out, err, [&] { return interrupted && interrupted(); });
    made_folders made;
    if (!o.out_dir.empty()) {
        output_root opened = open_output(o.out_dir, !w.folders.empty());
        root = std::move(opened.folder);
        if (opened.made) made[""] = *opened.made;
        if (!root) {
            to.write(false, "vkt2: " + shown(o.out_dir, o.names) + ": " + opened.why + "\n");
            to.drain();
            return 1;
        }
    }
    if (!o.quiet && !o.json) to.write(true, "      offset     stored    decoded verdict name\n");
    scanner s(o, to, root ? &*root : nullptr, interrupted);
    // Two files of one name would write the same outputs, the second (with -f) over the first.
    std::map<std::string, std::string> outputs;
    for (const entry& e : w.files) {
        if (s.stopped() || to.broken_pipe() || (interrupted && interrupted())) break;
        if (root && e.problem.empty() && e.skip.empty()) {
            const auto [at, fresh] = outputs.emplace(platform::spelling(e.relative), e.path);
            if (!fresh) {
                s.failure(e, "same output as " + shown(at->second));
                continue;
            }
        }
        s.file(e, inputs);
    }
    // The folders made for outputs take the modes and dates of those they copy.
    if (root) {
        for (const made_folder& f : s.made()) made.emplace(f.relative, f.id);
        finish_folders(*root, made, w.folders);
    }
    if (s.stopped() || (interrupted && interrupted())) return 1;
    const counts& n = s.totals();
    if (o.json) {
        json::object summary;
        summary.add("type", "summary")
            .add("command", "scan")
            .add("found", n.found)
            .add("rejected", n.rejected)
            .add("failed", n.failed)
            .add("unchecked", n.unchecked)
            .add("files", n.files)
            .add("bytes_in", n.bytes);
        to.write(true, summary.line());
    } else if (!o.quiet) {
        to.write(false, "vkt2: " + std::to_string(n.found) + " found, " +
                            std::to_string(n.rejected) + " rejected, " + std::to_string(n.failed) +
                            " failed; " +
                            (n.unchecked ? std::to_string(n.unchecked) + " not checked; " : "") +
                            std::to_string(n.files) + (n.files == 1 ? " file, " : " files, ") +
                            std::to_string(n.bytes) + " bytes read\n");
    }
    to.drain();
    if (to.broken_pipe()) return broken_pipe_status;
    if (to.out_failed()) {
        std::fputs("vkt2: standard output: write error\n", err);
        return 1;
    }
    return n.failed == 0 ? 0 : 1;
}

}  // namespace vkt2::batch
