// Windows implementation of the platform layer: the C runtime's descriptors in binary mode,
// names joined to the folder's path, and MoveFileExW, which without MOVEFILE_REPLACE_EXISTING
// refuses to replace an existing file. Every call takes the name in UTF-16, so any name works
// whatever the code page; the bytes the tools carry are its UTF-8 (see utf16.hpp).
#include <fcntl.h>
#include <io.h>
#include <sys/utime.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>
#include <string_view>

#include "platform.hpp"
#include "utf16.hpp"

namespace vkt2::platform {

namespace {
// The UTF-16 of `bytes`; nothing, with EILSEQ, for bytes that spell no name here.
std::optional<std::wstring> wide(std::string_view bytes) {
    const auto units = to_utf16(bytes);
    if (!units) {
        errno = EILSEQ;
        return std::nullopt;
    }
    return std::wstring(units->begin(), units->end());
}
// The bytes of the name `units`.
std::string narrow(const wchar_t* units) {
    return to_utf8(std::u16string(units, units + std::wcslen(units)));
}
std::optional<std::wstring> path_of(const folder& dir, const char* name) {
    return wide(dir.prefix + name);
}
bool is_regular(const attributes& info) {
    return (info.st_mode & _S_IFMT) == _S_IFREG;
}
// The C runtime's word for the last system error, for the messages that give a reason.
bool failed_with_errno() {
    switch (::GetLastError()) {
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            errno = EACCES;
            break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            errno = ENOENT;
            break;
        default:
            errno = EIO;
    }
    return false;
}
}  // namespace

bool close_descriptor(int fd) {
    return ::_close(fd) == 0;
}

std::optional<folder> open_folder(const char* path) {
    const auto name = wide(path);
    if (!name) return std::nullopt;
    const DWORD a = ::GetFileAttributesW(name->c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
        failed_with_errno();
        return std::nullopt;
    }
    if ((a & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        errno = ENOTDIR;
        return std::nullopt;
    }
    std::string prefix(path);
    if (!prefix.empty() && prefix.find_last_of("/\\:") != prefix.size() - 1) prefix += '\\';
    return folder{std::move(prefix)};
}

std::optional<folder> open_parent(const char* path, std::string& leaf) {
    const std::string_view whole(path);
    const auto cut =
        whole.size() < 2 ? std::string_view::npos : whole.find_last_of("/\\:", whole.size() - 2);
    const std::size_t start = cut == std::string_view::npos ? 0 : cut + 1;
    leaf = whole.substr(start);
    return folder{std::string(whole.substr(0, start))};
}

// A folder cannot be opened as a file here, so it fails at this step rather than at the read.
file open_input(const folder& dir, const char* name, attributes& info, const input_request& how) {
    const bool stream = how.stream;
    const auto path = path_of(dir, name);
    if (!path) return file();
    file f(::_wopen(path->c_str(), _O_RDONLY | _O_BINARY));
    if (f && (::_fstat64(f.get(), &info) != 0 ||
              !(is_regular(info) || (stream && (info.st_mode & _S_IFMT) == _S_IFIFO)))) {
        errno = EINVAL;
        return file();
    }
    return f;
}

// Links are opened as themselves; the file index tells two names of one file apart.
std::optional<looked> look(const folder& dir, const char* name, follow_links how) {
    const bool follow = how == follow_links::yes;
    const auto path = path_of(dir, name);
    if (!path) return std::nullopt;
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE h =
        ::CreateFileW(path->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        errno = ENOENT;
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info;
    const BOOL got = ::GetFileInformationByHandle(h, &info);
    ::CloseHandle(h);
    if (!got) {
        errno = EACCES;
        return std::nullopt;
    }
    const DWORD a = info.dwFileAttributes;
    looked seen;
    seen.type = (a & FILE_ATTRIBUTE_REPARSE_POINT) && !follow ? kind::link
                : (a & FILE_ATTRIBUTE_DIRECTORY)              ? kind::folder
                : (a & FILE_ATTRIBUTE_DEVICE)                 ? kind::other
                                                              : kind::file;
    seen.id = {info.dwVolumeSerialNumber,
               (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
    return seen;
}

std::optional<std::vector<listed>> list_folder(const folder& dir, bool) {
    const auto pattern = path_of(dir, dir.prefix.empty() ? ".\\*" : "*");
    if (!pattern) return std::nullopt;
    WIN32_FIND_DATAW found;
    const HANDLE h = ::FindFirstFileExW(pattern->c_str(), FindExInfoBasic, &found,
                                        FindExSearchNameMatch, nullptr, 0);
    std::vector<listed> names;
    if (h == INVALID_HANDLE_VALUE) {
        // Only the top of a drive can be without even . and ..
        if (::GetLastError() == ERROR_FILE_NOT_FOUND) return names;
        failed_with_errno();
        return std::nullopt;
    }
    do {
        listed item;
        item.name = narrow(found.cFileName);
        if (item.name == "." || item.name == "..") continue;
        if (const auto seen = look(dir, item.name.c_str(), follow_links::no)) {
            item.type = seen->type;
            item.id = seen->id;
        } else {
            item.error = errno;
        }
        names.push_back(std::move(item));
    } while (::FindNextFileW(h, &found));
    const DWORD why = ::GetLastError();
    ::FindClose(h);
    if (why != ERROR_NO_MORE_FILES) {
        ::SetLastError(why);
        failed_with_errno();
        return std::nullopt;
    }
    return names;
}

std::optional<subfolder> open_subfolder(const folder& dir, const char* name) {
    const auto seen = look(dir, name, follow_links::no);
    if (!seen) return std::nullopt;
    if (seen->type != kind::folder) {
        errno = ENOTDIR;
        return std::nullopt;
    }
    return subfolder{folder{dir.prefix + name + '\\'}, seen->id};
}

std::optional<made_subfolder> make_subfolder(const folder& dir, const char* name, unsigned) {
    // Folders get the access rules of the folder they are made in; there are no mode bits.
    const auto path = path_of(dir, name);
    const bool made = path && ::CreateDirectoryW(path->c_str(), nullptr) != 0;
    auto opened = open_subfolder(dir, name);
    if (!opened) return std::nullopt;
    return made_subfolder{std::move(opened->dir), opened->id, made};
}

bool folder_attributes(const folder& dir, attributes& info) {
    std::string bytes = dir.prefix.empty() ? "." : dir.prefix;
    if (bytes.size() > 1 && bytes.find_last_of("/\\") == bytes.size() - 1 &&
        bytes[bytes.size() - 2] != ':')
        bytes.pop_back();
    const auto path = wide(bytes);
    return path && ::_wstat64(path->c_str(), &info) == 0;
}

// The runtime has no owner or mode bits to give, and no descriptor on a folder to date it by.
void copy_folder_attributes(const folder&, const attributes&) {}

std::optional<folder> copy_folder(const folder& dir) {
    return dir;
}

std::optional<identity> identity_of(const folder& dir) {
    const auto seen =
        look(folder{}, dir.prefix.empty() ? "." : dir.prefix.c_str(), follow_links::yes);
    if (!seen) return std::nullopt;
    return seen->id;
}

namespace {
const char* memory_message = "out of memory\n";
}  // namespace

void set_up_process(const char* no_memory, bool output_matters) {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::_get_osfhandle(fd) != -1) continue;
        const int null =
            ::_open("NUL", (fd == 1 && output_matters ? _O_RDONLY : _O_RDWR) | _O_BINARY);
        if (null >= 0 && null != fd) {
            ::_dup2(null, fd);
            ::_close(null);
        }
    }
    memory_message = no_memory;
    std::set_new_handler([] {
        std::fputs(memory_message, stderr);
        std::_Exit(1);
    });
}

void raise_descriptor_limit() {}

bool is_terminal(int fd) {
    return ::_isatty(fd) != 0;
}

bool may_stall(int fd) {
    const auto h = fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    return h == INVALID_HANDLE_VALUE || ::GetFileType(h) != FILE_TYPE_DISK;
}

bool is_pipe(const attributes& info) {
    return (info.st_mode & _S_IFMT) == _S_IFIFO;
}

// Console input ends its wait at Ctrl+C by itself here; no poll is needed.
std::optional<std::size_t> read_stream(int fd, std::span<std::uint8_t> buffer,
                                       const std::function<bool()>&, std::uint64_t* total) {
    std::size_t got = 0;
    std::uint64_t counted = 0;
    char scrap[4096];
    for (;;) {
        const bool filling = got < buffer.size();
        if (!filling && !total) break;
        const unsigned want =
            filling ? static_cast<unsigned>(std::min<std::size_t>(buffer.size() - got, INT_MAX))
                    : static_cast<unsigned>(sizeof scrap);
        const int n = ::_read(fd, filling ? static_cast<void*>(buffer.data() + got) : scrap, want);
        if (n == 0) break;
        if (n < 0) return std::nullopt;
        if (filling) got += static_cast<std::size_t>(n);
        counted += static_cast<std::uint64_t>(n);
    }
    if (total) *total = counted;
    return got;
}

bool ending_signal_pending() {
    return false;
}

void end_as_broken_pipe() {}

bool identifies(const attributes&, const identity&) {
    return false;
}

unsigned creation_mode(const folder&, const attributes*) {
    return 0600;
}

file create_temp(const folder& dir, const char* name, attributes* reported, const attributes*) {
    // No other process may open it for writing while it is open; renaming and removing it
    // stay possible, as the replace step does both before closing it.
    // A link or reparse point is opened as itself, never followed, and then refused below.
    const auto path = path_of(dir, name);
    if (!path) return file();
    const HANDLE h =
        ::CreateFileW(path->c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        failed_with_errno();
        return file();
    }
    // Truncating a file with a second name would destroy the data under that name, which may
    // be the input itself.
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h, &info) || info.nNumberOfLinks != 1 ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        ::CloseHandle(h);
        return file();
    }
    file f(::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_WRONLY | _O_BINARY));
    if (!f) {
        ::CloseHandle(h);
        return file();
    }
    attributes st;
    if (::_fstat64(f.get(), &st) != 0 || !is_regular(st) || ::_chsize(f.get(), 0) != 0) {
        return file();
    }
    if (reported) *reported = st;
    return f;
}

