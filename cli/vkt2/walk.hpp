// Turns the PATHs of a command line into the fixed list of files a run considers.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cp932.hpp"
#include "platform.hpp"

namespace vkt2::batch {

struct entry {
    std::string path;      // as messages show it: the PATH, then the names below it
    std::string relative;  // where its output goes under -o DIR
    bool named = false;    // given on the command line rather than found by a walk
    // The folder the walk opened that holds the file, and its name there: every later step
    // goes through them, never through `path` again. No folder when it could not be opened.
    std::shared_ptr<const platform::folder> folder;
    std::string name;
    std::optional<platform::identity> id;  // when the file could be looked at
    std::string problem;                   // set when the walk already failed this entry
    // Set when a walk saw the entry but does not take it: why (one of the reasons below).
    // Only a regular file skipped (`copyable`) can be copied by --all.
    std::string skip;
    bool copyable = false;
    bool standard_input = false;  // the PATH "-"
};

// Why a walk or a command leaves an entry alone, as -v and --json say it.
namespace reasons {
inline constexpr char backup[] = "a backup";
inline constexpr char temporary[] = "a temporary file";
inline constexpr char link[] = "a link";
inline constexpr char special[] = "not a regular file";
inline constexpr char output_folder[] = "the output folder";
inline constexpr char not_vkt2[] = "not a VKT2 file";
inline constexpr char vkt2[] = "already in VKT2 form";
}  // namespace reasons

// A folder a walk listed: where it is below the PATH it was found in ("" for the PATH itself),
// which is where a mirror (-o) puts its copy, and what it was then.
struct walked_folder {
    std::string relative;
    platform::attributes attributes{};
};

struct walk_result {
    std::vector<entry> files;  // in order, the entries skipped among them
    std::vector<walked_folder> folders;
};

// NAME.BAK and NAME.$$$, in any case: the tools' own backups and temporary files.
bool is_tool_file(std::string_view name);

// NAME.BAK, in any case: what undo looks for.
bool is_backup(std::string_view name);

// Folders are walked in byte order of names, by descriptors and without recursion, so neither
// depth nor path length has a limit. A walk takes only regular files: links (to folders or
// files) and special files are skipped, and so are the tools' own files and the folder `leave
// out` (the output folder), each an entry with its reason. A name that cannot be looked at, or
// a folder that cannot be opened or listed, is an entry with a problem. A PATH that is not a
// folder is taken as it is; "-" is standard input. With `backups`, a walk takes instead every
// NAME.BAK of any type, links and special files included.
walk_result walk(const std::vector<std::string>& paths,
                 const std::optional<platform::identity>& leave_out = std::nullopt,
                 bool backups = false);

// Each output place of `w` (files' and folders' `relative`) under the names' spelling `how`
// reads them as: with -o, outputs go where people can read them.
void respell(walk_result& w, name_encoding how);

// `base` and `name` joined with one separator.
std::string join(const std::string& base, const std::string& name);

}  // namespace vkt2::batch
