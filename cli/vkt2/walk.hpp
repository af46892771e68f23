// Turns the PATHs of a command line into the fixed list of files a run considers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vkt2::batch {

struct entry {
    std::string path;      // as messages show it: the PATH, then the names below it
    std::string relative;  // where its output goes under -o DIR
    bool named;            // given on the command line rather than found by a walk
};

struct walk_result {
    std::vector<entry> files;
    std::size_t skipped = 0;              // seen by a walk but not taken
    std::vector<std::string> unreadable;  // folders that could not be listed
};

// NAME.BAK and NAME.$$$, in any case: the tools' own backups and temporary files.
bool is_tool_file(std::string_view name);

// Folders are walked recursively in byte order of names. A walk takes only regular files:
// links (to folders or files) and special files are skipped, and so are the tools' own
// files. A PATH that is not a folder is taken as it is, whatever its name.
walk_result walk(const std::vector<std::string>& paths);

// `base` and `name` joined with one slash.
std::string join(const std::string& base, const std::string& name);

}  // namespace vkt2::batch
