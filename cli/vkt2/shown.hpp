// Names as a line meant for a person shows them.
#pragma once

#include <string>

#include "cp932.hpp"

namespace vkt2::batch {

// A name as a line meant for a person shows it: control characters, bytes that are not valid
// UTF-8 and the backslash escaped (\xHH, \\), so no name can move the cursor, retitle the
// terminal or forge a line. With `how`, names that are CP932 are shown decoded first.
std::string shown(const std::string& name, name_encoding how = name_encoding::raw);

}  // namespace vkt2::batch
