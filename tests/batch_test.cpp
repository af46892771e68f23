// The folder tool's engine, run in scratch folders without starting a process.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine.hpp"
#include "json.hpp"
#include "options.hpp"
#include "replace.hpp"
#include "report.hpp"
#include "undo.hpp"
#include "verdict.hpp"
#include "vkt2/format.hpp"
#include "vkt2/vkt2.hpp"
#include "walk.hpp"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<std::uint8_t>;
using strings = std::vector<std::string>;
using vkt2::batch::parsed;

std::string packed(const std::string& plain) {
    const auto header = vkt2::make_header(static_cast<std::uint16_t>(plain.size()));
    const bytes stream = vkt2::encode(bytes(plain.begin(), plain.end()));
    return std::string(header.begin(), header.end()) + std::string(stream.begin(), stream.end());
}

// A command line, split at spaces.
strings split(const std::string& line) {
    strings words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

void put(const fs::path& name, const std::string& content) {
    fs::create_directories(fs::absolute(name).parent_path());
    std::ofstream(name, std::ios::binary) << content;
}

std::string get(const fs::path& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every file below `root`, by its path from there, with its content.
std::string tree(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files[fs::relative(e.path(), root).generic_string()] = get(e.path());
    std::string all;
    for (const auto& [name, content] : files) all += name + "=" + content + ";";
    return all;
}

class BatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vkt2-batch-" + std::to_string(std::random_device()()));
        ASSERT_TRUE(fs::create_directory(dir_));
        old_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    // Runs a valid command line, keeping what it wrote to each stream in out_ and err_.
    int vkt2(const std::string& line, const std::function<bool()>& interrupted = {},
             const vkt2::batch::hooks& at = {}) {
        const parsed p = vkt2::batch::parse_arguments(split(line));
        EXPECT_EQ(p.what, parsed::kind::run) << p.error;
        std::FILE* streams[] = {std::fopen((dir_ / "stdout").string().c_str(), "wb+"),
                                std::fopen((dir_ / "stderr").string().c_str(), "wb+")};
        const int status = vkt2::batch::run(p.opts, streams[0], streams[1], false, interrupted, at);
        for (std::FILE* f : streams) std::fclose(f);
        out_ = get(dir_ / "stdout");
        err_ = get(dir_ / "stderr");
        return status;
    }
    // Runs `line`, expecting its exit status and what it wrote to standard error.
    void runs(const std::string& line, int status, const std::string& err,
              const std::function<bool()>& interrupted = {}, const vkt2::batch::hooks& at = {}) {
        EXPECT_EQ(vkt2(line, interrupted, at), status) << line;
        EXPECT_EQ(err_, err) << line;
    }

    fs::path dir_, old_;
    std::string out_, err_;
};

TEST(BatchOptions, ParsesCommandsAndRefusesBadCommandLines) {
    const auto p = vkt2::batch::parse_arguments(split("x -qj3 d -o out -- -f"));
    EXPECT_TRUE(p.what == parsed::kind::run && p.opts.cmd == vkt2::batch::command::x &&
                p.opts.paths == strings({"d", "-f"}) && p.opts.quiet && !p.opts.force &&
                p.opts.out_dir == "out" && p.opts.jobs == 3u);
    const auto q = vkt2::batch::parse_arguments(
        split("c --output=o1 --jobs 5 --force --verbose --json --all d --quiet -v -oo2"));
    EXPECT_TRUE(q.what == parsed::kind::run && q.opts.out_dir == "o2" && q.opts.jobs == 5u &&
                q.opts.force && q.opts.verbose && !q.opts.quiet && q.opts.json && q.opts.all);
    // With no PATH, a command that only reads takes a standard input that is not a terminal.
    EXPECT_EQ(vkt2::batch::parse_arguments({"cat"}, true).opts.paths, strings({"-"}));
    EXPECT_EQ(vkt2::batch::parse_arguments({"x"}, true).error, "no PATH given");
    EXPECT_EQ(vkt2::batch::parse_arguments({"cat"}, false).error, "no PATH given");
    EXPECT_EQ(vkt2::batch::parse_arguments(split("t -j64 d")).opts.jobs, 64u);
    for (const char* line : {"--help", "x -h d", "t d --help", "l -qh", "t -hZ d"})
        EXPECT_EQ(vkt2::batch::parse_arguments(split(line)).what, parsed::kind::help) << line;
    for (const char* line : {"-V", "cat -V", "t d --version"})
        EXPECT_EQ(vkt2::batch::parse_arguments(split(line)).what, parsed::kind::version) << line;
    const std::pair<const char*, const char*> bad[] = {
        {"", "no command given"},
        {"z d", "unknown command 'z'"},
        {"x", "no PATH given"},
        {"x -o", "option -o needs a value"},
        {"x --output", "option --output needs a value"},
        {"x --force=1 d", "option --force takes no value"},
        {"x -f d", "-f applies only with -o or -"},
        {"x --all d", "--all applies only with -o"},
        {"x -j 0 d", "-j needs a number of workers from 1 to 64"},
        {"x --jobs=65 d", "-j needs a number of workers from 1 to 64"},
        {"x -j2x d", "-j needs a number of workers from 1 to 64"},
        {"t -Z d", "unknown option -Z"},
        {"t -qZ d", "unknown option -Z"},
        {"x --foo d", "unknown option --foo"},
        {"t -o o d", "option -o does not apply to t"},
        {"l --output=o d", "option --output does not apply to l"},
        {"cat -j 2 d", "option -j does not apply to cat"},
        {"cat --json d", "option --json does not apply to cat"},
        {"t --all d", "option --all does not apply to t"},
        {"t - d -", "- (standard input) can be read only once"},
        {"x - d", "- must be the only PATH of x"},
        {"c -o o -", "-o does not apply to -: c - writes to standard output"},
        {"x --json -", "--json does not apply to -: standard output carries the data"},
        {"x -n d", "option -n does not apply to x"},
        {"c --dry-run d", "option --dry-run does not apply to c"},
        {"undo -o o d", "option -o does not apply to undo"},
        {"undo -", "- does not apply to undo"}};
    for (const auto& [line, why] : bad) {
        const auto r = vkt2::batch::parse_arguments(split(line));
        EXPECT_TRUE(r.what == parsed::kind::error && r.error == why) << line << ": " << r.error;
    }
    const auto u = vkt2::batch::parse_arguments(split("undo -vj2 --dry-run --json d"));
    EXPECT_TRUE(u.what == parsed::kind::run && u.opts.cmd == vkt2::batch::command::undo &&
                u.opts.dry_run && u.opts.verbose && !u.opts.quiet && u.opts.jobs == 2u &&
                u.opts.json);
}

TEST_F(BatchTest, InPlaceRunsDoWhatTheOneFileToolsDoAndNeverTakeBackups) {
    const std::string hello = packed("hello hello hello"), abc = packed("abcabcabcabc");
    put("d/plain", "hello hello hello");
    put("d/sub/packed", abc);
    // c takes the plain files, x the packed ones; the rest are skipped and counted.
    EXPECT_EQ(vkt2("c d"), 0);
    EXPECT_EQ(err_, "vkt2: 1 file done, 0 failed, 1 skipped; 17 bytes in, " +
                        std::to_string(hello.size()) + " bytes out\n");
    EXPECT_EQ(tree("d"), "plain=" + hello + ";plain.BAK=hello hello hello;sub/packed=" + abc + ";");
    fs::remove("d/plain.BAK");
    EXPECT_EQ(vkt2("x -j2 -q d"), 0);
    const std::string decoded = "plain=hello hello hello;plain.BAK=" + hello +
                                ";sub/packed=abcabcabcabc;sub/packed.BAK=" + abc + ";";
    EXPECT_EQ(tree("d"), decoded);
    // The backups begin with the magic word, yet a second run leaves everything as it was.
    EXPECT_EQ(vkt2("x d"), 0);
    EXPECT_EQ(err_, "vkt2: 0 files done, 0 failed, 4 skipped; 0 bytes in, 0 bytes out\n");
    EXPECT_EQ(tree("d"), decoded);
    // Files named on the command line are always considered, and fail when they do not fit.
    put("d/sub/packed.BAK.BAK", "in the way");
    runs("x -q d/sub/packed d/sub/packed.BAK d/sub/packed nothing", 1,
         "vkt2: d/sub/packed: not a VKT2 file\n"
         "vkt2: d/sub/packed.BAK: d/sub/packed.BAK.BAK already exists\n"
         "vkt2: nothing: cannot open: No such file or directory\n");
    // A taken backup name is seen before anything is written.
    EXPECT_FALSE(fs::exists("d/sub/packed.BAK.$$$"));
    put("big", std::string(65536, 'b'));
    put("max", std::string(65535, 'm'));
    runs("c -q d/sub/packed.BAK big max", 1,
         "vkt2: d/sub/packed.BAK: already in VKT2 form\n"
         "vkt2: big: too large: VKT2 holds at most 65,535 bytes\n");
    EXPECT_EQ(get("max"), packed(std::string(65535, 'm')));
}

TEST_F(BatchTest, OutputFolderKeepsThePathsAndReplacesOnlyWithForce) {
    put("d/a", packed("one"));
    put("d/s/t/b", packed("two"));
    put("e/b", packed("three"));
    // A file cut short decodes from the zero fill, whatever the worker loaded before it.
    const std::string many(3000, 'n');
    const std::string cut = packed(std::string(300, 'q') + "the tail");
    put("d/z", packed(many));
    put("d/zz", cut.substr(0, cut.size() - 5));
    bytes buffer(vkt2::max_file_size), want(308);
    std::copy(cut.begin(), cut.end() - 5, buffer.begin());
    vkt2::decode_stream(vkt2::token_stream(buffer), want);
    const std::string inputs = tree("d") + tree("e");
    EXPECT_EQ(vkt2("x -q -j1 --zero-fill -o out d e/b"), 0);
    const std::string zs = "z=" + many + ";zz=" + std::string(want.begin(), want.end()) + ";";
    EXPECT_EQ(tree("out"), "a=one;b=three;s/t/b=two;" + zs);
    put("out/a", "old");
    EXPECT_EQ(vkt2("x -o out d/a d/s"), 1);
    EXPECT_EQ(err_,
              "vkt2: d/a: out/a already exists (-f replaces it)\n"
              "vkt2: 1 file done, 1 failed, 0 skipped; 12 bytes in, 3 bytes out\n");
    EXPECT_EQ(tree("out"), "a=old;b=three;s/t/b=two;t/b=two;" + zs);
    runs("x -q -f --zero-fill -o out d e/b d/s/t/b", 1, "vkt2: d/s/t/b: same output as e/b\n");
    EXPECT_EQ(tree("out"), "a=one;b=three;s/t/b=two;t/b=two;" + zs);
    runs("x -q -fo d d/a", 1, "vkt2: d/a: d/a is the input itself\n");
    EXPECT_EQ(tree("d") + tree("e"), inputs);
}

TEST_F(BatchTest, TestPassesFailsAndWarnsOnEachKindOfFile) {
    const std::string good = packed("abcabcabcabcabcabcabc, and then some more text");
    put("v/cut", good.substr(0, good.size() - 3));
    put("v/hungry", "VKT2\xFF\xFF\xFF\xFF" + std::string(65528, '\xFF'));
    put("v/full", good + std::string(65536 - good.size(), '\0'));
    put("v/longer", good + std::string(70000, '\0'));
    put("v/unused", good + "123");
    EXPECT_EQ(vkt2("t v"), 1);
    EXPECT_EQ(err_,
              "vkt2: v/cut: cut short: the file ends before its stream does; the last 3 of its 46 "
              "decoded bytes are missing\n"
              "vkt2: v/full: warning: 65494 unused bytes after the end of the stream\n"
              "vkt2: v/hungry: the stream needs bytes past the first 65,536; it cannot be "
              "decoded\nvkt2: v/longer: warning: longer than 65,536 bytes; the rest is never read\n"
              "vkt2: v/longer: warning: 65494 unused bytes after the end of the stream\n"
              "vkt2: v/unused: warning: 3 unused bytes after the end of the stream\n"
              "vkt2: 3 files passed, 2 failed, 0 skipped; 131117 bytes in, 138 bytes out\n");
    EXPECT_EQ(vkt2("l -q v/longer"), 0);
    EXPECT_EQ(out_, vkt2::batch::listing_row(good.size() + 70000, 46, "v/longer") + "\n");
}

// The walk goes in byte order of names, takes only regular files and never the tools' own.
TEST_F(BatchTest, TestListAndCatReportEachFileInOrder) {
    for (const char* name : {"d/b", "d/C", "d/a.d/c", "d/x.bak", "d/Y.$$$", "d/z.BAK"})
        put(name, packed(""));
    put("d/a", packed("hello hello hello hello"));
    put("d/b", packed("") + "xy");
    put("d/p", "plain");
    int links = 0;
#ifndef _WIN32
    fs::create_directory_symlink(dir_ / "d" / "a.d", "d/link");
    fs::create_symlink(dir_ / "d" / "a", "d/flink");
    links = 2;
#endif
    EXPECT_EQ(vkt2("t d d/p d/x.bak"), 1);
    EXPECT_EQ(err_,
              "vkt2: d/b: warning: 2 unused bytes after the end of the stream\n"
              "vkt2: d/p: not a VKT2 file\nvkt2: 5 files passed, 1 failed, " +
                  std::to_string(4 + links) + " skipped; 51 bytes in, 23 bytes out\n");
    runs("t -q d", 0, "");
    EXPECT_EQ(vkt2("l d/"), 0);
    EXPECT_EQ(out_,
              "compressed   original   ratio name\n"
              "         8          0    0.0% d/C\n"
              "        17         23   26.1% d/a\n"
              "         8          0    0.0% d/a.d/c\n"
              "        10          0    0.0% d/b\n"
              "        43         23  -87.0% (totals)\n");
    EXPECT_EQ(vkt2("l -v d/b"), 0);
    EXPECT_EQ(out_ + err_,
              "compressed   original   ratio name\n        10          0    0.0% d/b\n");
    EXPECT_EQ(vkt2("x -q --all -o o d"), 0);
    EXPECT_TRUE(fs::exists("o/x.bak") && fs::exists("o/z.BAK") && !fs::exists("o/Y.$$$"));
    EXPECT_EQ(vkt2("cat d/a d d/a"), 0);
    const std::string hello = "hello hello hello hello";
    // What t warns of, cat says too, on standard error.
    EXPECT_EQ(out_, hello + hello + hello);
    EXPECT_EQ(err_, "vkt2: d/b: warning: 2 unused bytes after the end of the stream\n");
    // A listing with nothing in it says so rather than print a bare header.
    put("e/p", "plain");
    put("e/p.BAK", packed("p"));
    EXPECT_EQ(vkt2("l e"), 0);
    EXPECT_EQ(out_ + err_, "vkt2: e: no VKT2 file found\n");
    fs::create_directory("f");
    EXPECT_EQ(vkt2("l e f"), 0);
    EXPECT_EQ(out_ + err_, "vkt2: no VKT2 file found in any PATH\n");
    // Interrupted, a run starts no other file.
    std::atomic<bool> stop = false;
    vkt2::batch::hooks at;
    at.before_work = [&](std::size_t i) { stop = stop || i == 1; };
    EXPECT_EQ(vkt2(
                  "t -j1 d/a d/a d/a", [&] { return stop.load(); }, at),
              1);
    EXPECT_EQ(err_, "vkt2: 2 files passed, 0 failed, 0 skipped; 34 bytes in, 46 bytes out\n");
    // A file another worker finished is reported too, though one before it never started: with
    // two workers, the first takes files 0 to 9 and the second 10 to 16; a signal comes while
    // each is on its second file and first, so only files 0, 1 and 10 are worked on.
    for (int i = 10; i < 50; ++i) put("m/f" + std::to_string(i), packed("m"));
    std::mutex m;
    std::condition_variable cv;
    bool second = false;
    stop = false;
    at.before_work = [&](std::size_t i) {
        std::unique_lock lock(m);
        // Bounded only so that a run that never starts file 10 cannot hang.
        const auto soon = std::chrono::seconds(30);
        if (i == 10) {
            second = true;
            cv.notify_all();
            cv.wait_for(lock, soon, [&] { return stop.load(); });
        } else if (i == 1) {
            stop = cv.wait_for(lock, soon, [&] { return second; });
            cv.notify_all();
        }
    };
    EXPECT_EQ(vkt2(
                  "x -v -j2 m", [&] { return stop.load(); }, at),
              1);
    EXPECT_TRUE(fs::exists("m/f20.BAK"));
    EXPECT_NE(err_.find("vkt2: m/f20: decoded, "), std::string::npos) << err_;
    EXPECT_NE(err_.find("vkt2: 3 files done, "), std::string::npos) << err_;
}

TEST_F(BatchTest, AnyNumberOfWorkersGivesTheSameResults) {
    for (int i = 0; i < 60; ++i) {
        const std::string plain(static_cast<std::size_t>(i * 97 % 3000),
                                static_cast<char>('a' + i % 26));
        const std::string name = "d/" + std::to_string(i % 7) + "/f" + std::to_string(i);
        put(name, i % 5 == 0 ? plain : packed(plain));
        if (i % 9 == 0) put(name + ".BAK", "in the way");
    }
    fs::copy("d", "e", fs::copy_options::recursive);
    // Run from inside each copy, so that the messages name the same paths.
    fs::current_path("d");
    EXPECT_EQ(vkt2("x -j1 ."), 1);
    const std::string one = err_;
    fs::current_path("../e");
    EXPECT_EQ(vkt2("x -j4 ."), 1);
    EXPECT_NE(one.find(".BAK already exists"), std::string::npos);
    EXPECT_EQ(one, err_);
    fs::current_path(dir_);
    EXPECT_EQ(tree("d"), tree("e"));
}

// Settled files are never run: the reporter passes a settled file before a worker could reach
// it, and under -f the later input would otherwise replace the first one's output.
TEST_F(BatchTest, InputsSharingAnOutputAreSettledBeforeAnyWork) {
    for (int i = 0; i < 40; ++i) {
        put("d/f" + std::to_string(i), packed("first"));
        put("e/f" + std::to_string(i), packed("second"));
    }
    vkt2::batch::hooks at;
    std::atomic<int> ran = 0;
    at.before_work = [&](std::size_t) { ++ran; };
    EXPECT_EQ(vkt2("x -q -f -j1 -o out d e", {}, at), 1);
    EXPECT_EQ(ran, 40);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(get("out/f" + std::to_string(i)), "first");
    EXPECT_NE(err_.find("vkt2: e/f7: same output as d/f7\n"), std::string::npos);
}

TEST_F(BatchTest, FilesAreTheSameOnlyWhenTheyAreOneFile) {
    put("d/a", packed("top"));
#ifndef _WIN32
    put("d/s/in/x", "");
    put("d/s/a", packed("below"));
    fs::create_directory_symlink(dir_ / "d" / "s" / "in", "d/lnk");
    // d/lnk/../a is d/s/a, another file; a second name of d/a is not another file.
    fs::create_hard_link("d/a", "d/hard");
    EXPECT_EQ(vkt2("x -q d/a d/lnk/../a d/hard d/a"), 0);
    EXPECT_EQ(get("d/a"), "top");
    EXPECT_EQ(get("d/s/a"), "below");
#endif
    // The output folder inside the input tree: never an input, the same for every -j.
    put("e/out/a", packed("old"));
    put("e/a", packed("new"));
    fs::copy("e", "f", fs::copy_options::recursive);
    EXPECT_EQ(vkt2("x -f -j1 -o e/out e e/out"), 0);
    EXPECT_EQ(err_, "vkt2: 1 file done, 0 failed, 0 skipped; " +
                        std::to_string(packed("new").size()) + " bytes in, 3 bytes out\n");
    EXPECT_EQ(vkt2("x -q -f -j4 -o f/out f"), 0);
    EXPECT_EQ(tree("e"), tree("f"));
    EXPECT_EQ(get("e/out/a"), "new");
    // An output that is another input of the run is not replaced under it.
    put("g/a", packed("g"));
    put("h/a", packed("h"));
    runs("x -q -f -o h g h/a", 1,
         "vkt2: g/a: h/a is also an input of this run\n"
         "vkt2: h/a: same output as g/a\n");
}

#ifndef _WIN32
// In place a named link is refused: renaming it would move the link aside and leave a file
// where it was, away from the data it leads to. Reading through it, or writing elsewhere, is fine.
TEST_F(BatchTest, ANamedLinkIsNeverReplacedInPlace) {
    put("d/f", packed("through the link"));
    put("d/p", "plain");
    fs::create_symlink("f", "d/lnk");
    fs::create_symlink("p", "d/plnk");
    for (const char* line : {"x -q d/lnk", "c -q d/plnk"}) {
        EXPECT_EQ(vkt2(line), 1) << line;
        EXPECT_NE(err_.find(": a link: in place only a file is replaced"), std::string::npos)
            << err_;
    }
    EXPECT_TRUE(fs::is_symlink("d/lnk") && fs::is_symlink("d/plnk"));
    EXPECT_FALSE(fs::exists("d/lnk.BAK") || fs::exists("d/plnk.BAK") || fs::exists("d/lnk.$$$"));
    EXPECT_EQ(get("d/p"), "plain");
    EXPECT_EQ(vkt2("x -q -o o d/lnk"), 0);
    EXPECT_EQ(get("o/lnk"), "through the link");
    EXPECT_EQ(get("d/f"), packed("through the link"));
}

// Between the walk and the work a folder is swapped for a link to one outside the tree; the
// run works in the folder it walked and never reaches the other.
TEST_F(BatchTest, NoLinkSwappedInAfterTheWalkIsFollowed) {
    put("d/sub/f", packed("inside"));
    put("outside/f", packed("outside"));
    const std::string outside = get("outside/f");
    vkt2::batch::hooks at;
    at.after_walk = [&] {
        fs::rename("d/sub", "moved");
        fs::create_directory_symlink(dir_ / "outside", "d/sub");
    };
    EXPECT_EQ(vkt2("x -q d", {}, at), 0);
    EXPECT_EQ(get("outside/f"), outside);
    EXPECT_EQ(get("moved/f"), "inside");
    // The output tree: a link where a mirrored folder belongs fails that file.
    put("e/sub/g", packed("g"));
    put("e/h", packed("h"));
    fs::create_directories("out");
    fs::create_directory_symlink(dir_ / "outside", "out/sub");
    runs("x -q -f -o out e", 1,
         "vkt2: e/sub/g: cannot make the folder out/sub: Too many levels of "
         "symbolic links\n");
    EXPECT_EQ(tree("outside"), "f=" + outside + ";");
    EXPECT_EQ(get("out/h"), "h");
}

// Only the slash separates; a name is shown with its control characters and stray bytes escaped.
TEST_F(BatchTest, NamesAreBytesAndShownEscaped) {
    put("t/d\\/f", packed("in the folder"));
    put("t/d\\f", "plain");
    const std::string odd = "t/\x1b]0;title\x07\n1 file done, 0 failed \xff\xc3\xa9\xc2\x85";
    put(odd, "plain");
    EXPECT_EQ(vkt2("l t"), 0);
    EXPECT_EQ(out_,
              "compressed   original   ratio name\n"
              "        23         13  -76.9% t/d\\\\/f\n");
    EXPECT_EQ(vkt2("t -q t/d\\f " + odd.substr(0, 2) + "\x1b]0;title\x07\n1"), 1);
    EXPECT_EQ(vkt2::batch::shown(odd),
              "t/\\x1b]0;title\\x07\\x0a1 file done, 0 failed \\xff\xc3\xa9\\xc2\\x85");
    EXPECT_EQ(vkt2::batch::shown("a\x7f"), "a\\x7f");
}

// Every field of a --json line, for a name with a backslash, DEL, a C1 control and bytes that
// are not UTF-8 (an overlong slash among them).
TEST_F(BatchTest, JsonLinesCarryEveryFieldForAnyName) {
    const std::string stream = packed("json json json");
    put("j/a\\b\x7f\xc2\x85\xe0\x80\xaf", stream + "123");
    const std::string path = R"(j/a\\b\u007f\u0085\udce0\udc80\udcaf)",
                      sizes = R"("bytes_in":)" + std::to_string(stream.size() + 3) +
                              R"(,"bytes_out":14,"warnings":)";
    const std::string warned = R"(["3 unused bytes after the end of the stream"])";
    const std::pair<const char*, std::string> cases[] = {
        {"t --json j", R"("passed",)" + sizes + warned},
        {"x --json -o o j", R"("decoded","output":"o)" + path.substr(1) +
                                R"(","output_base64":"by9hXGJ/woXggK8=",)" + sizes + warned},
        {"x --json j", R"("decoded","backup":")" + path +
                           R"(.BAK","backup_base64":"ai9hXGJ/woXggK8uQkFL",)" + sizes + warned},
    };
    for (const auto& [line, rest] : cases) {
        EXPECT_EQ(vkt2(line), 0) << line;
        EXPECT_EQ(out_.substr(0, out_.find('\n')), R"({"type":"file","path":")" + path +
                                                       R"(","path_base64":"ai9hXGJ/woXggK8=")" +
                                                       R"(,"result":)" + rest + "}");
    }
    // A name that is valid UTF-8 needs no second spelling.
    put("u/\xe6\x97\xa5.BAK", "");
    EXPECT_EQ(vkt2("t --json u"), 0);
    EXPECT_EQ(out_.substr(0, out_.find('\n')),
              "{\"type\":\"file\",\"path\":\"u/\xe6\x97\xa5.BAK\",\"result\":\"skipped\","
              "\"reason\":\"a backup\",\"warnings\":[]}");
}

