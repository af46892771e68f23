// POSIX and Linux implementation of the platform layer.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#ifdef __linux__
#include <linux/magic.h>
#include <sys/vfs.h>
#endif
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string_view>

#include "platform.hpp"

#ifndef O_PATH
#define O_PATH O_RDONLY
#endif

namespace vkt2::platform {

bool close_descriptor(int fd) {
    // Linux releases the descriptor even when close reports an error, so never retry.
    return ::close(fd) == 0;
}

std::optional<folder> open_folder(const char* path) {
    // O_PATH needs no read permission on the folder, only the search permission any run
    // needs anyway.
    file fd(::open(path, O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return std::nullopt;
    return folder{std::move(fd)};
}

std::optional<folder> open_parent(const char* path, std::string& leaf) {
    const std::string_view whole(path);
    const auto slash =
        whole.size() < 2 ? std::string_view::npos : whole.find_last_of('/', whole.size() - 2);
    if (slash == std::string_view::npos) {
        leaf = whole;
        return open_folder(".");
    }
    leaf = whole.substr(slash + 1);
    return open_folder(std::string(whole.substr(0, slash + 1)).c_str());
}

namespace {
bool regular_or_folder(const struct stat& st) {
    return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode);
}
}  // namespace

file open_input(const folder& dir, const char* name, attributes& info, const input_request& how) {
    // Looking first spares devices the side effects an open may have; the open descriptor is
    // what counts, as the name may change in between.
    const bool follow = how.follow;
    const auto wanted = [&](const struct stat& st) {
        return regular_or_folder(st) || (how.stream && S_ISFIFO(st.st_mode));
    };
    struct stat named;
    if (!how.looked) {
        if (::fstatat(dir.fd.get(), name, &named, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
            return file();
        if (!wanted(named)) {
            errno = S_ISLNK(named.st_mode) ? ELOOP : EINVAL;
            return file();
        }
    }
    const int nofollow = follow ? 0 : O_NOFOLLOW;
    file f(::openat(dir.fd.get(), name, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | nofollow));
    if (f && (::fstat(f.get(), &info) != 0 || !wanted(info))) {
        errno = EINVAL;
        return file();
    }
    // A FIFO is then read as a pipe: read_stream waits for its writer.
    if (f && S_ISFIFO(info.st_mode)) {
        const int flags = ::fcntl(f.get(), F_GETFL);
        if (flags == -1 || ::fcntl(f.get(), F_SETFL, flags & ~O_NONBLOCK) == -1) return file();
    }
    return f;
}

bool is_pipe(const attributes& info) {
    return S_ISFIFO(info.st_mode);
}

namespace {

// A read of a terminal from a background process group stops the process (SIGTTIN) inside the
// read, and once continued the read starts over and stops it again: a signal held meanwhile is
// never looked at. So the stop is made here, between two looks at the signals; true when this
// stopped the process. Where the read would fail instead (SIGTTIN ignored or held here, or a
// group that no job control can continue) the read is left to say so.
bool stop_until_foreground(int fd) {
    const pid_t owner = ::tcgetpgrp(fd);
    const pid_t group = ::getpgrp();
    if (owner < 0 || owner == group) return false;
    struct sigaction action;
    sigset_t held;
    if (::sigaction(SIGTTIN, nullptr, &action) != 0 || action.sa_handler == SIG_IGN ||
        ::pthread_sigmask(SIG_BLOCK, nullptr, &held) != 0 || sigismember(&held, SIGTTIN) == 1)
        return false;
    // A parent in another group of the session keeps the group from being orphaned; without
    // one the stop might be dropped, and the read gives EIO.
    const pid_t parent = ::getppid();
    if (::getpgid(parent) == group || ::getsid(parent) != ::getsid(0)) return false;
    // Sent to this thread, the stop is taken before raise() returns; sent to the process, another
    // thread might take it while this one reads on. (The others of the group stop at their own
    // reads of the terminal.)
    return ::raise(SIGTTIN) == 0;
}

}  // namespace

std::optional<std::size_t> read_stream(int fd, std::span<std::uint8_t> buffer,
                                       const std::function<bool()>& interrupted,
                                       std::uint64_t* total) {
    // The run holds back ending signals, so a read would not end at one: `interrupted` is asked
    // before every read, since a writer that never pauses (/dev/zero) or sends a little often
    // never lets a wait run out, and the wait is a poll that asks it now and then. Descriptor 0
    // stays blocking, as other processes share it.
    std::uint8_t scrap[16384];
    std::size_t got = 0;
    std::uint64_t counted = 0;
    for (;;) {
        const bool filling = got < buffer.size();
        if (!filling && !total) break;
        if (interrupted && interrupted()) {
            errno = EINTR;
            return std::nullopt;
        }
        if (stop_until_foreground(fd)) {
            // A shell ends a stopped job with the signal, then SIGCONT: looked at here at once,
            // as the next look of a caller's watch might come only after the next stop.
            if (ending_signal_pending()) {
                errno = EINTR;
                return std::nullopt;
            }
            continue;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 100);
        if (ready < 0 && errno != EINTR) return std::nullopt;
        if (ready <= 0) continue;
        const ssize_t n = filling ? ::read(fd, buffer.data() + got, buffer.size() - got)
                                  : ::read(fd, scrap, sizeof scrap);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return std::nullopt;
        }
        if (filling) got += static_cast<std::size_t>(n);
        counted += static_cast<std::uint64_t>(n);
    }
    if (total) *total = counted;
    return got;
}

namespace {
kind kind_of(const struct stat& st) {
    return S_ISREG(st.st_mode)   ? kind::file
           : S_ISDIR(st.st_mode) ? kind::folder
           : S_ISLNK(st.st_mode) ? kind::link
                                 : kind::other;
}
identity identity_from(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}
}  // namespace

bool identifies(const attributes& info, const identity& id) {
    return identity_from(info) == id;
}

std::optional<looked> look(const folder& dir, const char* name, follow_links how) {
    struct stat st;
    if (::fstatat(dir.fd.get(), name, &st, how == follow_links::yes ? 0 : AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return looked{kind_of(st), identity_from(st)};
}

namespace {

// Whether this file system's listing numbers each name with the inode a look at it reports, as
// the local disk ones do. Overlay, network and user-space ones may number them otherwise.
bool listing_numbers_are_inodes(int fd) {
#ifdef __linux__
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case EXT4_SUPER_MAGIC:
        case XFS_SUPER_MAGIC:
        case BTRFS_SUPER_MAGIC:
        case TMPFS_MAGIC:
        case F2FS_SUPER_MAGIC:
            return true;
        default:
            break;
    }
#else
    static_cast<void>(fd);
#endif
    return false;
}

}  // namespace

std::optional<std::vector<listed>> list_folder(const folder& dir, bool quick) {
    // The folder's own descriptor may lack read access (O_PATH): listing needs a new one.
    const int fd = ::openat(dir.fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    // A regular file's kind and number come with its name: its look is spared where they are
    // the look's own, and its device is the folder's. (Only a file mounted over a name is listed
    // as the file it hides; no rename can move or replace it, and later steps go by descriptor.)
    struct stat here;
    const bool trusted = quick && ::fstat(fd, &here) == 0 && listing_numbers_are_inodes(fd);
    DIR* d = ::fdopendir(fd);
    if (!d) {
        const int e = errno;
        ::close(fd);
        errno = e;
        return std::nullopt;
    }
    std::vector<listed> names;
    for (;;) {
        errno = 0;
        const dirent* de = ::readdir(d);
        if (!de) break;
        const std::string_view n(de->d_name);
        if (n == "." || n == "..") continue;
        listed item;
        item.name = n;
#ifdef _DIRENT_HAVE_D_TYPE
        if (trusted && de->d_type == DT_REG) {
            item.type = kind::file;
            item.id = {static_cast<std::uint64_t>(here.st_dev),
                       static_cast<std::uint64_t>(de->d_ino)};
            names.push_back(std::move(item));
            continue;
        }
#endif
        if (const auto seen = look(dir, de->d_name, follow_links::no)) {
            item.type = seen->type;
            item.id = seen->id;
        } else {
            item.error = errno;
        }
        names.push_back(std::move(item));
    }
    const int e = errno;
    ::closedir(d);
    if (e != 0) {
        errno = e;
        return std::nullopt;
    }
    return names;
}

std::optional<made_subfolder> make_subfolder(const folder& dir, const char* name, unsigned mode) {
    bool made = ::mkdirat(dir.fd.get(), name, static_cast<mode_t>(mode)) == 0;
    if (!made && errno != EEXIST) return std::nullopt;
    auto opened = open_subfolder(dir, name);
    if (!opened) return std::nullopt;
    // Made, then swapped for someone else's before it was opened: not ours to finish.
    struct stat st;
    if (made && (::fstat(opened->dir.fd.get(), &st) != 0 || st.st_uid != ::geteuid())) made = false;
    return made_subfolder{std::move(opened->dir), opened->id, made};
}

bool folder_attributes(const folder& dir, attributes& info) {
    return ::fstat(dir.fd.get(), &info) == 0;
}

void copy_folder_attributes(const folder& dir, const attributes& info) {
    // The folder's own descriptor (O_PATH) allows no changes; one opened for reading does.
    const file f(::openat(dir.fd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (f) copy_attributes(f, info);
}

std::optional<subfolder> open_subfolder(const folder& dir, const char* name) {
    file fd(::openat(dir.fd.get(), name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st;
    if (!fd || ::fstat(fd.get(), &st) != 0) {
        // O_PATH opens a link as itself and then fails O_DIRECTORY: say it was a link.
        struct stat named;
        if (errno == ENOTDIR && ::fstatat(dir.fd.get(), name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(named.st_mode))
            errno = ELOOP;
        return std::nullopt;
    }
    return subfolder{folder{std::move(fd), static_cast<long long>(st.st_gid)}, identity_from(st)};
}

std::optional<folder> copy_folder(const folder& dir) {
    file fd(::fcntl(dir.fd.get(), F_DUPFD_CLOEXEC, 0));
    if (!fd) return std::nullopt;
    return folder{std::move(fd), dir.group};
}

std::optional<identity> identity_of(const folder& dir) {
    struct stat st;
    if (::fstat(dir.fd.get(), &st) != 0) return std::nullopt;
    return identity_from(st);
}

namespace {
const char* memory_message = "out of memory\n";
}  // namespace

void set_up_process(const char* no_memory, bool output_matters) {
    // A closed descriptor 0, 1 or 2 would be taken by the next file opened, and messages then
    // written into it.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        const int null = ::open("/dev/null", fd == 1 && output_matters ? O_RDONLY : O_RDWR);
        if (null >= 0 && null != fd) {
            ::dup2(null, fd);
            ::close(null);
        }
    }
    ignore_size_limit_signal();
    ::signal(SIGPIPE, SIG_IGN);
    memory_message = no_memory;
    // Ending here rather than throwing needs no memory for the exception, and covers the
    // runtime's own allocations as well as ours.
    std::set_new_handler([] {
        remove_guarded_temps();
        // Nothing is left to do about a message that cannot be written; a cast to void does not
        // quiet the warning on write's result when the C library is fortified.
        if (::write(STDERR_FILENO, memory_message, std::strlen(memory_message)) < 0) {
        }
        std::_Exit(1);
    });
}

void raise_descriptor_limit() {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    static_cast<void>(::setrlimit(RLIMIT_NOFILE, &limit));
}

bool is_terminal(int fd) {
    return ::isatty(fd) == 1;
}

bool may_stall(int fd) {
    struct stat st;
    return fd < 0 || ::fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
}

void end_as_broken_pipe() {
    ::signal(SIGPIPE, SIG_DFL);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_UNBLOCK, &pipe, nullptr);
    ::raise(SIGPIPE);
}

unsigned creation_mode(const folder& dir, const attributes* like) {
    // The tools never change their user or group, so each is asked once.
    static const uid_t me = ::geteuid();
    static const gid_t my_group = ::getegid();
    if (!like || like->st_uid != me) return 0600;
    // Read and search bits only: bits others may write with, and the set-id bits, wait for the end.
    unsigned mode = like->st_mode & 0705;
    // A group bit given to a group other than the finished file's would let its members open the
    // file before it is made private, and read through that descriptor all that is written. A new
    // file takes either the folder's group or this process's: with both `like`'s, it is that one.
    if (dir.group >= 0 && static_cast<gid_t>(dir.group) == like->st_gid && my_group == like->st_gid)
        mode |= like->st_mode & 050;
    return mode;
}

file create_temp(const folder& dir, const char* name, attributes* info, const attributes* like) {
    // O_NONBLOCK keeps a FIFO at this name from hanging the open. The lock shuts out other runs
    // on the same name; checking the name only once the lock is held catches a file that another
    // run finished with, or that was swapped, linked or planted meanwhile. Truncating a file
    // with a second name would destroy the data under that name, which may be the input itself.
    const int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const int d = dir.fd.get();
    const auto mode = static_cast<mode_t>(creation_mode(dir, like));
    file f(::openat(d, name, flags | O_CREAT | O_EXCL, mode));
    const bool created = static_cast<bool>(f);
    if (!created && errno == EEXIST) f = file(::openat(d, name, flags));
    struct stat open, named;
    if (!f || ::flock(f.get(), LOCK_EX | LOCK_NB) != 0 || ::fstat(f.get(), &open) != 0 ||
        ::fstatat(d, name, &named, AT_SYMLINK_NOFOLLOW) != 0 || open.st_dev != named.st_dev ||
        open.st_ino != named.st_ino || !S_ISREG(open.st_mode) || open.st_nlink != 1 ||
        (!created && (open.st_uid != ::geteuid() || ::ftruncate(f.get(), 0) != 0))) {
        return file();
    }
    // A stale file may be readable by others, and a new one by a group other than `like`'s (the
    // folder's, or the one this process makes files with); file systems without modes refuse,
    // harmlessly.
    const bool not_like = like && (open.st_uid != like->st_uid || open.st_gid != like->st_gid);
    if ((!created || not_like) && (open.st_mode & 077) != 0) {
        static_cast<void>(::fchmod(f.get(), 0600));
        open.st_mode = (open.st_mode & ~mode_t{07777}) | 0600;
    }
    if (!created) open.st_size = 0;
    if (info) *info = open;
    return f;
}

bool attributes_of(const file& f, attributes& info) {
    return ::fstat(f.get(), &info) == 0;
}

bool unchanged(const attributes& before, const attributes& now) {
    return before.st_dev == now.st_dev && before.st_ino == now.st_ino &&
           before.st_size == now.st_size && before.st_mtim.tv_sec == now.st_mtim.tv_sec &&
           before.st_mtim.tv_nsec == now.st_mtim.tv_nsec;
}

std::optional<std::size_t> read_up_to(const file& f, std::span<std::uint8_t> buffer,
                                      std::size_t enough) {
    std::size_t total = 0;
    while (total < buffer.size() && total < enough) {
        const ssize_t n = ::read(f.get(), buffer.data() + total, buffer.size() - total);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        total += static_cast<std::size_t>(n);
    }
    return total;
}

bool write_all(const file& f, std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        const ssize_t n = ::write(f.get(), data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data = data.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

namespace {
bool write_at(int fd, std::span<const std::uint8_t> data, off_t at) {
    while (!data.empty()) {
        const ssize_t n = ::pwrite(fd, data.data(), data.size(), at);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = EIO;
        if (n <= 0) return false;
        data = data.subspan(static_cast<std::size_t>(n));
        at += n;
    }
    return true;
}
}  // namespace

std::optional<std::uint64_t> copy_data(const file& from, const file& to,
                                       std::span<std::uint8_t> buffer, copy_failure& failed) {
    const int in = from.get(), out = to.get();
    const auto fail = [&](copy_failure side) -> std::optional<std::uint64_t> {
        failed = side;
        return std::nullopt;
    };
    // Range by range of data; the holes between are skipped in both files. A file system that
    // cannot say where its holes are is copied as one range.
    bool sparse = true;
    for (off_t at = 0;;) {
        off_t start = at, stop = -1;  // to the end of the file when stop < 0
#ifdef SEEK_DATA
        if (sparse) {
            start = ::lseek(in, at, SEEK_DATA);
            if (start < 0 && errno == ENXIO) break;  // nothing but a hole from `at` on
            if (start >= 0) stop = ::lseek(in, start, SEEK_HOLE);
            if (start < 0 || stop < 0) {
                sparse = false;
                start = at;
                stop = -1;
            }
        }
#else
        sparse = false;
#endif
        off_t pos = start;
        while (stop < 0 || pos < stop) {
            // Ending signals are held through the run: a copy of gigabytes would keep one
            // waiting until its end.
            if (ending_signal_pending()) {
                errno = EINTR;
                return fail(copy_failure::read);
            }
            const std::size_t want =
                stop < 0 ? buffer.size()
                         : static_cast<std::size_t>(std::min<std::uint64_t>(
                               buffer.size(), static_cast<std::uint64_t>(stop - pos)));
            const ssize_t n = ::pread(in, buffer.data(), want, pos);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return fail(copy_failure::read);
            if (n == 0) break;
            if (!write_at(out, buffer.first(static_cast<std::size_t>(n)), pos))
                return fail(copy_failure::write);
            pos += n;
        }
        if (stop < 0 || pos < stop) break;  // the file ended
        at = pos;
    }
    // A hole at the end is made by the length alone.
    const off_t end = ::lseek(in, 0, SEEK_END);
    if (end < 0) return fail(copy_failure::read);
    if (::ftruncate(out, end) != 0) return fail(copy_failure::write);
    return static_cast<std::uint64_t>(end);
}

namespace {

// Whether a close on this file system may report a write error the writes did not: network and
// user-space file systems flush at close. Local disk ones report at the write or at fsync only.
bool close_may_fail(int fd, dev_t device) {
    static std::mutex m;
    static std::map<dev_t, bool> known;
    {
        const std::lock_guard lock(m);
        if (const auto it = known.find(device); it != known.end()) return it->second;
    }
    bool may = true;
#ifdef __linux__
    struct statfs fs;
    if (::fstatfs(fd, &fs) == 0) {
        switch (static_cast<unsigned long>(fs.f_type)) {
            case EXT4_SUPER_MAGIC:
            case XFS_SUPER_MAGIC:
            case BTRFS_SUPER_MAGIC:
            case TMPFS_MAGIC:
            case OVERLAYFS_SUPER_MAGIC:
            case F2FS_SUPER_MAGIC:
                may = false;
                break;
            default:
                break;
        }
    }
#else
    static_cast<void>(fd);
#endif
    const std::lock_guard lock(m);
    known[device] = may;
    return may;
}

}  // namespace

bool check_written(const file& f, const attributes* info) {
    if (info && !close_may_fail(f.get(), info->st_dev)) return true;
    // Closing a duplicate flushes and reports like the last close (NFS does so on every close),
    // while the lock, shared by both descriptors, stays.
    const int copy = ::fcntl(f.get(), F_DUPFD_CLOEXEC, 0);
    return copy >= 0 && close_descriptor(copy);
}

void copy_attributes(const file& f, const attributes& info, const attributes* known) {
    const int fd = f.get();
    struct stat now;
    if (known)
        now = *known;
    else if (::fstat(fd, &now) != 0)
        return;  // it keeps 0600
    // Owner first: a change of owner clears the set-id bits. Most files already have it.
    if ((now.st_uid != info.st_uid || now.st_gid != info.st_gid) &&
        ::fchown(fd, info.st_uid, info.st_gid) != 0 &&
        ::fchown(fd, static_cast<uid_t>(-1), info.st_gid) != 0) {
        // Neither could be set; what the file has is checked below.
    }
    if ((now.st_uid != info.st_uid || now.st_gid != info.st_gid) && ::fstat(fd, &now) != 0) return;
    mode_t mode = info.st_mode & 07777;
    if (now.st_gid != info.st_gid) mode &= ~mode_t{070};
    if (now.st_gid != info.st_gid || now.st_uid != info.st_uid) mode &= ~mode_t{S_ISUID | S_ISGID};
    // A file created with its mode already (create_temp's `like`) keeps it as it is.
    if ((now.st_mode & 07777) != mode) static_cast<void>(::fchmod(fd, mode));
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    static_cast<void>(::futimens(fd, times));
}

rename_result rename(const folder& dir, const char* from, const char* to, bool replace) {
    const int d = dir.fd.get();
    if (replace)
        return ::renameat(d, from, d, to) == 0 ? rename_result::done : rename_result::failed;
#ifdef RENAME_NOREPLACE
    if (::renameat2(d, from, d, to, RENAME_NOREPLACE) == 0) return rename_result::done;
    // EINVAL: this file system cannot promise no-replace atomically; ENOSYS: an old kernel.
    return errno == EINVAL || errno == ENOSYS ? rename_result::unsupported : rename_result::failed;
#else
    // No atomic no-replace rename on this system: the caller links and unlinks instead.
    return rename_result::unsupported;
#endif
}

rename_result exchange(const folder& dir, const char* a, const char* b) {
#ifdef RENAME_EXCHANGE
    const int d = dir.fd.get();
    if (::renameat2(d, a, d, b, RENAME_EXCHANGE) == 0) return rename_result::done;
    // EINVAL: this file system cannot exchange names (NFS, some FUSE); ENOSYS: an old kernel.
    return errno == EINVAL || errno == ENOSYS ? rename_result::unsupported : rename_result::failed;
#else
    static_cast<void>(dir), static_cast<void>(a), static_cast<void>(b);
    errno = ENOSYS;
    return rename_result::unsupported;
#endif
}

bool link(const folder& dir, const char* from, const char* to) {
    return ::linkat(dir.fd.get(), from, dir.fd.get(), to, 0) == 0;
}

bool remove(const folder& dir, const char* name) {
    return ::unlinkat(dir.fd.get(), name, 0) == 0;
}

namespace {

// What a signal handler may read: fixed storage and lock-free flags.
struct guarded_name {
    std::atomic<bool> taken{false};
    std::atomic<bool> armed{false};
    int dir = -1;
    char name[256];
};
guarded_name guarded[64];

constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP};

void end_by_signal(int sig) {
    remove_guarded_temps();
    ::signal(sig, SIG_DFL);
    ::raise(sig);  // delivered as the handler returns, with the signal's usual status
}

void install_handlers() {
    ignore_size_limit_signal();
    struct sigaction action = {};
    action.sa_handler = end_by_signal;
    sigemptyset(&action.sa_mask);
    for (const int sig : ending_signals) sigaddset(&action.sa_mask, sig);
    for (const int sig : ending_signals) {
        struct sigaction old;
        // A signal the caller chose to ignore (nohup) stays ignored.
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
            ::sigaction(sig, &action, nullptr);
        }
    }
}

}  // namespace

void ignore_size_limit_signal() {
    ::signal(SIGXFSZ, SIG_IGN);
}

temp_guard::temp_guard(const folder& dir, const char* name) : slot_(-1) {
    static const bool installed = (install_handlers(), true);
    static_cast<void>(installed);
    if (std::strlen(name) >= sizeof guarded[0].name) return;
    for (int i = 0; i < static_cast<int>(std::size(guarded)); ++i) {
        bool free = false;
        if (!guarded[i].taken.compare_exchange_strong(free, true)) continue;
        guarded[i].dir = dir.fd.get();
        std::strcpy(guarded[i].name, name);
        guarded[i].armed.store(true);
        slot_ = i;
        return;
    }
}

void temp_guard::release() {
    if (slot_ < 0) return;
    guarded[slot_].armed.store(false);
    guarded[slot_].taken.store(false);
    slot_ = -1;
}

void remove_guarded_temps() {
    for (auto& g : guarded) {
        if (g.armed.load()) ::unlinkat(g.dir, g.name, 0);
    }
}

namespace {
thread_local bool holding = false;  // a signals_held of this thread lives
}  // namespace

signals_held::signals_held() : outer_(!holding) {
    if (!outer_) return;
    holding = true;
    sigset_t block;
    sigemptyset(&block);
    for (const int sig : ending_signals) sigaddset(&block, sig);
    ::pthread_sigmask(SIG_BLOCK, &block, &saved_);
}

bool ending_signal_pending() {
    sigset_t pending;
    if (sigpending(&pending) != 0) return false;
    for (const int sig : ending_signals) {
        // A blocked signal stays pending even when it is ignored (nohup, a background job).
        struct sigaction action;
        if (sigismember(&pending, sig) == 1 && sigaction(sig, nullptr, &action) == 0 &&
            action.sa_handler != SIG_IGN)
            return true;
    }
    return false;
}

signals_held::~signals_held() {
    if (!outer_) return;
    holding = false;
    ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

std::vector<std::string> arguments(int argc, native_char** argv) {
    return {argv, argv + argc};
}

std::string spelling(std::string_view relative) {
    return std::string(relative);
}

}  // namespace vkt2::platform
