// Backup and replacement: the compressed input becomes NAME.BAK, the decoded file NAME.
#pragma once

namespace vkt2 {

// Renames `name` to `backup_name`, then `temp_name` to `name`, never replacing an existing
// file. The second rename is tried whatever became of the first, so the files always end in
// one of a few known states. Returns true only if both renames succeeded.
bool replace_with_backup(const char* name, const char* temp_name, const char* backup_name);

}  // namespace vkt2