TEST(Json, Base64IsTheStandardPaddedAlphabet) {
    const char* want[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
    for (std::size_t n = 0; n < 7; ++n)
        EXPECT_EQ(vkt2::batch::json::base64(std::string("foobar", n)), want[n]);
    EXPECT_EQ(vkt2::batch::json::base64("\xfb\xff\xbf\xfe"), "+/+//g==");
}

// As root every folder can be searched; elsewhere the entries of one that cannot are failures.
TEST_F(BatchTest, EntriesThatCannotBeLookedAtFailTheRun) {
    if (::geteuid() == 0) GTEST_SKIP() << "root searches every folder";
    put("d/locked/f", packed("x"));
    fs::permissions("d/locked", fs::perms::owner_read);
    EXPECT_EQ(vkt2("t -q d"), 1);
    fs::permissions("d/locked", fs::perms::owner_all);
    EXPECT_EQ(err_, "vkt2: d/locked: cannot read the folder: Permission denied\n");
}
#endif

// x and cat refuse what t fails unless asked to decode it as vkt2x does, zeros at the end.
TEST_F(BatchTest, DamagedFilesAreRefusedUnlessZeroFillIsAsked) {
    const std::string cut = packed("abcdefghij abcdefghij abcdefghij").substr(0, 15);
    for (const auto& [name, content] : std::map<std::string, std::string>{
             {"v/bare", "VKT2"}, {"v/five", "VKT2\x05"}, {"v/cut", cut}})
        put(name, content);
    EXPECT_EQ(vkt2("t -q v"), 1);
    EXPECT_EQ(err_,
              "vkt2: v/bare: cut short: the file ends inside its 8-byte header\n"
              "vkt2: v/cut: cut short: the file ends before its stream does; the last 26 of its 32 "
              "decoded bytes are missing\n"
              "vkt2: v/five: cut short: the file ends inside its 8-byte header\n");
    EXPECT_EQ(vkt2("x -q v"), 1);
    EXPECT_EQ(tree("v"), "bare=VKT2;cut=" + cut + ";five=VKT2\x05;");
    EXPECT_EQ(vkt2("cat v/cut"), 1);
    EXPECT_EQ(out_, "");
    bytes want(32);
    vkt2::decompress_into(bytes(cut.begin(), cut.end()), want, vkt2::decoding::zero_fill);
    EXPECT_EQ(vkt2("cat --zero-fill v/cut"), 0);
    const std::string decoded(want.begin(), want.end());
    EXPECT_EQ(out_, decoded);
    EXPECT_EQ(vkt2("x -q --zero-fill v/cut v/five"), 0);
    EXPECT_EQ(get("v/cut"), decoded);
    EXPECT_EQ(get("v/five"), std::string(5, '\0'));
}

// Messages carry the system's reason, and the -f hint appears only where -f would help.
TEST_F(BatchTest, MessagesGiveTheReasonAndOnlyHelpfulHints) {
    put("d/a", packed("a"));
    put("d/b", packed("b"));
    put("out/a", "old");
    fs::create_directories("out/b");
    runs("x -q -o out d", 1,
         "vkt2: d/a: out/a already exists (-f replaces it)\n"
         "vkt2: d/b: out/b already exists (-f replaces it)\n");
    EXPECT_EQ(vkt2("x -q -f -o out d"), 1);
#ifdef _WIN32
    const std::string why = "Permission denied";
#else
    const std::string why = "Is a directory";
#endif
    EXPECT_EQ(err_, "vkt2: d/b: cannot rename out/b.$$$ to out/b: " + why + "\n");
    runs("x -q -o out/a d/a", 1, "vkt2: d/a: out/a: cannot open the folder: Not a directory\n");
}

}  // namespace

