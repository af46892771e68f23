// What an archive is, as a file's load asks before taking it as VKT2: apart from reading one,
// which reports members as files' results, so the load needs nothing above it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "walk.hpp"

namespace vkt2::batch {

// What this build says of archives: "libarchive X.Y.Z", or that it cannot read them.
std::string archive_support();
bool archives_supported();

// The kind of archive the file `e` is ("zip", "ISO9660"...), or empty when it is none. `head`
// is its start as loaded. With libarchive the file itself is asked; without, its signature.
std::string archive_kind(const entry& e, std::span<const std::uint8_t> head);

}  // namespace vkt2::batch
