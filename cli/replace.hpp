// The replace step every tool shares: load an input, then write a new file through a temporary
// NAME.$$$ beside its target and rename it into place, never replacing a file unasked. Nothing
// here prints or exits; each step returns a value saying how it ended, which the tool words.
//
// In place:  NAME.$$$ is written, NAME becomes NAME.BAK, NAME.$$$ becomes NAME.
// Elsewhere: NAME.$$$ is written in the output folder and becomes NAME there, replacing an
//            existing NAME only when forced (atomically); no backup is made.
// The original is never rewritten, only renamed, so at any moment it is whole under NAME or
// NAME.BAK. The new file gets the input's mode, owner and group (as far as the process may)
// and times, but only once completely written. Until then, in place, it is private to the user,
// as the one-file tools have always made it; elsewhere it is never more open than it will be at
// the end (made with the input's read and search bits where no other owner or group gets them).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "platform.hpp"

namespace vkt2 {

// An input file and what replacing it needs: the folder that holds it, opened once so every
// later step happens there, its name in that folder, and its attributes.
struct source {
    enum class status { loaded, cannot_open, cannot_read };
    status result = status::cannot_open;
    platform::folder folder;
    // A folder shared with the caller, held instead of `folder` when set (no descriptor copied).
    std::shared_ptr<const platform::folder> shared;
    std::string name;
    platform::attributes attributes{};
    std::size_t size = 0;  // bytes loaded
    int error = 0;         // the errno of a failure

    const platform::folder& dir() const { return shared ? *shared : folder; }
};

// Loads the start of `path` into `buffer`, reading until it is full or the file ends.
// cannot_open: the path cannot be opened, or is not a regular file (a FIFO, a device, a socket);
// cannot_read: a read failed (as it does for a folder).
source load_source(const char* path, std::span<std::uint8_t> buffer);

// The same for `name` in the open folder `dir`, which the source keeps; unless `follow`, a
// link at `name` is refused.
source load_source(platform::folder dir, std::string name, std::span<std::uint8_t> buffer,
                   bool follow);

// The same in a folder the source shares rather than owns.
source load_source(std::shared_ptr<const platform::folder> dir, std::string name,
                   std::span<std::uint8_t> buffer, const platform::input_request& how);

// The renames the replace step and undo make. Tests derive from it to make any one of them fail,
// or to act just before one.
struct renamer {
    virtual ~renamer() = default;
    virtual platform::rename_result rename(const platform::folder& dir, const char* from,
                                           const char* to, bool replace) const {
        return platform::rename(dir, from, to, replace);
    }
    virtual platform::rename_result exchange(const platform::folder& dir, const char* a,
                                             const char* b) const {
        return platform::exchange(dir, a, b);
    }
    virtual bool link(const platform::folder& dir, const char* from, const char* to) const {
        return platform::link(dir, from, to);
    }
    virtual bool remove(const platform::folder& dir, const char* name) const {
        return platform::remove(dir, name);
    }
};

// Renames `from` to `to` in `dir` unless `to` exists, leaving both names as they were on any
// failure. Where the file system cannot do that atomically: link, then unlink.
bool rename_no_replace(const renamer& ops, const platform::folder& dir, const char* from,
                       const char* to);

// One new file written through a temporary file. Construction creates (or takes over a stale)
// NAME.$$$, and removes it again on destruction unless commit() completed the data.
class replacement {
  public:
    enum class outcome {
        done,
        cannot_create,
        read_failed,
        write_failed,
        rename_failed,
        changed  // a copy's source changed while it was read: its bytes and dates would not match
    };

    // In place of `input`, keeping it as NAME.BAK. `input` and `ops` must outlive this.
    explicit replacement(const source& input, const renamer& ops = default_renamer);
    // As `name` in `out`, replacing an existing one only if `force`.
    replacement(const source& input, const platform::folder& out, std::string name, bool force,
                const renamer& ops = default_renamer);
    replacement(const replacement&) = delete;
    replacement& operator=(const replacement&) = delete;
    ~replacement();

    // False when NAME.$$$ could not be made this run's own file: then commit() does nothing.
    bool ready() const { return static_cast<bool>(file_); }

    // Writes `data`, gives the file the input's attributes and renames it into place. Once the
    // data is complete the temporary file is kept when a rename fails: it is what the user
    // recovers.
    outcome commit(std::span<const std::uint8_t> data);

    // The same with the open file `from`, from its start, as the data, read through `buffer`,
    // for a file copied as it is, its holes kept; written() says how many bytes that was. `from`
    // must still show the size and modification time of the input's attributes once read, or
    // nothing is kept.
    outcome commit_copy(const platform::file& from, std::span<std::uint8_t> buffer);
    std::uint64_t written() const { return written_; }

    // Checks the written data at close only on a file system whose close may report an error
    // the writes did not (a network or user-space one), as a run of many files does; a lone
    // file is always checked.
    void check_only_where_close_reports() { check_everywhere_ = false; }

    // The same with the data from `read`, called with `buffer` until it gives 0 bytes, or
    // nothing on a read error (with errno set where there is one): for data that comes from
    // no file, as an archive member does.
    using reader = std::function<std::optional<std::size_t>(std::span<std::uint8_t>)>;
    outcome commit_read(const reader& read, std::span<std::uint8_t> buffer);

    // The errno of the step that failed, 0 when none did or none was known.
    int error() const { return error_; }

    static const renamer default_renamer;

  private:
    outcome finish();
    replacement(const source& input, const platform::folder& dir, std::string name, bool backup,
                bool force, const renamer& ops);

    const source& input_;
    const platform::folder& dir_;
    const renamer& ops_;
    std::string name_, temp_name_, backup_name_;  // no backup when empty
    bool force_;
    bool check_everywhere_ = true;
    int error_ = 0;
    std::uint64_t written_ = 0;
    platform::file file_;
    platform::attributes temp_{};  // what file_ reported of itself when it was made
    std::optional<platform::temp_guard> guard_;
};

}  // namespace vkt2