// undo puts back what an in-place x or c left, with its mode and dates, and nothing else.
TEST_F(BatchTest, UndoRestoresOnlyWhatAnInPlaceRunLeft) {
    const std::string abc = packed("abcabcabcabc"), upper = packed("upper and lower");
    put("d/plain", "hello hello hello");
    put("d/sub/packed", abc);
    put("d/notes", "mine");
    put("d/notes.BAK", "also mine");
    put("d/Case", "upper and lower");
    put("d/Case.bak", upper);
    put("d/lonely.BAK", abc);
    put("d/twelve", "abcabcabcabX");  // as long as abc decodes to, but other bytes
    put("d/twelve.BAK", abc);
    const auto when = std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now() -
                                                               std::chrono::hours(50));
    for (const char* name : {"d/plain", "d/sub/packed"}) fs::last_write_time(name, when);
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions("d/plain", mode);
    EXPECT_EQ(vkt2("c -q d/plain"), 0);
    EXPECT_EQ(vkt2("x -q d/sub/packed"), 0);
    std::string link;
#ifndef _WIN32
    // x's own work, were the link followed.
    put("d/link", "abcabcabcabc");
    fs::create_symlink("sub/packed.BAK", "d/link.BAK");
    link = "vkt2: d/link.BAK: left alone: a link\n";
