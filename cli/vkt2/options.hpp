// The vkt2 command line: which command, which options, which paths.
#pragma once

#include <string>
#include <vector>

#include "cp932.hpp"

namespace vkt2::batch {

enum class command { x, c, t, l, cat, undo, scan };

struct options {
    command cmd = command::x;
    std::vector<std::string> paths;  // "-" is standard input
    std::string out_dir;             // empty: change files in place
    bool force = false;    // with out_dir: replace outputs that exist; with -: write to a terminal
    bool quiet = false;    // no summary line, no warnings, no progress
    bool verbose = false;  // a line for every file done and every entry skipped
    bool json = false;     // JSON Lines on standard output instead of the lines for a person
    bool all = false;      // with out_dir: copy the files skipped as they are
    unsigned jobs = 0;     // 0: one worker per core
    bool zero_fill = false;  // x and cat: decode files that fail the test as vkt2x does
    bool dry_run = false;    // undo: say what would be restored, change nothing
    name_encoding names = name_encoding::raw;  // how names that are not UTF-8 are read
    bool archives = false;  // a walk opens the archives it meets, as named ones are
};

// The word that names `c` on the command line.
const char* command_name(command c);

struct parsed {
    enum class kind { run, help, version, error } what = kind::run;
    options opts;
    std::string error;  // what is wrong with the command line, for kind::error
};

// `args` excludes the program name. With no PATH, a command that only reads takes standard
// input when `stdin_piped` (it is not a terminal).
parsed parse_arguments(const std::vector<std::string>& args, bool stdin_piped = false);

inline constexpr char usage_line[] =
    "usage: vkt2 {x|c|t|l|cat|undo|scan} [-o DIR] [-f] [-n] [-j N] [-q|-v] [--json] [--all] "
    "[--zero-fill] [--archives] [--names=ENC] PATH...";

extern const char help_text[];

}  // namespace vkt2::batch
