// A small parser: short options, bundled or with their value attached, anywhere before "--".
#include "options.hpp"

#include <algorithm>
#include <utility>

namespace vkt2::batch {

const char help_text[] =
    "usage: vkt2 COMMAND [OPTIONS] PATH...\n"
    "Decompress, compress, test and list VKT2 files; a PATH that is a folder is walked.\n"
    "\n"
    "  x [-o DIR] [-f] [-j N] [-q] [--zero-fill] PATH...\n"
    "        decompress (in place, keeping NAME.BAK)\n"
    "  c [-o DIR] [-f] [-j N] [-q] PATH...   compress (in place, keeping NAME.BAK)\n"
    "  t [-j N] [-q] PATH...                 test; touches nothing\n"
    "  l [-j N] PATH...                      list sizes; touches nothing\n"
    "  cat [--zero-fill] PATH...             decompress to standard output\n"
    "  undo [-n] [-v] [-j N] [-q] PATH...    put back NAME.BAK over NAME where the pair is\n"
    "                                        what an in-place x or c left; nothing else\n"
    "\n"
    "  -o DIR       write outputs under DIR instead of replacing the inputs\n"
    "  -f           with -o, replace outputs that already exist\n"
    "  -j N         run N workers, 1 to 64 (default: one per core)\n"
    "  -q           no summary line and no warnings\n"
    "  -n, --dry-run  undo: list what would be restored, change nothing\n"
    "  -v           undo: also name each pair restored or left alone, and why\n"
    "  --zero-fill  decode files that fail the test as vkt2x does, zeros past the end\n"
    "  -h, --help   show this help\n"
    "  -V, --version  show the version\n"
    "Names are shown with control characters and bytes that are not UTF-8 escaped as \\xHH,\n"
    "and a backslash as \\\\.\n";

namespace {

parsed failure(std::string why) {
    return {parsed::kind::error, {}, std::move(why)};
}

// The options each command takes.
const char* allowed_options(command cmd) {
    switch (cmd) {
        case command::x:
        case command::c:
            return "ofjq";
        case command::t:
            return "jq";
        case command::l:
            return "j";
        case command::undo:
            return "njqv";
        case command::cat:
            break;
    }
    return "";
}

}  // namespace

parsed parse_arguments(const std::vector<std::string>& args) {
    if (args.empty()) return failure("no command given");
    const std::string& name = args[0];
    if (name == "-h" || name == "--help") return {parsed::kind::help, {}, {}};
    if (name == "-V" || name == "--version") return {parsed::kind::version, {}, {}};
    static const std::pair<const char*, command> commands[] = {
        {"x", command::x}, {"c", command::c},     {"t", command::t},
        {"l", command::l}, {"cat", command::cat}, {"undo", command::undo}};
    const auto* found = std::find_if(std::begin(commands), std::end(commands),
                                     [&](const auto& c) { return name == c.first; });
    if (found == std::end(commands)) return failure("unknown command '" + name + "'");

    parsed result;
    options& o = result.opts;
    o.cmd = found->second;
    const std::string allowed = allowed_options(o.cmd);
    bool options_ended = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            o.paths.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") return {parsed::kind::help, {}, {}};
        if (arg == "--zero-fill" && (o.cmd == command::x || o.cmd == command::cat)) {
            o.zero_fill = true;
            continue;
        }
        if (arg == "--dry-run" && o.cmd == command::undo) {
            o.dry_run = true;
            continue;
        }
        if (arg[1] == '-') return failure("unknown option '" + arg + "'");
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const char flag = arg[k];
            if (allowed.find(flag) == std::string::npos)
                return failure(std::string("option -") + flag + " does not apply to " + name);
            if (flag == 'f' || flag == 'q' || flag == 'n' || flag == 'v') {
                (flag == 'f'   ? o.force
                 : flag == 'q' ? o.quiet
                 : flag == 'n' ? o.dry_run
                               : o.verbose) = true;
                continue;
            }
            // -o and -j take the rest of the word, or else the next word.
            std::string value = arg.substr(k + 1);
            if (value.empty() && i + 1 < args.size()) value = args[++i];
            if (value.empty()) return failure(std::string("option -") + flag + " needs a value");
            if (flag == 'o') {
                o.out_dir = value;
            } else {
                const bool digits = value.size() <= 3 &&
                                    std::all_of(value.begin(), value.end(),
                                                [](char ch) { return ch >= '0' && ch <= '9'; });
                o.jobs = digits ? static_cast<unsigned>(std::stoul(value)) : 0;
                if (o.jobs > 64) o.jobs = 0;
                if (o.jobs == 0) return failure("-j needs a number of workers from 1 to 64");
            }
            break;
        }
    }
    if (o.paths.empty()) return failure("no PATH given");
    if (o.force && o.out_dir.empty()) return failure("-f applies only with -o");
    return result;
}

}  // namespace vkt2::batch