#endif
    const std::string before = tree("d");
    const std::string alone = link +
                              "vkt2: d/lonely.BAK: left alone: no d/lonely beside it\n"
                              "vkt2: d/notes.BAK: left alone: not what x or c left of d/notes\n"
                              "vkt2: d/twelve.BAK: left alone: not what x or c left of d/twelve\n";
    const std::string left = std::to_string(link.empty() ? 3 : 4) + " left alone\n";
    EXPECT_EQ(vkt2("undo -n -v d"), 0);
    EXPECT_EQ(out_,
              "would restore d/Case from d/Case.bak, undoing x\n"
              "would restore d/plain from d/plain.BAK, undoing c\n"
              "would restore d/sub/packed from d/sub/packed.BAK, undoing x\n");
    EXPECT_EQ(err_, alone + "vkt2: 3 files would be restored, 0 failed, " + left);
    EXPECT_EQ(tree("d"), before);

    // Interrupted before the first pair, undo restores nothing and says the run is incomplete.
    EXPECT_EQ(vkt2("undo d", [] { return true; }), 1);
    EXPECT_EQ(tree("d"), before);
    EXPECT_EQ(vkt2("undo d"), 0);
    EXPECT_EQ(out_ + err_, "vkt2: 3 files restored, 0 failed, " + left);
    for (const auto& [name, content] :
         {std::pair<const char*, std::string>{"d/plain", "hello hello hello"},
          {"d/sub/packed", abc},
          {"d/Case", upper},
          {"d/notes", "mine"},
          {"d/notes.BAK", "also mine"},
          {"d/lonely.BAK", abc}})
        EXPECT_EQ(get(name), content) << name;
    for (const char* gone : {"d/plain.BAK", "d/sub/packed.BAK", "d/Case.bak", "d/plain.$$$"})
        EXPECT_FALSE(fs::exists(gone)) << gone;
    for (const char* name : {"d/plain", "d/sub/packed"}) EXPECT_EQ(fs::last_write_time(name), when);
