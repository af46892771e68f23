// The few operating-system calls the tool needs, behind one small interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>

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

file open_for_reading(const char* path);

// Creates `path` or truncates an existing regular file there. Refuses to follow a symbolic
// link, or to truncate anything but a regular file with no other name, so the name cannot be
// aimed at other data.
file create_or_truncate(const char* path);

// Reads until `buffer` is full or the file ends; nothing on a read error.
std::optional<std::size_t> read_up_to(const file& f, std::span<std::uint8_t> buffer);

bool write_all(const file& f, std::span<const std::uint8_t> data);

bool remove_file(const char* path);

// Renames `from` to `to`, failing with both names as they were if `to` already exists.
bool rename_no_replace(const char* from, const char* to);

#ifndef _WIN32
// The fallback for file systems without an atomic no-replace rename: link, then unlink.
bool rename_by_link(const char* from, const char* to);
#endif

}  // namespace vkt2::platform
