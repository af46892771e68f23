// POSIX and Linux implementation of the platform layer.
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform.hpp"

namespace vkt2::platform {

bool close_descriptor(int fd) {
    // Linux releases the descriptor even when close reports an error, so never retry.
    return ::close(fd) == 0;
}

file open_for_reading(const char* path) {
    return file(::open(path, O_RDONLY | O_CLOEXEC));
}

file create_or_truncate(const char* path) {
    // O_NONBLOCK keeps a FIFO at this name from hanging the open. Truncation waits until the
    // name is known to be a regular file with no other name: truncating a hard link would
    // destroy the data under its other name, which may be the input itself.
    file f(::open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    struct stat st;
    if (f && (::fstat(f.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
              ::ftruncate(f.get(), 0) != 0)) {
        return file();
    }
    return f;
}

std::optional<std::size_t> read_up_to(const file& f, std::span<std::uint8_t> buffer) {
    std::size_t total = 0;
    while (total < buffer.size()) {
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
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data = data.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

bool remove_file(const char* path) {
    return ::unlink(path) == 0;
}

bool rename_no_replace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return true;
    // EINVAL: this file system cannot promise no-replace atomically; ENOSYS: an old kernel.
    if (errno != EINVAL && errno != ENOSYS) return false;
    return rename_by_link(from, to);
}

bool rename_by_link(const char* from, const char* to) {
    if (::link(from, to) != 0) return false;  // fails with EEXIST rather than replace
    if (::unlink(from) == 0) return true;
    ::unlink(to);  // undo, so a failed rename leaves both names as they were
    return false;
}

}  // namespace vkt2::platform