#ifndef _WIN32
    EXPECT_EQ(fs::status("d/plain").permissions(), mode);
#endif
    // A PATH left alone is named without -v; -q keeps only failures.
    runs("undo d/notes", 0,
         "vkt2: d/notes.BAK: left alone: not what x or c left of d/notes\n"
         "vkt2: 0 files restored, 0 failed, 1 left alone\n");
    // NAME's backups differ from it only in the case of .BAK, never in NAME.
    put("d/plainly.BAK", abc);
    runs("undo d/plain", 0,
         "vkt2: d/plain: left alone: no d/plain.BAK beside it\n"
         "vkt2: 0 files restored, 0 failed, 1 left alone\n");
    runs("undo -q d/plain nothing", 1, "vkt2: nothing: cannot open: No such file or directory\n");
}

// The pair is looked at again, under the lock, just before the rename: a change since the
// check, or a second undo at that moment, leaves it alone.
TEST_F(BatchTest, UndoLeavesAPairThatChangedSinceTheCheck) {
    const std::string original = packed("the original file");
    const std::string restored = "vkt2: a: restored from a.BAK, undoing x\n";
    std::vector<vkt2::batch::undo_result> second;
    struct {
        const char* path;
        std::function<void()> change;
        std::string said, a;
    } cases[] = {
        {"a.BAK", [] { put("a", "edited after the check"); },
         "vkt2: a.BAK: left alone: a changed since it was checked\n", "edited after the check"},
        {"a.BAK",
         [&] {
             put("b", original);
             fs::rename("b", "a.BAK");
         },
         "vkt2: a.BAK: left alone: changed since it was checked\n", "the original file"},
        {"a",
         [&] {
             vkt2::batch::undo_each(vkt2::batch::parse_arguments({"undo", "a"}).opts, {}, {},
                                    [&](auto& r) { second.push_back(std::move(r)); });
         },
         restored, original},
    };
    for (const auto& c : cases) {
        put("a", "the original file");
        put("a.BAK", original);
        vkt2::batch::hooks at;
        at.before_restore = [&](std::size_t) { c.change(); };
        runs(std::string("undo -v ") + c.path, 0,
             c.said + "vkt2: " +
                 (c.said == restored ? "1 file restored, 0 failed, 0"
                                     : "0 files restored, 0 failed, 1") +
                 " left alone\n",
             {}, at);
        EXPECT_EQ(get("a"), c.a);
        EXPECT_EQ(fs::exists("a.BAK"), c.said != restored);
        EXPECT_FALSE(fs::exists("a.$$$"));
    }
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].how, vkt2::batch::undo_result::outcome::left_alone);
    EXPECT_EQ(second[0].reason, "a.$$$ is in the way");
}

