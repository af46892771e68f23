// Damaged archives through the folder tool's member reader: t, l and cat on any image must end
// in verdicts and messages, never in a read or write outside a buffer.
#include <cstdint>
#include <cstdio>
#include <span>

#include "archive.hpp"
#include "fuzz_check.hpp"
#include "report.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vkt2::batch;
    static std::FILE* const nowhere = std::fopen("/dev/null", "w");
    FUZZ_CHECK(nowhere);
    for (const command cmd : {command::t, command::l, command::cat}) {
        options o;
        o.cmd = cmd;
        o.verbose = true;
        o.json = cmd == command::l;
        sink to(nowhere, nowhere, {});
        reporter report(o, to, false);
        entry e;
        e.path = e.relative = "fuzz.archive";
        e.named = true;
        FUZZ_CHECK(read_archive_image(o, e, std::span(data, size), report, {}));
        const int status = report.finish();
        FUZZ_CHECK(status == 0 || status == 1);
    }
    return 0;
}
