// What `vkt2 t` says of one file, from its bytes alone.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace vkt2::batch {

struct verdict {
    std::string failure;                // empty when the file passes
    std::vector<std::string> warnings;  // things worth knowing about a file that passes
};

// `file` is what loading gave, at most the first 65,536 bytes; `longer` says the file goes on
// past them. `scratch` takes the decoded bytes and must hold 65,535.
verdict test_file(std::span<const std::uint8_t> file, bool longer, std::span<std::uint8_t> scratch);

}  // namespace vkt2::batch
