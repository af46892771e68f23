// The replace step on real files: every rename outcome through a renamer that fails on demand,
// the temporary files it refuses, what the new file inherits, and races forced step by step.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <sstream>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#endif

#include "driver.hpp"
#include "replace.hpp"

namespace {

namespace fs = std::filesystem;
using vkt2::replacement;
using vkt2::platform::rename_result;
using status = vkt2::source::status;
using outcome = replacement::outcome;
constexpr outcome done = outcome::done, failed = outcome::rename_failed;

// Fails the rename call numbered `fail`, reports every no-replace rename `unsupported`, and
// fails the first unlink when `fail_unlink`; passes everything else on.
struct Faulty : vkt2::renamer {
    Faulty(int f = -1, bool u = false, bool fu = false)
        : fail(f), unsupported(u), fail_unlink(fu) {}
    int fail;
    bool unsupported, fail_unlink;
    mutable int calls = 0, unlinks = 0;
    rename_result rename(const vkt2::platform::folder& d, const char* from, const char* to,
                         bool replace) const override {
        if (calls++ == fail) return rename_result::failed;
        if (unsupported && !replace) return rename_result::unsupported;
        return renamer::rename(d, from, to, replace);
    }
    bool remove(const vkt2::platform::folder& d, const char* name) const override {
        return !(fail_unlink && unlinks++ == 0) && renamer::remove(d, name);
    }
};

const std::span<const std::uint8_t> kPlain(reinterpret_cast<const std::uint8_t*>("plain"), 5);

class Replace : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() / ("vkt2-replace-" + std::to_string(std::random_device()()));
        ASSERT_TRUE(fs::create_directory(dir_));
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    // Files as "name=data name=data", in name order; anything but a regular file shows as "?".
    void put(const std::string& files) const {
        std::istringstream in(files);
        for (std::string f; in >> f;) {
            std::ofstream(dir_ / f.substr(0, f.find('=')), std::ios::binary)
                << f.substr(f.find('=') + 1);
        }
    }
    std::string files() const {
        std::map<std::string, std::string> found;
        for (const auto& e : fs::recursive_directory_iterator(dir_)) {
            std::ifstream in(e.is_symlink() || !e.is_regular_file() ? "" : e.path(),
                             std::ios::binary);
            found[e.path().lexically_relative(dir_).generic_string()] =
                in ? std::string(std::istreambuf_iterator<char>(in), {}) : std::string(1, '?');
        }
        std::string all;
        for (const auto& [name, data] : found) all += (all.empty() ? "" : " ") + name + "=" + data;
        return all;
    }
    void clear() const {
        fs::remove_all(dir_);
        fs::create_directory(dir_);
    }
    // The test folder, opened as a walk or an output folder is, its group learnt.
    vkt2::platform::folder folder() const {
        std::string leaf;
        auto parent = vkt2::platform::open_parent(dir_.string().c_str(), leaf);
        auto here = parent ? vkt2::platform::open_subfolder(*parent, leaf.c_str()) : std::nullopt;
        EXPECT_TRUE(here);
        return here ? std::move(here->dir) : vkt2::platform::folder{};
    }
    vkt2::source load(const std::string& name) {
        return vkt2::load_source(path(name).c_str(), {buffer_, sizeof buffer_});
    }

    fs::path dir_;
    std::uint8_t buffer_[64];
};

