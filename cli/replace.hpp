// Backup and replacement: the new data goes to NAME.$$$, the old file becomes NAME.BAK and
// NAME.$$$ becomes NAME.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform.hpp"

namespace vkt2 {

// Renames `name` to `backup_name`, then `temp_name` to `name`, never replacing an existing
// file. The second rename is tried whatever became of the first, so the files always end in
// one of a few known states. Returns true only if both renames succeeded.
bool replace_with_backup(const char* name, const char* temp_name, const char* backup_name);

// One in-place replacement of NAME. Constructing it creates (or truncates) NAME.$$$; unless
// commit() gets as far as the renames, the temporary file is removed again on destruction, so
// a failed run never leaves a half-written one behind.
class replacement {
  public:
    enum class outcome { done, write_failed, rename_failed };

    explicit replacement(const char* name);
    replacement(const replacement&) = delete;
    replacement& operator=(const replacement&) = delete;
    ~replacement();

    // False when NAME.$$$ could not be created as a regular file of ours.
    bool ready() const { return owned_; }

    // Writes `data` to NAME.$$$, closes it, and on success replaces NAME, keeping NAME.BAK.
    outcome commit(std::span<const std::uint8_t> data);

  private:
    std::string name_;
    std::string temp_name_;
    platform::file file_;
    bool owned_;
    bool kept_ = false;
};

}  // namespace vkt2
