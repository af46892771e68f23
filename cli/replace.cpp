// Backup and replacement of the input file.
#include "replace.hpp"

namespace vkt2 {

bool replace_with_backup(const char* name, const char* temp_name, const char* backup_name) {
    const bool backed_up = platform::rename_no_replace(name, backup_name);
    const bool replaced = platform::rename_no_replace(temp_name, name);
    return backed_up && replaced;
}

replacement::replacement(const char* name)
    : name_(name),
      temp_name_(name_ + ".$$$"),
      file_(platform::create_or_truncate(temp_name_.c_str())),
      owned_(static_cast<bool>(file_)) {}

replacement::~replacement() {
    // A name this run could not open is somebody else's: leave it alone.
    if (owned_ && !kept_) {
        file_.close();
        platform::remove_file(temp_name_.c_str());
    }
}

replacement::outcome replacement::commit(std::span<const std::uint8_t> data) {
    const bool written = platform::write_all(file_, data);
    const bool closed = file_.close();
    if (!written || !closed) return outcome::write_failed;
    // From here on the temporary file holds complete data: if a rename fails it is what
    // the user recovers, so it stays.
    kept_ = true;
    const std::string backup_name = name_ + ".BAK";
    return replace_with_backup(name_.c_str(), temp_name_.c_str(), backup_name.c_str())
               ? outcome::done
               : outcome::rename_failed;
}

}  // namespace vkt2