bool attributes_of(const file& f, attributes& info) {
    return ::_fstat64(f.get(), &info) == 0;
}

// A descriptor's look has no file index here: the caller compares identities by look().
bool unchanged(const attributes& before, const attributes& now) {
    return before.st_size == now.st_size && before.st_mtime == now.st_mtime;
}

std::optional<std::size_t> read_up_to(const file& f, std::span<std::uint8_t> buffer,
                                      std::size_t enough) {
    std::size_t total = 0;
    while (total < buffer.size() && total < enough) {
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

// Holes are not looked for here: the copy is whole.
std::optional<std::uint64_t> copy_data(const file& from, const file& to,
                                       std::span<std::uint8_t> buffer, copy_failure& failed) {
    if (::_lseeki64(from.get(), 0, SEEK_SET) != 0) {
        failed = copy_failure::read;
        return std::nullopt;
    }
    std::uint64_t copied = 0;
    for (;;) {
        const auto got = read_up_to(from, buffer);
        if (!got) {
            failed = copy_failure::read;
            return std::nullopt;
        }
        if (!write_all(to, buffer.first(*got))) {
            failed = copy_failure::write;
            return std::nullopt;
        }
        copied += *got;
        if (*got < buffer.size()) return copied;
    }
}

// Writes go straight to the system, which reports errors at the write itself.
bool check_written(const file&, const attributes*) {
    return true;
}

// Windows has no owner or mode bits for the runtime to copy; the times it keeps.
void copy_attributes(const file& f, const attributes& info, const attributes*) {
    __utimbuf64 times = {info.st_atime, info.st_mtime};
    static_cast<void>(::_futime64(f.get(), &times));
}

rename_result rename(const folder& dir, const char* from, const char* to, bool replace) {
    const auto a = path_of(dir, from), b = path_of(dir, to);
    if (!a || !b) return rename_result::failed;
    const BOOL moved =
        ::MoveFileExW(a->c_str(), b->c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return moved || failed_with_errno() ? rename_result::done : rename_result::failed;
}

// Windows has no call that trades two names at once; callers take the slower, safe way round.
rename_result exchange(const folder&, const char*, const char*) {
    errno = ENOSYS;
    return rename_result::unsupported;
}

bool link(const folder& dir, const char* from, const char* to) {
    const auto a = path_of(dir, from), b = path_of(dir, to);
    return a && b &&
           (::CreateHardLinkW(b->c_str(), a->c_str(), nullptr) != 0 || failed_with_errno());
}

bool remove(const folder& dir, const char* name) {
    const auto path = path_of(dir, name);
    return path && ::DeleteFileW(path->c_str()) != 0;
}

// The console's Ctrl+C arrives on another thread here, and an open file cannot be deleted, so
// the temporary file is removed by the replace step alone.
void ignore_size_limit_signal() {}
temp_guard::temp_guard(const folder&, const char*) : slot_(-1) {}
void temp_guard::release() {}
void remove_guarded_temps() {}
signals_held::signals_held() {}
signals_held::~signals_held() {}

std::vector<std::string> arguments(int argc, native_char** argv) {
    std::vector<std::string> out;
    for (int i = 0; i < argc; ++i) out.push_back(narrow(argv[i]));
    return out;
}

std::string spelling(std::string_view relative) {
    auto units = to_utf16(relative);
    if (!units) return std::string(relative);
    std::u16string out;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= units->size(); ++i) {
        if (i < units->size() && (*units)[i] != u'/') continue;
        std::u16string name = units->substr(start, i - start);
        const auto kept = name.find_last_not_of(u". ");
        if (kept != std::u16string::npos) name.resize(kept + 1);
        if (!name.empty())
            ::CharUpperBuffW(reinterpret_cast<wchar_t*>(name.data()),
                             static_cast<DWORD>(name.size()));
        if (start != 0) out += u'/';
        out += name;
        start = i + 1;
    }
    return to_utf8(out);
}

}  // namespace vkt2::platform
