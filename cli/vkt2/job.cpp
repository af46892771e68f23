// One file, one command. Each step is what vkt2x or vkt2c does to a file, so in-place results
// match theirs byte for byte; only the messages differ.
#include "job.hpp"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "platform.hpp"
#include "replace.hpp"
#include "verdict.hpp"
#include "vkt2/vkt2.hpp"

namespace vkt2::batch {

namespace {

namespace fs = std::filesystem;

file_result failed(std::string why) {
    file_result r;
    r.how = file_result::state::failed;
    r.notes.push_back(std::move(why));
    return r;
}

// Loads up to buffer.size() bytes. The buffer is one byte longer than what ever counts, so a
// full read shows a file longer than that.
std::optional<source> load(const entry& e, std::span<std::uint8_t> buffer, std::string& why) {
    source s = load_source(e.path.c_str(), buffer);
    switch (s.result) {
        case source::status::loaded:
            return s;
        case source::status::cannot_open: {
            std::error_code ec;
            const auto type = fs::status(e.path, ec).type();
            why = !ec && type != fs::file_type::regular ? "not a regular file"
                                                        : "cannot open the file";
            break;
        }
        case source::status::cannot_read:
            why = "cannot read the file";
            break;
    }
    return std::nullopt;
}

// What a failed commit means for the file at `path`, written through `path`.$$$.
std::string commit_failure(replacement::outcome how, const std::string& path, bool backup) {
    switch (how) {
        case replacement::outcome::done:
        case replacement::outcome::cannot_create:
            break;
        case replacement::outcome::write_failed:
            return "cannot write " + path + ".$$$";
        case replacement::outcome::rename_failed:
            if (backup)
                return "cannot rename to " + path + ".BAK and " + path + "; see " + path + ".$$$";
            return path + " already exists (-f replaces it)";
    }
    return "cannot create " + path + ".$$$";
}

// Writes `data` in place of the input, as vkt2x and vkt2c do, or under the output folder.
void put(const options& o, const entry& e, const source& input, std::span<const std::uint8_t> data,
         file_result& r) {
    if (o.out_dir.empty()) {
        replacement output(input);
        const auto how = output.commit(data);
        if (how != replacement::outcome::done) r = failed(commit_failure(how, e.path, true));
        return;
    }
    const std::string target = join(o.out_dir, e.relative);
    const fs::path parent = fs::path(target).parent_path();
    std::error_code ec;
    // Replacing the input itself would lose it, with no backup to go back to.
    if (o.force && fs::equivalent(target, e.path, ec)) {
        r = failed(target + " is the input itself");
        return;
    }
    if (!parent.empty()) fs::create_directories(parent, ec);
    const auto folder = platform::open_folder(parent.empty() ? "." : parent.string().c_str());
    if (!folder) {
        r = failed("cannot create the folder " + parent.string());
        return;
    }
    replacement output(input, *folder, fs::path(target).filename().string(), o.force);
    const auto how = output.commit(data);
    if (how != replacement::outcome::done) r = failed(commit_failure(how, target, false));
}

}  // namespace

worker::worker() : input_(max_file_size + 1), output_(max_original_size) {}

file_result worker::run(const options& o, const entry& e) {
    std::string why;
    const auto input = load(e, input_, why);
    if (!input) return failed(why);
    const std::size_t got = input->size;
    const bool longer = got > max_file_size;
    const std::span<const std::uint8_t> file(input_.data(), std::min(got, max_file_size));
    const auto size = decoded_size(file);

    file_result r;
    r.in = file.size();
    if ((o.cmd == command::c) == size.has_value()) {
        if (e.named) return failed(size ? "already in VKT2 form" : "not a VKT2 file");
        r.how = file_result::state::skipped;
        return r;
    }
    if (o.cmd == command::c) {
        if (got > max_original_size) return failed("too large: VKT2 holds at most 65,535 bytes");
        const vkt2::file_result packed = compress(file);
        if (!packed) return failed("does not fit in 65,536 bytes once compressed");
        if (!decodes_to(packed.bytes, file, output_))
            return failed("the compressed data does not decode back; the file is left as it was");
        r.out = packed.bytes.size();
        put(o, e, *input, packed.bytes, r);
        return r;
    }
    r.out = *size;
    if (o.cmd == command::t) {
        verdict v = test_file(std::span<const std::uint8_t>(input_.data(), got));
        if (!v.failure.empty()) return failed(v.failure);
        r.notes = std::move(v.warnings);
        return r;
    }
    if (o.cmd == command::l) {
        std::error_code ec;
        const auto length = longer ? fs::file_size(e.path, ec) : 0;
        if (longer && !ec) r.in = static_cast<std::size_t>(length);
        return r;
    }
    const std::span<std::uint8_t> decoded(output_.data(), *size);
    if (decompress_into(file, decoded).status != file_status::ok)
        return failed("the stream needs bytes past the first 65,536; it cannot be decoded");
    if (o.cmd == command::cat) {
        r.data.assign(decoded.begin(), decoded.end());
    } else {
        put(o, e, *input, decoded, r);
    }
    return r;
}

}  // namespace vkt2::batch