namespace {

// The system's renames, with `before` called ahead of each exchange and rename; `exchanges`
// false is a file system that cannot exchange names.
struct saving_renamer : vkt2::renamer {
    std::function<void(const std::string& from)> before;
    bool exchanges = true;
    vkt2::platform::rename_result exchange(const vkt2::platform::folder& dir, const char* a,
                                           const char* b) const override {
        if (!exchanges) return vkt2::platform::rename_result::unsupported;
        before(a);
        const auto done = vkt2::renamer::exchange(dir, a, b);
        before("exchanged");
        return done;
    }
    vkt2::platform::rename_result rename(const vkt2::platform::folder& dir, const char* from,
                                         const char* to, bool replace) const override {
        before(from);
        return vkt2::renamer::rename(dir, from, to, replace);
    }
};

}  // namespace

TEST_F(BatchTest, UndoRestoresOnlyCsOwnBytesAndOneBackupOntoAName) {
    // Another encoder's file: c's stream, the header's unused bytes set. It passes t cleanly.
    std::string other = packed("some text, some text, some text");
    other[6] = 1, other[7] = 2;
    put("o/v", other);
    put("o/v.bak", "some text, some text, some text");  // what cat made of it
    EXPECT_EQ(vkt2("t -q o/v"), 0);
    runs("undo -v o", 0,
         "vkt2: o/v.bak: left alone: not what x or c left of o/v\n"
         "vkt2: 0 files restored, 0 failed, 1 left alone\n");
    EXPECT_EQ(get("o/v"), other);

#ifndef _WIN32  // where NAME.BAK and NAME.bak are two names
    // After x, a copy of NAME as NAME.bak, which c of it would prove once NAME.BAK is back.
    const std::string original = packed("the original, the original");
    put("d/v", original);
    ASSERT_EQ(vkt2("x -q d/v"), 0);
    fs::copy_file("d/v", "d/v.bak");
    const std::string why = "d/v has another backup, d/v.BAK; a run takes only one";
    EXPECT_EQ(vkt2("undo -n --json d"), 0);
    EXPECT_NE(out_.find(R"("path":"d/v.bak","result":"left_alone","reason":")" + why), out_.npos);
    runs("undo -v d", 0,
         "vkt2: d/v: restored from d/v.BAK, undoing x\nvkt2: d/v.bak: left alone: " + why +
             "\nvkt2: 1 file restored, 0 failed, 1 left alone\n");
    EXPECT_EQ(get("d/v"), original);
    EXPECT_EQ(get("d/v.bak"), "the original, the original");
    // Named, the first named is the one taken.
    ASSERT_EQ(vkt2("x -q d/v"), 0);
    EXPECT_EQ(vkt2("undo -q d/v.bak d/v.BAK"), 0);
    EXPECT_EQ(get("d/v"), "the original, the original");
#endif
}

// A save onto NAME at any moment of the restore, on a file system that exchanges names or one
// that cannot, is kept, and so is the backup.
TEST_F(BatchTest, UndoNeverReplacesASaveMadeDuringTheRestore) {
    const std::string original = packed("what the user had first");
    struct {
        bool exchanges;
        std::string lands_before;  // the rename the save lands just before; empty: none
    } cases[] = {{true, "a.BAK"}, {true, "exchanged"}, {false, "a"}, {false, "a.BAK"}, {false, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.exchanges) + " " + c.lands_before);
#ifdef _WIN32
        // Windows has no exchange of names, so undo never meets this moment there; the
        // renamer's stand-in for it cannot replace a file the way the save needs.
        if (c.lands_before == "exchanged") continue;
#endif
        put("a", "what the user had first");
        put("a.BAK", original);
        saving_renamer ops;
        ops.exchanges = c.exchanges;
        bool saved = false;
        ops.before = [&](const std::string& from) {
            if (from != c.lands_before || std::exchange(saved, true)) return;
            put("a.new", "the newer save");  // as an editor saves
            fs::rename("a.new", "a");
        };
        vkt2::batch::hooks at;
        at.renames = &ops;
        runs("undo -v a.BAK", 0,
             c.lands_before.empty() ? "vkt2: a: restored from a.BAK, undoing x\n"
                                      "vkt2: 1 file restored, 0 failed, 0 left alone\n"
                                    : "vkt2: a.BAK: left alone: a changed since it was checked\n"
                                      "vkt2: 0 files restored, 0 failed, 1 left alone\n",
             {}, at);
        EXPECT_EQ(get("a"), c.lands_before.empty() ? original : "the newer save");
        // Saved after the exchange, it replaced the backup, as it would a moment later.
        EXPECT_EQ(get("a.BAK"), c.lands_before.empty()          ? ""
                                : c.lands_before == "exchanged" ? "what the user had first"
                                                                : original);
        EXPECT_FALSE(fs::exists("a.$$$"));
    }
}

