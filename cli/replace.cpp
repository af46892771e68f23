// Backup and replacement of the input file.
#include "replace.hpp"

#include "platform.hpp"

namespace vkt2 {

bool replace_with_backup(const char* name, const char* temp_name, const char* backup_name) {
    const bool backed_up = platform::rename_no_replace(name, backup_name);
    const bool replaced = platform::rename_no_replace(temp_name, name);
    return backed_up && replaced;
}

}  // namespace vkt2
