// Windows implementation of the platform layer: the C runtime's descriptors in binary mode,
// and MoveFileA, which refuses to replace an existing file.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <climits>

#include "platform.hpp"

namespace vkt2::platform {

bool close_descriptor(int fd) {
    return ::_close(fd) == 0;
}

// A folder cannot be opened as a file here, so it fails at this step rather than at the read.
file open_for_reading(const char* path) {
    return file(::_open(path, _O_RDONLY | _O_BINARY));
}

file create_or_truncate(const char* path) {
    file f(::_open(path, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE));
    struct _stat st;
    if (f && (::_fstat(f.get(), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG)) return file();
    return f;
}

std::optional<std::size_t> read_up_to(const file& f, std::span<std::uint8_t> buffer) {
    std::size_t total = 0;
    while (total < buffer.size()) {
        const std::size_t want = std::min<std::size_t>(buffer.size() - total, INT_MAX);
        const int n = ::_read(f.get(), buffer.data() + total, static_cast<unsigned>(want));
        if (n == 0) break;
        if (n < 0) return std::nullopt;
        total += static_cast<std::size_t>(n);
    }
    return total;
}

bool write_all(const file& f, std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        const std::size_t want = std::min<std::size_t>(data.size(), INT_MAX);
        const int n = ::_write(f.get(), data.data(), static_cast<unsigned>(want));
        if (n <= 0) return false;
        data = data.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

bool remove_file(const char* path) {
    return ::DeleteFileA(path) != 0;
}

bool rename_no_replace(const char* from, const char* to) {
    return ::MoveFileA(from, to) != 0;
}

}  // namespace vkt2::platform
