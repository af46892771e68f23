// Output files under -o DIR.
#include "output.hpp"

#include <filesystem>

#include "platform.hpp"

namespace vkt2::batch {

namespace fs = std::filesystem;

write_outcome write_new(const std::string& target, std::span<const std::uint8_t> data,
                        const std::string& source, bool force) {
    std::error_code ec;
    // Replacing the input itself would lose it, with no backup to go back to. Without `force`
    // the no-replace rename alone keeps an existing output, so no check can race with it.
    if (force && fs::equivalent(target, source, ec)) return write_outcome::same_as_input;
    const auto mode = fs::status(source, ec).permissions();
    const auto when = ec ? fs::file_time_type() : fs::last_write_time(source, ec);
    if (ec) return write_outcome::failed;
    const fs::path parent = fs::path(target).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    const std::string temp = target + ".$$$";
    platform::file out = platform::create_or_truncate(temp.c_str());
    if (!out) return write_outcome::failed;
    const bool written = platform::write_all(out, data);
    if (!out.close() || !written) {
        platform::remove_file(temp.c_str());
        return write_outcome::failed;
    }
    // Never wider or newer than the input: its mode and modification time carry over.
    fs::permissions(temp, mode, ec);
    if (!ec) fs::last_write_time(temp, when, ec);
    if (ec) {
        platform::remove_file(temp.c_str());
        return write_outcome::failed;
    }
    bool renamed = false;
    if (force) {
        fs::rename(temp, target, ec);
        renamed = !ec;
    } else {
        renamed = platform::rename_no_replace(temp.c_str(), target.c_str());
    }
    if (renamed) return write_outcome::done;
    platform::remove_file(temp.c_str());
    return fs::exists(target, ec) && !force ? write_outcome::exists : write_outcome::failed;
}

}  // namespace vkt2::batch