#ifndef _WIN32
// A walk learns a regular file's kind and identity from the listing where it can: they must be
// what a look at the name gives, or a second name of one file would pass for another file.
TEST_F(BatchTest, AWalkKnowsEachNameAsALookAtItWould) {
    put("w/a", "one");
    put("w/sub/b", "two");
    fs::create_hard_link("w/a", "w/sub/c");
    fs::create_symlink("a", "w/l");
    ASSERT_EQ(mkfifo("w/p", 0600), 0);
    std::map<std::string, vkt2::platform::identity> ids;
    for (const auto& e : vkt2::batch::walk({"w"}).files) {
        ASSERT_TRUE(e.folder && e.id) << e.path;
        const auto seen =
            vkt2::platform::look(*e.folder, e.name.c_str(), vkt2::platform::follow_links::no);
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen->id, *e.id) << e.path;
        ids[e.path] = seen->id;
        const char* why = e.path == "w/l"   ? vkt2::batch::reasons::link
                          : e.path == "w/p" ? vkt2::batch::reasons::special
                                            : "";
        EXPECT_EQ(e.skip, why) << e.path;
    }
    EXPECT_EQ(ids.size(), 5u);
    EXPECT_EQ(ids["w/a"], ids["w/sub/c"]);
    EXPECT_NE(ids["w/a"], ids["w/sub/b"]);
}

