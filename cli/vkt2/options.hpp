// The vkt2 command line: which command, which options, which paths.
#pragma once

#include <string>
#include <vector>

namespace vkt2::batch {

enum class command { x, c, t, l, cat, undo };

struct options {
    command cmd = command::x;
    std::vector<std::string> paths;
    std::string out_dir;     // empty: change files in place
    bool force = false;      // with out_dir: replace outputs that exist
    bool quiet = false;      // no summary line, no warnings, no progress
    unsigned jobs = 0;       // 0: one worker per core
    bool zero_fill = false;  // x and cat: decode files that fail the test as vkt2x does
    bool dry_run = false;    // undo: say what would be restored, change nothing
    bool verbose = false;    // undo: name every pair restored or left alone
};

struct parsed {
    enum class kind { run, help, version, error } what = kind::run;
    options opts;
    std::string error;  // what is wrong with the command line, for kind::error
};

// `args` excludes the program name.
parsed parse_arguments(const std::vector<std::string>& args);

inline constexpr char usage_line[] =
    "usage: vkt2 {x|c|t|l|cat|undo} [-o DIR] [-f] [-j N] [-q] [-n] [-v] [--zero-fill] PATH...";

extern const char help_text[];

}  // namespace vkt2::batch
