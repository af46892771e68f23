// What one file gets from one command: loaded, tested, decoded or encoded, and written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "mirror.hpp"
#include "options.hpp"
#include "platform.hpp"
#include "replace.hpp"
#include "walk.hpp"

namespace vkt2::batch {

struct file_result {
    enum class state { done, failed, skipped, copied } how = state::done;
    std::vector<std::string> notes;  // lines for standard error, without "vkt2: NAME: "
    std::string reason;              // why it was skipped, or copied as it is
    std::size_t in = 0;              // bytes read, or the file's size for l
    std::size_t out = 0;             // bytes written, or the original size for t and l
    std::vector<std::uint8_t> data;  // what goes to standard output: cat's, x -'s and c -'s
    bool archive = false;            // an archive, whose members the reporting thread reads
    bool copied = false;             // failed, yet copied as it is into the mirror (--all)
    std::vector<made_folder> made;   // the folders its output needed that this run made
};

file_result failed(std::string why);
file_result skipped(std::string why);

// ": " and the system's words for `error`, to end a message.
std::string because(int error);

// The file a commit was for: `path`, written through `path`.$$$, named as `names` reads it.
struct commit_target {
    const std::string& path;
    bool backup = false;  // the original was to be kept as `path`.BAK
    bool force = false;   // an existing `path` was to be replaced
    name_encoding names = name_encoding::raw;
};

// What a failed commit means for `to`.
std::string commit_failure(const replacement& output, replacement::outcome how,
                           const commit_target& to);

// Where an output goes below the output folder: the folder its name is in, and that name.
struct output_place {
    const platform::folder* out = nullptr;  // the output folder
    std::optional<platform::folder> below;  // the output's folder, when it is below `out`
    std::string leaf;                       // the output's name there
    std::string why;                        // why its folder cannot be had; empty when it can
    explicit operator bool() const { return why.empty(); }
    const platform::folder& folder() const { return below ? *below : *out; }
};

// Opens, making them as needed, the folders of `relative` below `out`, never through a link.
// The folders it makes are private until the run ends, and are added to `made`.
output_place output_folder(const platform::folder& out, const std::string& relative,
                           const options& o, std::vector<made_folder>& made);

// Holds one worker's buffers, reused from file to file.
class worker {
  public:
    worker();
    // `out` is the output folder, opened once for the run, or null for in place. A wait for a
    // pipe's writer ends once `interrupted` returns true.
    file_result run(const options& o, const entry& e, const platform::folder* out,
                    const std::function<bool()>& interrupted = {});

  private:
    file_result convert(const options& o, const entry& e, const platform::folder* out,
                        const std::function<bool()>& interrupted);
    file_result refuse(const options& o, const entry& e, const platform::folder* out,
                       std::string why);

    std::vector<made_folder> made_;
    std::vector<std::uint8_t> input_;   // the zero-filled load buffer, and one byte more
    std::vector<std::uint8_t> output_;  // room for the largest decoded file
};

}  // namespace vkt2::batch
