// A small parser driven by one table of options: short ones bundled or with their value
// attached, long ones with `=VALUE` or the next word, anywhere before "--".
#include "options.hpp"

#include <algorithm>
#include <cctype>
#include <utility>

#include "shown.hpp"

// Where the page that tests, lists and decodes in a browser is installed.
#ifdef _WIN32
#define VKT2_PAGE_PLACE "vkt2.html, beside vkt2.exe"
#elif defined(VKT2_DATADIR)
#define VKT2_PAGE_PLACE VKT2_DATADIR "/vkt2/vkt2.html"
#else
#define VKT2_PAGE_PLACE "vkt2.html, in vkt2's shared data folder"
#endif

namespace vkt2::batch {

const char help_text[] =
    "usage: vkt2 COMMAND [OPTIONS] PATH...\n"
    "Decompress, compress, test and list VKT2 files; a PATH that is a folder is walked,\n"
    "and - is standard input. An archive (zip, 7z, ISO 9660, LZH, cab, tar...) named as a\n"
    "PATH is read like a folder: its VKT2 members show as ARCHIVE/member/path.\n"
    "\n"
    "  x [-o DIR [--all]] [-f] [-j N] [-q|-v] [--json] [--zero-fill] PATH...\n"
    "        decompress (in place, keeping NAME.BAK; x - writes to standard output)\n"
    "  c [-o DIR [--all]] [-f] [-j N] [-q|-v] [--json] PATH...\n"
    "        compress (in place, keeping NAME.BAK; c - writes to standard output)\n"
    "  t [-j N] [-q|-v] [--json] PATH...     test; touches nothing\n"
    "  l [-j N] [-q|-v] [--json] PATH...     list sizes; touches nothing\n"
    "  cat [-q|-v] [--zero-fill] PATH...     decompress to standard output\n"
    "  undo [-n] [-j N] [-q|-v] [--json] PATH...\n"
    "        put NAME.BAK back over NAME where the pair is what an in-place x or c left\n"
    "  scan [-o DIR [-f]] [-q|-v] [--json] FILE...\n"
    "        find VKT2 files embedded at any offset; -o writes each decoded, as\n"
    "        DIR/NAME@OFFSET\n"
    "\n"
    "  -o, --output DIR  write outputs under DIR instead of replacing the inputs\n"
    "  -f, --force       with -o, replace outputs that already exist; with c -, write\n"
    "                    to a terminal\n"
    "  -j, --jobs N      run N workers, 1 to 64 (default: one per core)\n"
    "  -q, --quiet       no summary line, no warnings, no header for l\n"
    "  -v, --verbose     a line for every file done and every entry skipped, with why\n"
    "      --json        one JSON object per file, then a summary, on standard output\n"
    "      --all         with -o, copy the files skipped into DIR as they are\n"
    "      --zero-fill   decode files that fail the test as vkt2x does, zeros past the end\n"
    "      --archives    open the archives a walk meets too (with -o, x writes their\n"
    "                    members under DIR/ARCHIVE/)\n"
    "  -n, --dry-run     undo: list what would be restored, change nothing\n"
    "      --names=ENC   any command: how to read names that are not UTF-8. raw (the\n"
    "                    default) shows their bytes escaped; shift_jis (or cp932) shows\n"
    "                    those that are Shift-JIS decoded, in messages and in JSON as\n"
    "                    path_text, and with -o writes them under their UTF-8 spelling\n"
    "  -h, --help        show this help\n"
    "  -V, --version     show the version\n"
    "Names are shown with control characters and bytes that are not UTF-8 escaped as \\xHH,\n"
    "and a backslash as \\\\; in JSON, bytes that are not UTF-8 are \\udc80 to \\udcff, and\n"
    "path_base64 holds the exact bytes of such a name.\n"
    "The manual page vkt2(1) has the details; the format is described in format.md,\n"
    "installed with vkt2's documentation. The same work in a browser, no install needed:\n"
    "open " VKT2_PAGE_PLACE ".\n";

namespace {

// Which commands take an option, one bit each in the order of `command`.
constexpr unsigned bit(command c) {
    return 1u << static_cast<unsigned>(c);
}
constexpr unsigned x_c = bit(command::x) | bit(command::c);
constexpr unsigned x_c_t_l = x_c | bit(command::t) | bit(command::l);
constexpr unsigned undo = bit(command::undo);
constexpr unsigned scan = bit(command::scan);
constexpr unsigned every = x_c_t_l | bit(command::cat) | undo | scan;
// The commands that read archives.
constexpr unsigned readers =
    bit(command::x) | bit(command::t) | bit(command::l) | bit(command::cat);

// What an option does: most only set a flag of `options`.
enum class what { flag, output, jobs, quiet, verbose, names, help, version };

struct option_row {
    char letter;  // 0: long form only
    const char* name;
    bool takes_value;
    unsigned commands;
    what does;
    bool options::*flag = nullptr;  // for what::flag
};

constexpr option_row table[] = {
    {'o', "output", true, x_c | scan, what::output},
    {'f', "force", false, x_c | scan, what::flag, &options::force},
    {'j', "jobs", true, x_c_t_l | undo, what::jobs},
    {'q', "quiet", false, every, what::quiet},
    {'v', "verbose", false, every, what::verbose},
    {0, "json", false, x_c_t_l | undo | scan, what::flag, &options::json},
    {0, "all", false, x_c, what::flag, &options::all},
    {0, "zero-fill", false, bit(command::x) | bit(command::cat), what::flag, &options::zero_fill},
    {0, "archives", false, readers, what::flag, &options::archives},
    {'n', "dry-run", false, undo, what::flag, &options::dry_run},
    {0, "names", true, every, what::names},
    {'h', "help", false, every, what::help},
    {'V', "version", false, every, what::version},
};

// The row `match` picks, or null when no option is spelled so.
template <class Match>
const option_row* find_row(Match match) {
    const auto* row = std::find_if(std::begin(table), std::end(table), match);
    return row == std::end(table) ? nullptr : row;
}

parsed failure(std::string why) {
    return {parsed::kind::error, {}, std::move(why)};
}

// Sets what `row` does; an error text, or empty.
std::string apply(const option_row& row, const std::string& value, options& o, parsed::kind& stop) {
    switch (row.does) {
        case what::flag:
            o.*row.flag = true;
            break;
        case what::output:
            o.out_dir = value;
            break;
        case what::jobs: {
            const bool digits = value.size() <= 3 && !value.empty() &&
                                std::all_of(value.begin(), value.end(),
                                            [](char ch) { return ch >= '0' && ch <= '9'; });
            o.jobs = digits ? static_cast<unsigned>(std::stoul(value)) : 0;
            if (o.jobs == 0 || o.jobs > 64) return "-j needs a number of workers from 1 to 64";
            break;
        }
        case what::names: {
            // Spelled in any case, as iconv takes the names of encodings.
            std::string lower;
            for (const char ch : value)
                lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
            if (lower == "raw")
                o.names = name_encoding::raw;
            else if (lower == "shift_jis" || lower == "cp932")
                o.names = name_encoding::cp932;
            else
                return "--names takes raw, shift_jis or cp932, not '" + shown(value) + "'";
            break;
        }
        // As in gzip, the later of -q and -v wins.
        case what::quiet:
            o.quiet = true;
            o.verbose = false;
            break;
        case what::verbose:
            o.verbose = true;
            o.quiet = false;
            break;
        case what::help:
            stop = parsed::kind::help;
            break;
        case what::version:
            stop = parsed::kind::version;
            break;
    }
    return {};
}

// Everything that does not depend on the order of the words.
std::string check(options& o, bool stdin_piped) {
    const bool reads_only = o.cmd == command::t || o.cmd == command::l || o.cmd == command::cat ||
                            o.cmd == command::scan;
    if (o.paths.empty() && reads_only && stdin_piped) o.paths.push_back("-");
    if (o.paths.empty()) return "no PATH given";
    const auto dashes = std::count(o.paths.begin(), o.paths.end(), "-");
    if (dashes > 1) return "- (standard input) can be read only once";
    // Undo restores files beside their backups: a stream has neither.
    if (dashes == 1 && o.cmd == command::undo) return "- does not apply to undo";
    if (dashes == 1 && o.cmd == command::scan && !o.out_dir.empty())
        return "-o does not apply to -: scan names its outputs after the files read";
    if (dashes == 1 && !reads_only) {
        // Its output goes to standard output: nothing else can share the run.
        const std::string name = command_name(o.cmd);
        if (o.paths.size() > 1) return "- must be the only PATH of " + name;
        if (!o.out_dir.empty())
            return "-o does not apply to -: " + name + " - writes to standard output";
        if (o.json) return "--json does not apply to -: standard output carries the data";
    }
    if (o.force && o.out_dir.empty() && dashes == 0) return "-f applies only with -o or -";
    if (o.all && o.out_dir.empty()) return "--all applies only with -o";
    if (o.archives && o.cmd == command::x && o.out_dir.empty())
        return "--archives applies to x only with -o: an archive is never changed in place";
    return {};
}

}  // namespace

const char* command_name(command c) {
    static const char* const names[] = {"x", "c", "t", "l", "cat", "undo", "scan"};
    return names[static_cast<unsigned>(c)];
}

parsed parse_arguments(const std::vector<std::string>& args, bool stdin_piped) {
    if (args.empty()) return failure("no command given");
    const std::string& name = args[0];
    if (name == "-h" || name == "--help") return {parsed::kind::help, {}, {}};
    if (name == "-V" || name == "--version") return {parsed::kind::version, {}, {}};
    static const command commands[] = {command::x,   command::c,    command::t,   command::l,
                                       command::cat, command::undo, command::scan};
    const auto* found = std::find_if(std::begin(commands), std::end(commands),
                                     [&](command c) { return name == command_name(c); });
    if (found == std::end(commands)) return failure("unknown command '" + shown(name) + "'");

    parsed result;
    options& o = result.opts;
    o.cmd = *found;
    // An option no command knows is unknown; one another command knows does not apply here.
    const auto usable = [&](const option_row* row, const std::string& spelled) -> std::string {
        if (!row) return "unknown option " + shown(spelled);
        if ((row->commands & bit(o.cmd)) == 0)
            return "option " + shown(spelled) + " does not apply to " + name;
        return {};
    };
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
        parsed::kind stop = parsed::kind::run;
        if (arg[1] == '-') {
            const std::size_t eq = arg.find('=');
            const std::string long_name = arg.substr(2, eq == std::string::npos ? eq : eq - 2);
            const auto* row = find_row([&](const option_row& r) { return long_name == r.name; });
            const std::string spelled = "--" + long_name;
            if (auto why = usable(row, spelled); !why.empty()) return failure(why);
            std::string value;
            if (row->takes_value) {
                if (eq != std::string::npos)
                    value = arg.substr(eq + 1);
                else if (i + 1 < args.size())
                    value = args[++i];
                if (value.empty()) return failure("option " + spelled + " needs a value");
            } else if (eq != std::string::npos) {
                return failure("option " + spelled + " takes no value");
            }
            if (auto why = apply(*row, value, o, stop); !why.empty()) return failure(why);
        } else {
            for (std::size_t k = 1; k < arg.size(); ++k) {
                const char letter = arg[k];
                const auto* row =
                    find_row([&](const option_row& r) { return r.letter && r.letter == letter; });
                const std::string spelled = std::string("-") + letter;
                if (auto why = usable(row, spelled); !why.empty()) return failure(why);
                // A value is the rest of the word, or else the next word.
                std::string value;
                if (row->takes_value) {
                    value = arg.substr(k + 1);
                    if (value.empty() && i + 1 < args.size()) value = args[++i];
                    if (value.empty()) return failure("option " + spelled + " needs a value");
                    k = arg.size();
                }
                if (auto why = apply(*row, value, o, stop); !why.empty()) return failure(why);
                if (stop != parsed::kind::run) break;
            }
        }
        if (stop != parsed::kind::run) return {stop, {}, {}};
    }
    if (auto why = check(o, stdin_piped); !why.empty()) return failure(why);
    return result;
}

}  // namespace vkt2::batch
