// The folders of a mirror (-o): made private while the run fills them, then given the mode,
// owner and dates of the folders they copy once everything in them is written.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform.hpp"
#include "walk.hpp"

namespace vkt2::batch {

// The folders a run made below its output folder, by where they are ("" for the output folder
// itself), each with the identity it had when made.
using made_folders = std::map<std::string, platform::identity>;

// Gives each folder of `made` below `out` the attributes of the walked folders it copies, the
// deepest first: no date is set before a folder is complete, and no folder loses its owner's
// write or search permission while a folder below it is still to do. Where several folders are
// copied into one, its mode keeps only the bits all of them have. A folder that copies none, or
// is no longer the one made, keeps what it has.
void finish_folders(const platform::folder& out, const made_folders& made,
                    const std::vector<walked_folder>& walked);

}  // namespace vkt2::batch
