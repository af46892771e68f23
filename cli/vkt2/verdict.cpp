// The tester's words for each verdict are the library's; scripts and the man page quote them.
#include "verdict.hpp"

#include <algorithm>

#include "vkt2/vkt2.hpp"

namespace vkt2::batch {

verdict test_file(std::span<const std::uint8_t> file) {
    verdict v;
    const vkt2::verdict found = vkt2::test(file);
    const std::string words = vkt2::text(found);
    if (found.result == grade::fail) {
        v.failure = words;
        return v;
    }
    for (std::size_t at = 0; at < words.size();) {
        const std::size_t end = std::min(words.find('\n', at), words.size());
        v.warnings.push_back(words.substr(at, end - at));
        at = end + 1;
    }
    return v;
}

}  // namespace vkt2::batch
