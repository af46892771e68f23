// Archives read like folders: each VKT2 member of a zip, 7z, ISO 9660, LZH, cab or tar file is
// tested, listed or decoded as ARCHIVE/member/path, through libarchive where the build has it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "archive_kind.hpp"
#include "job.hpp"
#include "options.hpp"
#include "platform.hpp"
#include "walk.hpp"

namespace vkt2::batch {

class reporter;

// Reads the archive `e` member by member and reports each to `report` as a file of its own;
// `out` is the output folder of x -o. False when `stop` ended the run before the last member.
bool read_archive(const options& o, const entry& e, const platform::folder* out, reporter& report,
                  const std::function<bool()>& stop);

// read_archive over an archive image in memory (named by e.path), as the fuzzer drives it.
bool read_archive_image(const options& o, const entry& e, std::span<const std::uint8_t> image,
                        reporter& report, const std::function<bool()>& stop);

// A member's path made safe to write below a folder: "." and empty parts dropped, a leading
// "/" too; empty when a ".." part would lead out of it, or nothing is left.
std::string member_path(const std::string& name);

}  // namespace vkt2::batch
