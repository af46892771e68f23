// What `vkt2 t` says of one file: the library's verdict, in words.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "vkt2/vkt2.h"

namespace vkt2::batch {

struct verdict {
    std::string failure;                // empty when the file passes
    std::vector<std::string> warnings;  // things worth knowing about a file that passes
};

// The library's verdict in words.
verdict worded(const vkt2_verdict& found);

// `file` is what loading gave: the first 65,536 bytes, and one more when the file goes on.
verdict test_file(std::span<const std::uint8_t> file);

}  // namespace vkt2::batch
