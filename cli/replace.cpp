// The replace step: loading an input and putting a new file in its place or beside it.
#include "replace.hpp"

#include <cerrno>
#include <utility>

namespace vkt2 {

source load_source(const char* path, std::span<std::uint8_t> buffer) {
    std::string name;
    auto dir = platform::open_parent(path, name);
    if (!dir) {
        source s;
        s.error = errno;
        return s;
    }
    return load_source(std::move(*dir), std::move(name), buffer, true);
}

namespace {

void load_into(source& s, std::span<std::uint8_t> buffer, const platform::input_request& how) {
    platform::file input = platform::open_input(s.dir(), s.name.c_str(), s.attributes, how);
    if (!input) {
        s.error = errno;
        return;
    }
    // A regular file's size is known: reading to it spares the read that finds the end.
    const bool sized = S_ISREG(s.attributes.st_mode) && s.attributes.st_size >= 0;
    const auto got = platform::read_up_to(
        input, buffer, sized ? static_cast<std::size_t>(s.attributes.st_size) : SIZE_MAX);
    if (!got) s.error = errno;
    // Nothing was written through this descriptor, so its close cannot lose data.
    input.close();
    s.result = got ? source::status::loaded : source::status::cannot_read;
    s.size = got.value_or(0);
}

}  // namespace

source load_source(platform::folder dir, std::string name, std::span<std::uint8_t> buffer,
                   bool follow) {
    source s;
    s.folder = std::move(dir);
    s.name = std::move(name);
    load_into(s, buffer, platform::input_request{follow, false, false});
    return s;
}

source load_source(std::shared_ptr<const platform::folder> dir, std::string name,
                   std::span<std::uint8_t> buffer, const platform::input_request& how) {
    source s;
    s.shared = std::move(dir);
    s.name = std::move(name);
    load_into(s, buffer, how);
    return s;
}

bool rename_no_replace(const renamer& ops, const platform::folder& dir, const char* from,
                       const char* to) {
    switch (ops.rename(dir, from, to, false)) {
        case platform::rename_result::done:
            return true;
        case platform::rename_result::failed:
            return false;
        case platform::rename_result::unsupported:
            break;
    }
    if (!ops.link(dir, from, to)) return false;  // fails rather than replace
    if (ops.remove(dir, from)) return true;
    ops.remove(dir, to);  // undo, so a failed rename leaves both names as they were
    return false;
}

const renamer replacement::default_renamer{};

replacement::replacement(const source& input, const renamer& ops)
    : replacement(input, input.dir(), input.name, true, false, ops) {}

replacement::replacement(const source& input, const platform::folder& out, std::string name,
                         bool force, const renamer& ops)
    : replacement(input, out, std::move(name), false, force, ops) {}

replacement::replacement(const source& input, const platform::folder& dir, std::string name,
                         bool backup, bool force, const renamer& ops)
    : input_(input),
      dir_(dir),
      ops_(ops),
      name_(std::move(name)),
      temp_name_(name_ + ".$$$"),
      backup_name_(backup ? name_ + ".BAK" : ""),
      force_(force) {
    // A signal between creating the file and guarding it would leave it behind.
    const platform::signals_held held;
    // Elsewhere, made no more open than it will be: that spares the change of mode at the end.
    file_ = platform::create_temp(dir_, temp_name_.c_str(), &temp_,
                                  backup ? nullptr : &input.attributes);
    if (file_)
        guard_.emplace(dir_, temp_name_.c_str());
    else
        error_ = errno;
}

replacement::~replacement() {
    // Removed while still open and locked, so no other run can have taken the name meanwhile.
    if (guard_) platform::remove(dir_, temp_name_.c_str());
}

replacement::outcome replacement::commit(std::span<const std::uint8_t> data) {
    if (!file_) return outcome::cannot_create;
    if (!platform::write_all(file_, data)) {
        error_ = errno;
        return outcome::write_failed;
    }
    written_ = data.size();
    return finish();
}

replacement::outcome replacement::commit_copy(const platform::file& from,
                                              std::span<std::uint8_t> buffer) {
    if (!file_) return outcome::cannot_create;
    platform::copy_failure side = platform::copy_failure::none;
    const auto copied = platform::copy_data(from, file_, buffer, side);
    if (!copied) {
        error_ = errno;
        return side == platform::copy_failure::read ? outcome::read_failed : outcome::write_failed;
    }
    written_ = *copied;
    // A file written to meanwhile gave a mix of old and new bytes, which its old dates would
    // pass off as the file it was.
    platform::attributes now;
    if (!platform::attributes_of(from, now)) {
        error_ = errno;
        return outcome::read_failed;
    }
    if (!platform::unchanged(input_.attributes, now) ||
        written_ != static_cast<std::uint64_t>(now.st_size))
        return outcome::changed;
    return finish();
}

replacement::outcome replacement::commit_read(const reader& read, std::span<std::uint8_t> buffer) {
    if (!file_) return outcome::cannot_create;
    for (;;) {
        errno = 0;
        const auto got = read(buffer);
        if (!got) {
            error_ = errno;
            return outcome::read_failed;
        }
        if (*got == 0) return finish();
        if (!platform::write_all(file_, buffer.first(*got))) {
            error_ = errno;
            return outcome::write_failed;
        }
        written_ += *got;
    }
}

replacement::outcome replacement::finish() {
    if (!platform::check_written(file_, check_everywhere_ ? nullptr : &temp_)) {
        error_ = errno;
        return outcome::write_failed;
    }
    platform::copy_attributes(file_, input_.attributes, &temp_);

    // The renames go as a pair: a signal waits until both are done.
    const platform::signals_held held;
    guard_.reset();  // the data is complete: from here on the file is kept
    const char* temp = temp_name_.c_str();
    const char* name = name_.c_str();
    bool renamed;
    if (!backup_name_.empty()) {
        // The second rename is tried whatever became of the first, so the files always end in
        // one of a few known states.
        const bool backed_up = rename_no_replace(ops_, dir_, name, backup_name_.c_str());
        renamed = rename_no_replace(ops_, dir_, temp, name) && backed_up;
    } else {
        renamed = force_ ? ops_.rename(dir_, temp, name, true) == platform::rename_result::done
                         : rename_no_replace(ops_, dir_, temp, name);
        if (!renamed) {
            error_ = errno;
            platform::remove(dir_, temp);
        }  // the input is intact: nothing to recover
    }
    // Everything written was flushed and checked above; this close only releases the lock.
    static_cast<void>(file_.close());
    return renamed ? outcome::done : outcome::rename_failed;
}

}  // namespace vkt2
