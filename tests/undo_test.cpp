// undo restores only the tool's own work and never over a newer save; in place, every name of a
// run gets its line.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine.hpp"
#include "options.hpp"
#include "replace.hpp"
#include "vkt2/vkt2.hpp"

namespace {

namespace fs = std::filesystem;

std::string packed(const std::string& plain) {
    const auto f = vkt2::compress(std::vector<std::uint8_t>(plain.begin(), plain.end()));
    return std::string(f.bytes.begin(), f.bytes.end());
}

void put(const fs::path& name, const std::string& content) {
    fs::create_directories(fs::absolute(name).parent_path());
    std::ofstream(name, std::ios::binary) << content;
}

std::string get(const fs::path& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The system's renames, with `before` called ahead of each exchange and rename; `exchanges`
// false is a file system that cannot exchange names.
struct renamer : vkt2::renamer {
    std::function<void(const std::string& from)> before;
    bool exchanges = true;
    vkt2::platform::rename_result exchange(const vkt2::platform::folder& dir, const char* a,
                                           const char* b) const override {
        if (!exchanges) return vkt2::platform::rename_result::unsupported;
        before(a);
        return vkt2::renamer::exchange(dir, a, b);
    }
    vkt2::platform::rename_result rename(const vkt2::platform::folder& dir, const char* from,
                                         const char* to, bool replace) const override {
        before(from);
        return vkt2::renamer::rename(dir, from, to, replace);
    }
};

class UndoTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("vkt2-undo-" + std::to_string(std::random_device()()));
        ASSERT_TRUE(fs::create_directory(dir_));
        old_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    // Runs a command line, keeping what it wrote to standard output and error.
    int vkt2(const std::string& line, const vkt2::batch::hooks& at = {}) {
        std::vector<std::string> words;
        std::istringstream in(line);
        for (std::string w; in >> w;) words.push_back(w);
        const auto p = vkt2::batch::parse_arguments(words);
        const fs::path out = dir_ / "stdout", err = dir_ / "stderr";
        std::FILE* streams[] = {std::fopen(out.string().c_str(), "wb+"),
                                std::fopen(err.string().c_str(), "wb+")};
        const int status = vkt2::batch::run(p.opts, streams[0], streams[1], false, {}, at);
        for (std::FILE* f : streams) std::fclose(f);
        out_ = get(out), err_ = get(err);
        return status;
    }

    fs::path dir_, old_;
    std::string out_, err_;
};

TEST_F(UndoTest, RestoresOnlyCsOwnBytesAndOneBackupOntoAName) {
    // Another encoder's file: c's stream, the header's unused bytes set. It passes t cleanly.
    std::string other = packed("some text, some text, some text");
    other[6] = 1, other[7] = 2;
    put("o/v", other);
    put("o/v.bak", "some text, some text, some text");  // what cat made of it
    EXPECT_EQ(vkt2("t -q o/v") + vkt2("undo -v o"), 0);
    EXPECT_EQ(err_,
              "vkt2: o/v.bak: left alone: not what x or c left of o/v\n"
              "vkt2: 0 files restored, 0 failed, 1 left alone\n");
    EXPECT_EQ(get("o/v"), other);

    // After x, a copy of NAME as NAME.bak, which c of it would prove once NAME.BAK is back.
    const std::string original = packed("the original, the original");
    put("d/v", original);
    ASSERT_EQ(vkt2("x -q d/v"), 0);
    fs::copy_file("d/v", "d/v.bak");
    const std::string why = "d/v has another backup, d/v.BAK; a run takes only one";
    EXPECT_EQ(vkt2("undo -n --json d"), 0);
    EXPECT_NE(out_.find(R"("path":"d/v.bak","result":"left_alone","reason":")" + why), out_.npos);
    EXPECT_EQ(vkt2("undo -v d"), 0);
    EXPECT_EQ(err_, "vkt2: d/v: restored from d/v.BAK, undoing x\nvkt2: d/v.bak: left alone: " +
                        why + "\nvkt2: 1 file restored, 0 failed, 1 left alone\n");
    EXPECT_EQ(get("d/v"), original);
    EXPECT_EQ(get("d/v.bak"), "the original, the original");
    // Named, the first named is the one taken.
    ASSERT_EQ(vkt2("x -q d/v"), 0);
    EXPECT_EQ(vkt2("undo -q d/v.bak d/v.BAK"), 0);
    EXPECT_EQ(get("d/v"), "the original, the original");
}

// A save onto NAME at any moment of the restore, on a file system that exchanges names or one
// that cannot, is kept, and so is the backup.
TEST_F(UndoTest, ASaveDuringTheRestoreIsNeverReplaced) {
    const std::string original = packed("what the user had first");
    struct {
        bool exchanges;
        std::string lands_before;  // the rename the save lands just before; empty: none
    } cases[] = {{true, "a.BAK"}, {false, "a"}, {false, "a.BAK"}, {false, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.exchanges) + " " + c.lands_before);
        put("a", "what the user had first");
        put("a.BAK", original);
        renamer ops;
        ops.exchanges = c.exchanges;
        bool saved = false;
        ops.before = [&](const std::string& from) {
            if (from != c.lands_before || std::exchange(saved, true)) return;
            put("a.new", "the newer save");  // as an editor saves
            fs::rename("a.new", "a");
        };
        vkt2::batch::hooks at;
        at.renames = &ops;
        EXPECT_EQ(vkt2("undo -v a.BAK", at), 0);
        EXPECT_EQ(err_, c.lands_before.empty()
                            ? "vkt2: a: restored from a.BAK, undoing x\n"
                              "vkt2: 1 file restored, 0 failed, 0 left alone\n"
                            : "vkt2: a.BAK: left alone: a changed since it was checked\n"
                              "vkt2: 0 files restored, 0 failed, 1 left alone\n");
        EXPECT_EQ(get("a"), c.lands_before.empty() ? original : "the newer save");
        EXPECT_EQ(get("a.BAK"), c.lands_before.empty() ? "" : original);
        EXPECT_FALSE(fs::exists("a.$$$"));
    }
}

#ifndef _WIN32
TEST_F(UndoTest, InPlaceASecondNameOfOneFileGetsItsOwnLine) {
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
}
#endif

}  // namespace
