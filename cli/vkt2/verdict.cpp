// The tester's words for each verdict are the library's; scripts and the man page quote them.
#include "verdict.hpp"

#include <algorithm>

namespace vkt2::batch {

verdict worded(const vkt2_verdict& found) {
    verdict v;
    // A clean pass has no words: nothing to ask the library for, file after file.
    if (found.verdict == VKT2_VERDICT_PASS) return v;
    std::string words(vkt2_verdict_text(&found, nullptr, 0), '\0');
    vkt2_verdict_text(&found, words.data(), words.size() + 1);
    if (found.verdict == VKT2_VERDICT_FAIL) {
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

verdict test_file(std::span<const std::uint8_t> file) {
    vkt2_verdict found{};
    found.struct_size = sizeof found;
    vkt2_test(file.data(), file.size(), &found);
    return worded(found);
}

}  // namespace vkt2::batch
