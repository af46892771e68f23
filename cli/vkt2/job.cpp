// One file, one command. Each step is what vkt2x or vkt2c does to a file, so in-place results
// match theirs byte for byte; only the messages differ. Every file operation goes through the
// folder the walk opened, or through folders opened below the output folder, never by path.
#include "job.hpp"

#include <algorithm>
#include <cerrno>
#include <optional>

#include "archive_kind.hpp"
#include "replace.hpp"
#include "shown.hpp"
#include "verdict.hpp"
#include "vkt2/format.hpp"
#include "vkt2/vkt2.hpp"

namespace vkt2::batch {

file_result failed(std::string why) {
    file_result r;
    r.how = file_result::state::failed;
    r.notes.push_back(std::move(why));
    return r;
}

file_result skipped(std::string why) {
    file_result r;
    r.how = file_result::state::skipped;
    r.reason = std::move(why);
    return r;
}

std::string because(int error) {
    return ": " + platform::reason(error);
}

namespace {

// Why a file could not be opened, as the folder tool says it.
std::string open_failure(int error) {
    return error == EINVAL ? "not a regular file" : "cannot open" + because(error);
}

// Loads up to buffer.size() bytes. The buffer is one byte longer than what ever counts, so a
// full read shows a file longer than that. Standard input, and a FIFO named for a command that
// only reads, are read as streams; `whole` is then the size of all of it when `count_all`.
// How load() reads a file.
struct load_request {
    bool stream = false;     // a FIFO named on the command line is read as a stream
    bool follow = true;      // a link may be followed
    bool count_all = false;  // `whole` counts a stream to its end
    const std::function<bool()>& interrupted;
};

// What load() found besides the bytes.
struct load_notes {
    std::uint64_t whole = 0;  // the size of the whole input
    std::string why;          // why nothing was loaded
};

std::optional<source> load(const entry& e, std::span<std::uint8_t> buffer, const load_request& how,
                           load_notes& notes) {
    const bool stream = how.stream, follow = how.follow, count_all = how.count_all;
    const auto& interrupted = how.interrupted;
    std::uint64_t& whole = notes.whole;
    std::string& why = notes.why;
    const auto read = [&](int fd, source& s) {
        const auto got =
            platform::read_stream(fd, buffer, interrupted, count_all ? &whole : nullptr);
        if (!got) {
            why = "cannot read" + because(errno);
            return false;
        }
        s.size = *got;
        if (!count_all) whole = *got;
        s.result = source::status::loaded;
        return true;
    };
    if (e.standard_input) {
        source s;
        if (!read(platform::standard_input, s)) return std::nullopt;
        return s;
    }
    if (!e.folder) {
        why = "cannot open" + because(EBADF);
        return std::nullopt;
    }
    if (stream) {
        source s;
        platform::file f = platform::open_input(*e.folder, e.name.c_str(), s.attributes,
                                                platform::input_request{true, true, false});
        if (!f) {
            why = open_failure(errno);
            return std::nullopt;
        }
        if (platform::is_pipe(s.attributes)) {
            s.shared = e.folder;
            s.name = e.name;
            if (!read(f.get(), s)) return std::nullopt;
            return s;
        }
        // A regular file after all: loaded as any other below.
    }
    // Below a named folder a link is never followed, even one swapped in since the walk. A file
    // the walk found was looked at there: a regular file.
    source s =
        load_source(e.folder, e.name, buffer, platform::input_request{follow, false, !e.named});
    switch (s.result) {
        case source::status::loaded:
            whole = static_cast<std::uint64_t>(s.attributes.st_size);
            return s;
        case source::status::cannot_open:
            if (s.error == ELOOP && e.named)
                why =
                    "a link: in place only a file is replaced; name the file it leads to, or "
                    "use -o or -";
            else
                why = open_failure(s.error);
            break;
        case source::status::cannot_read:
            why = "cannot read" + because(s.error);
            break;
    }
    return std::nullopt;
}

}  // namespace

std::string commit_failure(const replacement& output, replacement::outcome how,
                           const commit_target& to) {
    const std::string shown_path = shown(to.path, to.names);
    const bool backup = to.backup, force = to.force;
    switch (how) {
        case replacement::outcome::done:
        case replacement::outcome::cannot_create:
            break;
        case replacement::outcome::read_failed:
            return "cannot read" + because(output.error());
        case replacement::outcome::changed:
            return "changed while it was copied; " + shown_path + " is not written";
        case replacement::outcome::write_failed:
            return "cannot write " + shown_path + ".$$$" + because(output.error());
        case replacement::outcome::rename_failed:
            if (backup) {
                return "cannot rename to " + shown_path + ".BAK and " + shown_path + "; see " +
                       shown_path + ".$$$";
            }
            if (!force && output.error() == EEXIST)
                return shown_path + " already exists (-f replaces it)";
            return "cannot rename " + shown_path + ".$$$ to " + shown_path +
                   because(output.error());
    }
    return "cannot create " + shown_path + ".$$$" + because(output.error());
}

output_place output_folder(const platform::folder& out, const std::string& relative,
                           const options& o, std::vector<made_folder>& made) {
    output_place place;
    place.out = &out;
    std::size_t start = 0;
    for (std::size_t slash; (slash = relative.find('/', start)) != std::string::npos;
         start = slash + 1) {
        const std::string part = relative.substr(start, slash - start);
        auto sub = platform::make_subfolder(place.folder(), part.c_str(), private_folder);
        if (!sub) {
            place.why = "cannot make the folder " +
                        shown(join(o.out_dir, relative.substr(0, slash)), o.names) + because(errno);
            place.below.reset();
            return place;
        }
        if (sub->made) made.push_back({relative.substr(0, slash), sub->id});
        place.below = std::move(sub->dir);
    }
    place.leaf = relative.substr(start);
    return place;
}

namespace {

// With -f, whether `leaf` in `folder` is the input itself: replacing it would lose it, with no
// backup to go back to. (Without -f the rename refuses any existing file anyway.) The file read
// counts as much as the walk's: a file mounted over a name is listed as the one it hides, and a
// name may be swapped since the listing.
bool output_is_input(const options& o, const entry& e, const source& input,
                     const platform::folder& folder, const std::string& leaf) {
    if (!o.force) return false;
    const auto seen = platform::look(folder, leaf.c_str(), platform::follow_links::no);
    return seen &&
           ((e.id && seen->id == *e.id) || platform::identifies(input.attributes, seen->id));
}

// Writes `data` in place of the input, as vkt2x and vkt2c do, or under the output folder.
void put(const options& o, const entry& e, const source& input, std::span<const std::uint8_t> data,
         const platform::folder* out, std::vector<made_folder>& made, file_result& r) {
    if (!out) {
        replacement output(input);
        output.check_only_where_close_reports();
        const auto how = output.commit(data);
        if (how != replacement::outcome::done)
            r = failed(commit_failure(output, how, {e.path, true, false, o.names}));
        return;
    }
    const std::string target = join(o.out_dir, e.relative);
    const output_place place = output_folder(*out, e.relative, o, made);
    if (!place) {
        r = failed(place.why);
        return;
    }
    const platform::folder& folder = place.folder();
    const std::string& leaf = place.leaf;
    if (output_is_input(o, e, input, folder, leaf)) {
        r = failed(shown(target, o.names) + " is the input itself");
        return;
    }
    replacement output(input, folder, leaf, o.force);
    output.check_only_where_close_reports();
    const auto how = output.commit(data);
    if (how != replacement::outcome::done)
        r = failed(commit_failure(output, how, {target, false, o.force, o.names}));
}

// Copies the skipped file as it is to its place under the output folder (--all), through the
// same temporary file, checks and renames as an output.
file_result copy_as_is(const options& o, const entry& e, const platform::folder& out,
                       std::span<std::uint8_t> buffer, std::vector<made_folder>& made,
                       std::string why_skipped) {
    auto dir = e.folder ? platform::copy_folder(*e.folder) : std::nullopt;
    if (!dir) return failed("cannot open" + because(errno));
    source input;
    input.name = e.name;
    platform::file from =
        platform::open_input(*dir, e.name.c_str(), input.attributes, {.follow = e.named});
    if (!from) return failed(open_failure(errno));
    input.folder = std::move(*dir);
    input.result = source::status::loaded;
    const std::string target = join(o.out_dir, e.relative);
    const output_place place = output_folder(out, e.relative, o, made);
    if (!place) return failed(place.why);
    const platform::folder& folder = place.folder();
    const std::string& leaf = place.leaf;
    if (output_is_input(o, e, input, folder, leaf))
        return failed(shown(target, o.names) + " is the input itself");
    replacement output(input, folder, leaf, o.force);
    const auto how = output.commit_copy(from, buffer);
    if (how != replacement::outcome::done)
        return failed(commit_failure(output, how, {target, false, o.force, o.names}));
    file_result r;
    r.how = file_result::state::copied;
    r.reason = std::move(why_skipped);
    r.in = r.out = static_cast<std::size_t>(output.written());
    return r;
}

}  // namespace

worker::worker() : input_(max_file_size + 1), output_(max_original_size) {}

file_result worker::run(const options& o, const entry& e, const platform::folder* out,
                        const std::function<bool()>& interrupted) {
    made_.clear();
    file_result r = convert(o, e, out, interrupted);
    r.made = std::move(made_);
    return r;
}

file_result worker::refuse(const options& o, const entry& e, const platform::folder* out,
                           std::string why) {
    // With --all the mirror holds every regular file: one the command refuses is copied as it
    // is, and its failure still counts.
    if (!o.all || !out || e.standard_input) return failed(std::move(why));
    file_result r = copy_as_is(o, e, *out, input_, made_, {});
    if (r.how != file_result::state::copied) {
        r.notes.insert(r.notes.begin(), std::move(why));
        return r;
    }
    r.how = file_result::state::failed;
    r.copied = true;
    r.notes.assign(1, std::move(why));
    return r;
}

file_result worker::convert(const options& o, const entry& e, const platform::folder* out,
                            const std::function<bool()>& interrupted) {
    if (!e.skip.empty()) return copy_as_is(o, e, *out, input_, made_, e.skip);
    const bool reads_only = o.cmd == command::t || o.cmd == command::l || o.cmd == command::cat;
    const bool in_place = !reads_only && !out && !e.standard_input;
    // In place, the name is renamed to NAME.BAK: a link named there (/dev/stdin, say) would be
    // moved aside and a file put where it was, far from the data it led to. Refused, as gzip does.
    load_notes notes;
    const auto input = load(e, input_,
                            {.stream = e.named && reads_only,
                             .follow = e.named && !in_place,
                             .count_all = o.cmd == command::l,
                             .interrupted = interrupted},
                            notes);
    if (!input) return failed(notes.why);
    const std::uint64_t whole = notes.whole;
    const std::size_t got = input->size;
    const bool longer = got > max_file_size;
    const std::span<const std::uint8_t> file(input_.data(), std::min(got, max_file_size));
    const auto size = decoded_size(file);

    file_result r;
    r.in = file.size();
    // An archive is read like a folder where it is named, or met with --archives; it is never
    // changed in place.
    if (!size && !e.standard_input && (e.named || o.archives) &&
        (o.cmd != command::c || in_place)) {
        if (const std::string kind = archive_kind(e, file); !kind.empty()) {
            if (o.cmd == command::c)
                return failed("an archive; c in place would replace it (c -o DIR compresses it)");
            if (!archives_supported())
                return failed("an archive (" + kind + "); this vkt2 reads no archives");
            if (in_place)
                return failed(
                    "an archive; x changes no archive in place (x -o DIR decodes its "
                    "members)");
            r.archive = true;
            return r;
        }
    }
    if ((o.cmd == command::c) == size.has_value()) {
        if (e.named) return refuse(o, e, out, size ? "already in VKT2 form" : "not a VKT2 file");
        const char* reason = size ? reasons::vkt2 : reasons::not_vkt2;
        if (o.all && out) return copy_as_is(o, e, *out, input_, made_, reason);
        return skipped(reason);
    }
    // In place, the backup's name must be free before anything is written.
    if (in_place &&
        platform::look(input->dir(), (e.name + ".BAK").c_str(), platform::follow_links::no))
        return failed(shown(e.path, o.names) + ".BAK already exists");
    if (o.cmd == command::c) {
        if (got > max_original_size)
            return refuse(o, e, out, "too large: VKT2 holds at most 65,535 bytes");
        const vkt2::file_result packed = compress(file);
        if (!packed) return refuse(o, e, out, "does not fit in 65,536 bytes once compressed");
        if (!decodes_to(packed.bytes, file, output_))
            return refuse(o, e, out,
                          "the compressed data does not decode back; the file is left as it was");
        r.out = packed.bytes.size();
        if (e.standard_input)
            r.data = packed.bytes;
        else
            put(o, e, *input, packed.bytes, out, made_, r);
        return r;
    }
    r.out = *size;
    const std::span<const std::uint8_t> loaded(input_.data(), got);
    if (o.cmd == command::t) {
        verdict v = test_file(loaded);
        if (!v.failure.empty()) return refuse(o, e, out, v.failure);
        r.notes = std::move(v.warnings);
        return r;
    }
    if (o.cmd == command::l) {
        // The size the descriptor reported when the file was loaded, or all a stream held.
        if (longer) r.in = static_cast<std::size_t>(whole);
        return r;
    }
    // What t warns of, x and cat say too: the file decodes, but some of its bytes never count.
    // Decoding and judging take one pass over a file that passes.
    const std::span<std::uint8_t> decoded(output_.data(), *size);
    const auto found = decode_and_judge(loaded, got, decoded, o.zero_fill);
    verdict v = worded(found.verdict);
    if (!v.failure.empty() && !o.zero_fill) return refuse(o, e, out, v.failure);
    r.notes = std::move(v.warnings);
    if (found.status != VKT2_OK) return refuse(o, e, out, vkt2_error_name(found.status));
    if (o.cmd == command::cat || e.standard_input) {
        r.data.assign(decoded.begin(), decoded.end());
    } else {
        put(o, e, *input, decoded, out, made_, r);
    }
    return r;
}

}  // namespace vkt2::batch