TEST_F(Replace, EveryRenameOutcomeLeavesKnownFiles) {
    const struct {
        const char* before;
        Faulty ops;
        const char* out;  // a file written beside the input, not in its place
        bool force;
        outcome result;
        const char* after;
    } cases[] = {
        {"", {}, "", false, done, "d=plain d.BAK=packed"},
        {"d.BAK=old", {}, "", false, failed, "d=packed d.$$$=plain d.BAK=old"},
        // A stale temporary file longer than the new data keeps none of its bytes.
        {"d.$$$=stale-and-longer-than-the-data", {}, "", false, done, "d=plain d.BAK=packed"},
        {"", {1}, "", false, failed, "d.$$$=plain d.BAK=packed"},
        // Without an atomic no-replace rename: link, then unlink, undone when the unlink fails.
        {"", {-1, true}, "", false, done, "d=plain d.BAK=packed"},
        {"d.BAK=old", {-1, true}, "", false, failed, "d=packed d.$$$=plain d.BAK=old"},
        {"", {-1, true, true}, "", false, failed, "d=packed d.$$$=plain"},
        {"", {}, "o", false, done, "d=packed o=plain"},
        {"o=old", {-1, true}, "o", false, failed, "d=packed o=old"},
        {"o=old", {}, "o", true, done, "d=packed o=plain"},
        {"", {0}, "o", true, failed, "d=packed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        clear();
        put(std::string("d=packed ") + c.before);
        const vkt2::source in = load("d");
        ASSERT_EQ(in.result, status::loaded);
        auto r = *c.out ? std::make_unique<replacement>(in, in.folder, c.out, c.force, c.ops)
                        : std::make_unique<replacement>(in, c.ops);
        EXPECT_EQ(r->commit(kPlain), c.result);
        r.reset();
        EXPECT_EQ(files(), c.after);
    }
    // The input vanished: there is no backup, but the new file still takes the name.
    clear();
    put("d=packed");
    const vkt2::source in = load("d");
    fs::remove(dir_ / "d");
    EXPECT_EQ(replacement(in).commit(kPlain), outcome::rename_failed);
    EXPECT_EQ(files(), "d=plain");
}

#ifndef _WIN32
// Forced interleavings: a second run while the first holds the name, and a lock held by another
// process. Neither touches the file.
TEST_F(Replace, TemporaryFilesOfOtherRunsAreLeftAlone) {
    put("d=packed d.$$$=stale");
    fs::permissions(dir_ / "d.$$$", fs::perms(0666));
    const vkt2::source in = load("d");
    {
        replacement first(in);
        ASSERT_TRUE(first.ready());  // a stale file of our own is taken over, private again
        EXPECT_EQ(fs::status(dir_ / "d.$$$").permissions(), fs::perms(0600));
        EXPECT_EQ(replacement(in).commit(kPlain), outcome::cannot_create);
    }
    const int held = open(path("d.$$$").c_str(), O_CREAT | O_WRONLY, 0600);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    EXPECT_EQ(replacement(in).commit(kPlain), outcome::cannot_create);
    close(held);
    EXPECT_EQ(files(), "d=packed d.$$$=");
}

// Ending signals wait while the renames run, held by the pair itself or, for a run of many
// files, by the run, which the pair must leave holding them.
TEST_F(Replace, SignalsWaitDuringTheRenamesAndARunKeepsHoldingThem) {
    struct Watching : vkt2::renamer {
        mutable int held = 0;
        rename_result rename(const vkt2::platform::folder& d, const char* from, const char* to,
                             bool replace) const override {
            sigset_t now;
            pthread_sigmask(SIG_BLOCK, nullptr, &now);
            held += sigismember(&now, SIGINT) == 1 && sigismember(&now, SIGTERM) == 1;
            return renamer::rename(d, from, to, replace);
        }
    };
    const auto blocked = [] {
        sigset_t now;
        pthread_sigmask(SIG_BLOCK, nullptr, &now);
        return sigismember(&now, SIGINT) == 1;
    };
    ASSERT_FALSE(blocked());
    for (const bool run : {false, true}) {
        SCOPED_TRACE(run);
        clear();
        put("d=packed");
        std::optional<vkt2::platform::signals_held> outer;
        if (run) outer.emplace();
        const Watching watching;
        const vkt2::source in = load("d");
        EXPECT_EQ(replacement(in, watching).commit(kPlain), done);
        EXPECT_EQ(watching.held, 2);
        EXPECT_EQ(blocked(), run);
        outer.reset();
        EXPECT_FALSE(blocked());
    }
}

TEST_F(Replace, NewFileIsPrivateUntilWrittenThenTakesTheInputsModeAndTimes) {
    put("d=packed");
    const auto when = fs::file_time_type::clock::now() - std::chrono::hours(1000);
    fs::last_write_time(dir_ / "d", when);
    fs::permissions(dir_ / "d", fs::perms(0750));
    // The access time too, set apart from the modification time.
    const timespec times[2] = {{1000000000, 5}, {0, UTIME_OMIT}};
    ASSERT_EQ(utimensat(AT_FDCWD, path("d").c_str(), times, 0), 0);
    const vkt2::source in = load("d");
    replacement r(in);
    EXPECT_EQ(fs::status(dir_ / "d.$$$").permissions(), fs::perms(0600));
    ASSERT_EQ(r.commit(kPlain), outcome::done);
    EXPECT_EQ(fs::status(dir_ / "d").permissions(), fs::perms(0750));
    EXPECT_EQ(fs::last_write_time(dir_ / "d"), when);
    struct stat st;
    ASSERT_EQ(stat(path("d").c_str(), &st), 0);
    EXPECT_TRUE(st.st_atim.tv_sec == times[0].tv_sec && st.st_atim.tv_nsec == times[0].tv_nsec);
}

// A copy whose source grows, shrinks or is rewritten while it is read keeps nothing: its bytes
// would be a mix, under the dates of the file it was.
TEST_F(Replace, CopyOfASourceChangedWhileReadKeepsNothing) {
    // A rewrite within the same second shows only in the nanoseconds.
    const auto second = std::chrono::floor<std::chrono::seconds>(fs::file_time_type::clock::now());
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"d=original o=original", [] {}},
        {"d=original+", [&] { std::ofstream(dir_ / "d", std::ios::app) << "+"; }},
        {"d=orig", [&] { fs::resize_file(dir_ / "d", 4); }},
        {"d=ORIGINAL",
         [&] {
             std::ofstream(dir_ / "d", std::ios::binary | std::ios::in) << "ORIGINAL";
             fs::last_write_time(dir_ / "d", second + std::chrono::nanoseconds(1));
         }},
    };
    for (const auto& [after, change] : cases) {
        SCOPED_TRACE(after);
        clear();
        put("d=original");
        fs::last_write_time(dir_ / "d", second);
        vkt2::source in = load("d");
        vkt2::platform::file from =
            vkt2::platform::open_input(in.folder, "d", in.attributes, {.follow = false});
        ASSERT_TRUE(from);
        change();
        const bool same = std::string(after).find(" o=") != std::string::npos;
        EXPECT_EQ(replacement(in, in.folder, "o", false).commit_copy(from, {buffer_, 4}),
                  same ? done : outcome::changed);
        EXPECT_EQ(files(), after);
    }
}

