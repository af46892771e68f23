// Writing a new file under an output folder, never touching the input it came from.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vkt2::batch {

enum class write_outcome { done, exists, same_as_input, failed };

// Writes `data` to `target` through TARGET.$$$ in the same folder, creating folders as needed,
// then renames it into place: never over an existing file, unless `force`, in which case the
// rename replaces it atomically. The new file gets the mode and times of `source`.
write_outcome write_new(const std::string& target, std::span<const std::uint8_t> data,
                        const std::string& source, bool force);

}  // namespace vkt2::batch
