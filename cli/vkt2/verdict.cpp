// The tester's words for each verdict; scripts and the man page quote them.
#include "verdict.hpp"

#include "vkt2/vkt2.hpp"

namespace vkt2::batch {

verdict test_file(std::span<const std::uint8_t> file) {
    verdict v;
    const vkt2::verdict found = vkt2::test(file);
    switch (found.failure) {
        case file_status::ok:
            break;
        case file_status::not_vkt2:
            v.failure = "not a VKT2 file";
            return v;
        case file_status::header_cut_short:
            v.failure = "cut short: the file ends inside its 8-byte header";
            return v;
        case file_status::cut_short:
            v.failure = "cut short: the stream runs " + std::to_string(found.bytes_missing) +
                        " bytes past the end of the file";
            return v;
        default:
            v.failure = "the stream needs bytes past the first 65,536; it cannot be decoded";
            return v;
    }
    if (found.bytes_ignored)
        v.warnings.push_back("warning: longer than 65,536 bytes; the rest is never read");
    if (found.bytes_unused) {
        v.warnings.push_back("warning: " + std::to_string(found.bytes_unused) +
                             " unused bytes after the end of the stream");
    }
    return v;
}

}  // namespace vkt2::batch