// With -f, an output that is the very file read is refused whatever the listing said of the
// input's name (a file mounted over it is listed as the one it hides); here the name is swapped,
// after the listing, for a second name of the output.
TEST_F(BatchTest, ForceNeverReplacesTheFileReadWhateverTheListingSaid) {
    put("in/a", packed("new"));
    put("out/a", packed("old"));
    vkt2::batch::hooks at;
    at.before_work = [&](std::size_t) {
        fs::remove("in/a");
        fs::create_hard_link("out/a", "in/a");
    };
    runs("x -q -f -o out in", 1, "vkt2: in/a: out/a is the input itself\n", {}, at);
    EXPECT_EQ(tree("out"), "a=" + packed("old") + ";");
}

TEST_F(BatchTest, InPlaceASecondNameOfOneFileGetsItsOwnLine) {
    const std::string file = packed("linked twice");
    put("h/a", file);
    fs::create_hard_link("h/a", "h/b");
    EXPECT_EQ(vkt2("x -v h"), 0);
    const std::string size = std::to_string(file.size());
    EXPECT_EQ(err_, "vkt2: h/a: decoded, " + size +
                        " bytes to 12\nvkt2: h/b: skipped: the same file as h/a\n"
                        "vkt2: 1 file done, 0 failed, 1 skipped; " +
                        size + " bytes in, 12 bytes out\n");
    EXPECT_EQ(get("h/b"), file);
    fs::create_hard_link("h/b", "h/c");  // the packed file, by two names again
    EXPECT_EQ(vkt2("x --json h/b h/../h/c"), 0);
    EXPECT_NE(out_.find(R"({"type":"file","path":"h/../h/c","result":"skipped",)"
                        R"("reason":"the same file as h/b","warnings":[]})"),
              out_.npos);
    // A second name of a backup is a pair of its own, left alone, and said so.
    put("u/v", packed("one backup"));
    put("u/v.BAK", "one backup");
    put("u/w", packed("one backup"));
    fs::create_hard_link("u/v.BAK", "u/w.BAK");
    runs("undo -v u u/v.BAK", 0,
         "vkt2: u/v: restored from u/v.BAK, undoing c\n"
         "vkt2: u/w.BAK: left alone: the same file as u/v.BAK\n"
         "vkt2: 1 file restored, 0 failed, 1 left alone\n");
}
#endif
