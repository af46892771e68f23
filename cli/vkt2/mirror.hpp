// The folders of a mirror (-o): made private while the run fills them, then given the mode,
// owner and dates of the folders they copy once everything in them is written.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform.hpp"
#include "walk.hpp"

namespace vkt2::batch {

// The mode a mirror's folders are made with: private until the run gives them their own.
inline constexpr unsigned private_folder = 0700;

// A folder of a mirror (-o) made for a file's output: where it is below the output folder, and
// the identity it had when made.
struct made_folder {
    std::string relative;
    platform::identity id;
};

// The folders a run made below its output folder, by where they are ("" for the output folder
// itself), each with the identity it had when made.
using made_folders = std::map<std::string, platform::identity>;

// The output folder as open_output found it.
struct output_root {
    std::optional<platform::folder> folder;  // nothing when it cannot be opened
    std::string why;                         // and then why
    std::optional<platform::identity> made;  // made by this call, and private until the end
};

// The output folder, made if need be (the path the user gave is followed as given). Folders
// made on the way to it are never writable by others, whatever the umask; the output folder
// itself, when it is to copy folders, is private until the end.
output_root open_output(std::string dir, bool copies_folders);

// Gives each folder of `made` below `out` the attributes of the walked folders it copies, the
// deepest first: no date is set before a folder is complete, and no folder loses its owner's
// write or search permission while a folder below it is still to do. Where several folders are
// copied into one, its mode keeps only the bits all of them have. A folder that copies none, or
// is no longer the one made, keeps what it has.
void finish_folders(const platform::folder& out, const made_folders& made,
                    const std::vector<walked_folder>& walked);

}  // namespace vkt2::batch
