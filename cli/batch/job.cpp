// One file, one command. Each step is what vkt2x or vkt2c does to a file, so in-place results
// match theirs byte for byte; only the messages differ.
#include "job.hpp"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "output.hpp"
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

// Reads up to buffer.size() bytes and zeroes the rest. The buffer is one byte longer than
// what is ever decoded, so a full read shows a file longer than that.
std::optional<std::size_t> load(const entry& e, std::span<std::uint8_t> buffer, std::string& why) {
    std::error_code ec;
    // Opening a FIFO would wait for a writer.
    if (e.named && fs::exists(e.path, ec) && !fs::is_regular_file(e.path, ec)) {
        why = "not a regular file";
        return std::nullopt;
    }
    platform::file in = platform::open_for_reading(e.path.c_str());
    if (!in) {
        why = "cannot open the file";
        return std::nullopt;
    }
    const auto got = platform::read_up_to(in, buffer);
    in.close();
    if (!got) {
        why = "cannot read the file";
        return std::nullopt;
    }
    std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(*got), buffer.end(), std::uint8_t{0});
    return got;
}

// Decodes `file` as vkt2x would and compares, as vkt2c does, so that a fault in the encoder
// can never replace a file with one that does not turn back into it.
bool decodes_back(std::span<const std::uint8_t> file, std::span<const std::uint8_t> input,
                  std::span<std::uint8_t> scratch) {
    const std::span<std::uint8_t> check = scratch.first(input.size());
    return parse_header(file) == input.size() &&
           decode_stream(token_stream(file), check).status == decode_status::ok &&
           std::equal(check.begin(), check.end(), input.begin(), input.end());
}

// Writes `data` in place of e.path, or under the output folder.
void put(const options& o, const entry& e, std::span<const std::uint8_t> data, file_result& r) {
    if (o.out_dir.empty()) {
        replacement output(e.path.c_str());
        if (!output.ready()) {
            r = failed("cannot create " + e.path + ".$$$");
            return;
        }
        switch (output.commit(data)) {
            case replacement::outcome::done:
                return;
            case replacement::outcome::write_failed:
                r = failed("cannot write " + e.path + ".$$$");
                return;
            case replacement::outcome::rename_failed:
                break;
        }
        r = failed("cannot rename to " + e.path + ".BAK and " + e.path + "; see " + e.path +
                   ".$$$");
        return;
    }
    const std::string target = join(o.out_dir, e.relative);
    switch (write_new(target, data, e.path, o.force)) {
        case write_outcome::done:
            return;
        case write_outcome::exists:
            r = failed(target + " already exists (-f replaces it)");
            return;
        case write_outcome::same_as_input:
            r = failed(target + " is the input itself");
            return;
        case write_outcome::failed:
            break;
    }
    r = failed("cannot write " + target);
}

}  // namespace

worker::worker() : input_(input_buffer_size + 1), output_(max_original_size) {}

file_result worker::run(const options& o, const entry& e) {
    std::string why;
    const auto got = load(e, input_, why);
    if (!got) return failed(why);
    const bool longer = *got > input_buffer_size;
    const std::span<const std::uint8_t> file(input_.data(), std::min(*got, input_buffer_size));
    const auto size = parse_header(file);

    file_result r;
    r.in = file.size();
    if ((o.cmd == command::c) == size.has_value()) {
        if (e.named) return failed(size ? "already in VKT2 form" : "not a VKT2 file");
        r.how = file_result::state::skipped;
        return r;
    }
    if (o.cmd == command::c) {
        if (*got > max_original_size) return failed("too large: VKT2 holds at most 65,535 bytes");
        const vkt2::file_result packed = compress(file);
        if (!packed) return failed("does not fit in 65,536 bytes once compressed");
        if (!decodes_back(packed.bytes, file, output_))
            return failed("the compressed data does not decode back; the file is left as it was");
        r.out = packed.bytes.size();
        put(o, e, packed.bytes, r);
        return r;
    }
    r.out = *size;
    if (o.cmd == command::t) {
        verdict v = test_file(file, longer, output_);
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
    // As vkt2x decodes: from the whole zero-filled load buffer.
    const std::span<std::uint8_t> decoded(output_.data(), *size);
    const std::span<const std::uint8_t> loaded(input_.data(), input_buffer_size);
    if (decode_stream(token_stream(loaded), decoded).status != decode_status::ok)
        return failed("the stream needs bytes past the first 65,536; it cannot be decoded");
    if (o.cmd == command::cat) {
        r.data.assign(decoded.begin(), decoded.end());
    } else {
        put(o, e, decoded, r);
    }
    return r;
}

}  // namespace vkt2::batch
