// The few operating-system calls the tools need, behind one small interface. Every path
// operation of a run is relative to one folder, opened once, so the folder a name resolves to
// cannot change under the run.
#pragma once

#include <sys/stat.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vkt2::platform {

// Closes a descriptor, which is gone afterwards even when this reports a failure.
bool close_descriptor(int fd);

// An owned file descriptor. Destruction closes it quietly; call close() where the
// result matters, as it does for anything written.
class file {
  public:
    file() = default;
    explicit file(int fd) : fd_(fd) {}
    file(file&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    file& operator=(file&& other) noexcept {
        if (this != &other) {
            close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    file(const file&) = delete;
    file& operator=(const file&) = delete;
    ~file() { close(); }

    explicit operator bool() const { return fd_ >= 0; }
    int get() const { return fd_; }
    bool close() { return fd_ < 0 || close_descriptor(std::exchange(fd_, -1)); }

  private:
    int fd_ = -1;
};

// An open folder: a descriptor on POSIX, the path prefix on Windows (which has no
// descriptor-relative calls).
struct folder {
#ifdef _WIN32
    std::string prefix;  // empty, or ending in a separator
#else
    file fd;
#endif
    long long group = -1;  // the folder's group where it was learnt when opened, or -1
};

// Owner, mode and times of a file, as its open descriptor reported them.
#ifdef _WIN32
using attributes = struct _stat64;
#else
using attributes = struct stat;
#endif

// Opens the folder `path` names, or nothing.
std::optional<folder> open_folder(const char* path);

// Opens the folder that holds `path` and sets `leaf` to the name within it. A trailing
// separator stays part of the leaf, so "dir/" names dir itself.
std::optional<folder> open_parent(const char* path, std::string& leaf);

// How open_input takes a name.
struct input_request {
    bool follow = true;   // a link is followed; otherwise it is refused (ELOOP)
    bool stream = false;  // a FIFO is taken too, to be read with read_stream
    // The caller has just looked at the name and found a regular file, so no look is needed
    // before the open (which spares devices the side effects an open may have).
    bool looked = false;
};

// Opens `name` for reading without waiting on a FIFO's writer, and reports its attributes.
// Nothing when it cannot be opened, or is neither a regular file nor a folder (a folder then
// fails at the read, as it always has); errno says why.
file open_input(const folder& dir, const char* name, attributes& info, const input_request& how);

// Whether `info` is that of a FIFO or pipe.
bool is_pipe(const attributes& info);

// The descriptor of standard input, which no `file` owns.
inline constexpr int standard_input = 0;

// Reads the descriptor `fd` until `buffer` is full or its data ends, waiting for a writer as
// long as it takes, but giving up (EINTR) once `interrupted` returns true, which it asks before
// every read and while it waits. With `total`, reads on to the end and counts every byte there.
// Nothing on a read error; errno says why. A terminal of another process group stops the
// process here, as a read would, so that a signal sent while it was stopped is seen on waking.
std::optional<std::size_t> read_stream(int fd, std::span<std::uint8_t> buffer,
                                       const std::function<bool()>& interrupted,
                                       std::uint64_t* total = nullptr);

// What a file is, as far as two names of one file go: device and inode, or on Windows the
// volume and file index.
struct identity {
    std::uint64_t device = 0, index = 0;
    auto operator<=>(const identity&) const = default;
};

enum class kind { file, folder, link, other };

// One name in a folder. `error` is the errno of looking at it (its kind then unknown), else 0.
struct listed {
    std::string name;
    kind type = kind::other;
    identity id;
    int error = 0;
};

// What a look at a name finds.
struct looked {
    kind type = kind::other;
    identity id;
};

enum class follow_links : bool { no, yes };

// Looks at `name` in `dir`, following a final link only with follow_links::yes. Nothing when it
// cannot, and errno says why.
std::optional<looked> look(const folder& dir, const char* name, follow_links how);

// The names in `dir` (without . and ..), each looked at without following links; nothing when
// the folder cannot be listed, and errno says why. With `quick`, a regular file is not looked at
// where the listing itself gives its kind and identity; a name removed since the listing then
// shows only when it is opened.
std::optional<std::vector<listed>> list_folder(const folder& dir, bool quick = false);

// A folder opened within another, and its identity.
struct subfolder {
    folder dir;
    identity id;
};

// Opens the folder `name` in `dir`, never through a link. Nothing when it cannot, and errno says
// why (ELOOP for a link).
std::optional<subfolder> open_subfolder(const folder& dir, const char* name);

// A folder make_subfolder opened: its identity, and whether that call made it.
struct made_subfolder {
    folder dir;
    identity id;
    bool made = false;
};

// Makes the folder `name` in `dir` with `mode` (less the umask) unless it exists, and opens it
// as open_subfolder does.
std::optional<made_subfolder> make_subfolder(const folder& dir, const char* name, unsigned mode);

// What the open folder `dir` reports of itself; false, with errno, when it cannot say.
bool folder_attributes(const folder& dir, attributes& info);

// Gives the open folder `dir` the owner, group, mode and times in `info` as copy_attributes
// gives them to a file. Where the system keeps no such attributes, it does nothing.
void copy_folder_attributes(const folder& dir, const attributes& info);

// A second handle on an open folder.
std::optional<folder> copy_folder(const folder& dir);

// The identity of an open folder.
std::optional<identity> identity_of(const folder& dir);

// The system's words for an errno value; the C library's are the same on every platform.
inline std::string reason(int error) {
    return std::strerror(error);
}

// Sets up any of the tools before it opens a file: descriptors 0, 1 and 2 open (to the null
// device when they were closed, so no file of the run can take their place), a write to a closed
// pipe or past the file-size limit a failed write rather than the end of the process, and an
// allocation that fails anywhere removes the guarded temporary files, prints `no_memory` on
// standard error and ends with status 1. `no_memory` must outlive the process. With
// `output_matters`, a closed standard output is opened for reading only, so that writing data
// there still fails as it would have, rather than vanishing.
void set_up_process(const char* no_memory, bool output_matters = false);

// Raises the limit on open descriptors as far as allowed: a walk holds one for each folder with
// files in it.
void raise_descriptor_limit();

// Whether standard stream `fd` (0, 1 or 2) is a terminal.
bool is_terminal(int fd);

// Whether a write to `fd` can wait on a reader (a pipe, socket or terminal), as a write to a
// file on disk cannot; true when it cannot be told.
bool may_stall(int fd);

// True when SIGINT, SIGTERM or SIGHUP waits, held, and is not one the caller ignores.
bool ending_signal_pending();

// Ends the process as a write to a closed pipe would have; returns only where that cannot be.
void end_as_broken_pipe();

// Opens `name` for writing as this run's own temporary file: created (at most 0600) or, when
// a stale one of this user is there, truncated. It must be a regular file with no other name,
// not a link, still at that name once locked, and locked by no other run; the lock lasts until
// the descriptor is closed. Nothing otherwise, and then the name is left as it was. With
// `info`, what the open file reported of itself goes there, for copy_attributes. With `like`, the
// attributes the file is to end with, a file it creates gets at once the mode creation_mode gives
// (less the umask), and is made private at once if its owner or group is not `like`'s: never more
// open than it will be, and most often needing no change of mode at the end.
file create_temp(const folder& dir, const char* name, attributes* info = nullptr,
                 const attributes* like = nullptr);

// The mode create_temp makes a file in `dir` with, to end like `like` (0600 without it): the
// owner's and others' read and search bits of `like`'s mode when `like`'s owner is this process's,
// and the group's only when the file is sure to get `like`'s group (the folder's group, learnt
// when it was opened, and the one this process makes files with are both `like`'s). Write,
// set-id and sticky bits always wait for the end.
unsigned creation_mode(const folder& dir, const attributes* like);

// True when `info`, what an open file reported of itself, shows it is the file `id` names. Never
// where it does not say which file it is (Windows).
bool identifies(const attributes& info, const identity& id);

// True when two looks at a file through open descriptors, `before` and `now`, show the same
// file (where the system says which) with the same size and modification time.
bool unchanged(const attributes& before, const attributes& now);

// What the open file `f` reports of itself now; false, with errno, when it cannot say.
bool attributes_of(const file& f, attributes& info);

// Reads until `buffer` is full or the file ends, or once `enough` bytes are in (the size the
// file reported, which spares the read that would find its end); nothing on a read error.
std::optional<std::size_t> read_up_to(const file& f, std::span<std::uint8_t> buffer,
                                      std::size_t enough = SIZE_MAX);

// Writes all of `data`; a write that makes no progress is a failure.
bool write_all(const file& f, std::span<const std::uint8_t> data);

enum class copy_failure { none, read, write };

// Copies `from`, from its start, to `to`, an empty file, through `buffer`. The ranges the system
// reports `from` has no data in are left as holes in `to`, as `cp --sparse=auto` does, so a
// sparse file takes no more room in its copy. Returns the length copied; nothing on a failure,
// with `failed` saying which side and errno why; a read failed with EINTR once an ending signal
// is pending.
std::optional<std::uint64_t> copy_data(const file& from, const file& to,
                                       std::span<std::uint8_t> buffer, copy_failure& failed);

// Reports what closing `f` would (such as a delayed write error) while keeping it open. `info`,
// when given, is what `f` reported of itself: on a local disk file system, where a close
// reports nothing the writes did not, that spares the check (learnt once per device).
bool check_written(const file& f, const attributes* info = nullptr);

// Gives `f` the owner, group, mode and times in `info`, as far as this process may. Mode bits
// that would reach further than the input's are dropped: the group bits when the group could
// not be set, the set-id bits unless both owner and group were. `now`, when given, is what `f`
// reported of itself since it was opened (create_temp's `info`).
void copy_attributes(const file& f, const attributes& info, const attributes* now = nullptr);

enum class rename_result { done, failed, unsupported };

// Renames `from` to `to` in `dir`. Without `replace` it fails when `to` exists, leaving both
// names as they were, or reports that the file system cannot promise that atomically.
rename_result rename(const folder& dir, const char* from, const char* to, bool replace);

// Swaps the files `a` and `b` name in `dir` in one step: at no moment is either name missing or
// any file replaced. unsupported (errno ENOSYS or the file system's EINVAL) where the system or
// the file system cannot; both names are then as they were.
rename_result exchange(const folder& dir, const char* a, const char* b);

// Gives the file `from` the second name `to`, failing when `to` exists.
bool link(const folder& dir, const char* from, const char* to);

bool remove(const folder& dir, const char* name);

// While a temporary file is guarded, SIGINT, SIGTERM and SIGHUP remove it before the process
// ends with the signal, and remove_guarded_temps() removes it. Construction also calls
// ignore_size_limit_signal(), so an exceeded limit is a failed write. Threads that rename
// guarded files should block those signals, so the handler never runs between two renames.
class temp_guard {
  public:
    temp_guard(const folder& dir, const char* name);
    temp_guard(const temp_guard&) = delete;
    temp_guard& operator=(const temp_guard&) = delete;
    ~temp_guard() { release(); }
    void release();  // the file is no longer ours to remove

  private:
    int slot_;
};

// Makes a write past the file-size limit fail with an error instead of ending the process.
void ignore_size_limit_signal();

// Removes every guarded temporary file; safe in a signal handler or on memory exhaustion.
void remove_guarded_temps();

// Holds SIGINT, SIGTERM and SIGHUP back from this thread while it lives. Within another
// signals_held of the same thread it costs nothing: a run holds them once, for all its files.
class signals_held {
  public:
    signals_held();
    signals_held(const signals_held&) = delete;
    signals_held& operator=(const signals_held&) = delete;
    ~signals_held();

#ifndef _WIN32
  private:
    sigset_t saved_;
    bool outer_;
#endif
};

// The command line's arguments, as bytes. Windows hands them over in UTF-16 whatever the code
// page, to wmain, which VKT2_MAIN names there, and they become UTF-8 as utf16.hpp describes;
// elsewhere they are main's bytes as they are.
#ifdef _WIN32
using native_char = wchar_t;
#define VKT2_MAIN wmain
#else
using native_char = char;
#define VKT2_MAIN main
#endif
std::vector<std::string> arguments(int argc, native_char** argv);

// The spelling under which the system finds the path `relative` ('/' between names): two paths
// of one spelling name one file. Windows finds names in any case and without their trailing dots
// and spaces; elsewhere a name is its bytes.
std::string spelling(std::string_view relative);

}  // namespace vkt2::platform
