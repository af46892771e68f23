// The least a folder decoder can do per file, for bench/batch.sh to hold vkt2 against: the same
// file operations vkt2 promises, and nothing else (no walk, no lock, no checks, one thread).
//   floor x FILE...        read NAME; write NAME.$$$ with mode and dates; NAME -> NAME.BAK and
//                          NAME.$$$ -> NAME, neither replacing a file
//   floor o DIR FILE...    read NAME; write DIR/NAME.$$$ with mode and dates; rename it to
//                          DIR/NAME without replacing a file
//   floor t FILE...        open, size, read, close
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "vkt2/vkt2.hpp"

namespace {

std::vector<std::uint8_t> in(vkt2::max_file_size), out(vkt2::max_original_size);

bool load(const char* name, struct stat& st, std::size_t& got) {
    const int fd = ::open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &st) != 0) return false;
    const ssize_t n = ::read(fd, in.data(), in.size());
    ::close(fd);
    got = n < 0 ? 0 : static_cast<std::size_t>(n);
    return n >= 0;
}

bool store(int dir, const std::string& temp, const struct stat& st, std::size_t size) {
    const int fd = ::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool ok = ::write(fd, out.data(), size) == static_cast<ssize_t>(size);
    ::fchmod(fd, st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::futimens(fd, times);
    return ::close(fd) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const char mode = argv[1][0];
    int first = 2, dir = AT_FDCWD;
    if (mode == 'o') {
        dir = ::open(argv[2], O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (dir < 0) return 2;
        first = 3;
    }
    int status = 0;
    for (int i = first; i < argc; ++i) {
        struct stat st;
        std::size_t got = 0;
        if (!load(argv[i], st, got)) {
            status = 1;
            continue;
        }
        if (mode == 't') continue;
        const std::span<const std::uint8_t> file(in.data(), got);
        const auto size = vkt2::decoded_size(file);
        if (!size || vkt2::decompress_into(file, std::span(out.data(), *size)).status !=
                         vkt2::file_status::ok) {
            status = 1;
            continue;
        }
        const char* slash = std::strrchr(argv[i], '/');
        const std::string name = mode == 'o' && slash ? slash + 1 : argv[i];
        if (!store(dir, name + ".$$$", st, *size) ||
            (mode == 'x' &&
             ::renameat2(dir, name.c_str(), dir, (name + ".BAK").c_str(), RENAME_NOREPLACE) != 0) ||
            ::renameat2(dir, (name + ".$$$").c_str(), dir, name.c_str(), RENAME_NOREPLACE) != 0)
            status = 1;
    }
    return status;
}