#ifndef _WIN32
// Written elsewhere, the temporary file is made with the input's read and search bits, less the
// umask, so no change of mode is needed at the end; never with bits others could write with, nor
// for a group that is not the input's. Whatever the umask, the output ends with the input's mode.
TEST_F(Replace, ElsewhereTheNewFileIsNeverMoreOpenThanItWillBe) {
    // A group this process may give a file and does not make files with, if there is one.
    gid_t other = getegid() == 0 ? 1 : getegid();
    if (geteuid() != 0) {
        gid_t groups[64];
        const int n = getgroups(64, groups);
        for (int i = 0; i < n; ++i)
            if (groups[i] != getegid()) other = groups[i];
    }
    const struct {
        unsigned mode, mask;
        bool other_group;
        unsigned while_written;
    } cases[] = {
        {0644, 022, false, 0644}, {0755, 077, false, 0700}, {0666, 0, false, 0644},
        {0640, 0, true, 0600},    {04750, 0, false, 0750},  {0600, 022, false, 0600},
    };
    const mode_t saved = umask(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        clear();
        put("d=packed");
        if (c.other_group && (other == getegid() || chown(path("d").c_str(), -1, other) != 0)) {
            continue;  // no second group to try
        }
        ASSERT_EQ(chmod(path("d").c_str(), c.mode), 0);
        umask(c.mask);
        const vkt2::source in = load("d");
        const vkt2::platform::folder here = folder();
        replacement r(in, here, "o", false);
        struct stat st;
        ASSERT_EQ(stat(path("o.$$$").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.while_written);
        ASSERT_EQ(r.commit(kPlain), done);
        ASSERT_EQ(stat(path("o").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.mode);
    }
    umask(saved);
    // In a folder of another group (a shared setgid one) the new file would get that group, whose
    // members could open it before it was made private and read all written through that
    // descriptor: it is made with no group bits at all.
    clear();
    put("d=packed");
    ASSERT_EQ(chmod(path("d").c_str(), 0750), 0);
    const vkt2::source in = load("d");
    EXPECT_EQ(vkt2::platform::creation_mode(folder(), &in.attributes), 0750u);
    if (other != getegid() && chown(dir_.c_str(), -1, other) == 0 &&
        chmod(dir_.c_str(), 02755) == 0) {
        EXPECT_EQ(vkt2::platform::creation_mode(folder(), &in.attributes), 0700u);
    }
}

// A copy stops at an ending signal held back meanwhile, and keeps nothing.
TEST_F(Replace, CopyStopsAtAHeldSignal) {
    put("d=original");
    vkt2::source in = load("d");
    vkt2::platform::file from =
        vkt2::platform::open_input(in.folder, "d", in.attributes, {.follow = false});
    ASSERT_TRUE(from);
    const vkt2::platform::signals_held held;
    raise(SIGTERM);
    const outcome how = replacement(in, in.folder, "o", false).commit_copy(from, {buffer_, 4});
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    const timespec now{};
    EXPECT_EQ(sigtimedwait(&term, nullptr, &now), SIGTERM);  // taken before it is let through
    EXPECT_EQ(how, outcome::read_failed);
    EXPECT_EQ(files(), "d=original");
}
#endif

// The folder link is re-pointed after the load: the renames still happen where the input was.
TEST_F(Replace, RenamesStayInTheFolderTheInputCameFrom) {
    put("d=packed");
    fs::create_directory(dir_ / "elsewhere");
    fs::create_directory_symlink(".", dir_ / "link");
    const vkt2::source in = load("link/d");
    fs::remove(dir_ / "link");
    fs::create_directory_symlink("elsewhere", dir_ / "link");
    EXPECT_EQ(replacement(in).commit(kPlain), outcome::done);
    EXPECT_EQ(files(), "d=plain d.BAK=packed elsewhere=? link=?");
}

// A file-size limit fails the write; a signal while writing, or no memory anywhere, removes the
// temporary file before the process ends.
TEST_F(Replace, LimitsSignalsAndMemoryExhaustionLeaveNoTemporaryFile) {
    put("d=packed");
    const vkt2::source in = load("d");
    const rlimit small = {4, 4};
    const auto in_child = [&](int how) {
        {
            replacement r(in);
            if (how == 0) setrlimit(RLIMIT_FSIZE, &small);
            if (how == 0 && r.commit({buffer_, 64}) != outcome::write_failed) std::abort();
            if (how == 1) raise(SIGTERM);
            if (how == 2) vkt2::driver::set_up_process();
            volatile std::size_t huge = SIZE_MAX / 2;
            if (how == 2) static_cast<void>(::operator new(huge));
        }
        std::exit(7);
    };
    EXPECT_EXIT(in_child(0), ::testing::ExitedWithCode(7), "");
    EXPECT_EQ(files(), "d=packed");
    EXPECT_EXIT(in_child(1), ::testing::KilledBySignal(SIGTERM), "");
    EXPECT_EQ(files(), "d=packed");
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer's allocator ends the process itself
    EXPECT_EXIT(
        in_child(2), ::testing::ExitedWithCode(1),
        "\x83\x81\x83\x82\x83\x8A\x82\xCC\x8A\x84\x82\xE8\x93\x96\x82\xC4\x82\xAA\x82\xC5\x82\xAB"
        "\x82\xDC\x82\xB9\x82\xF1\\.\n");
    EXPECT_EQ(files(), "d=packed");
#endif
}
#endif

}  // namespace
