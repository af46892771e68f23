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
#include <vector>

#include "engine.hpp"
#include "options.hpp"
#include "replace.hpp"
#include "vkt2/format.hpp"
#include "vkt2/vkt2.hpp"

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<std::uint8_t>;

std::string packed(const std::string& plain) {
    const auto header = vkt2::make_header(static_cast<std::uint16_t>(plain.size()));
    const bytes stream = vkt2::encode(bytes(plain.begin(), plain.end()));
    return std::string(header.begin(), header.end()) + std::string(stream.begin(), stream.end());
}

void put(const fs::path& name, const std::string& content) {
    fs::create_directories(fs::absolute(name).parent_path());
    std::ofstream(name, std::ios::binary) << content;
}

std::string get(const fs::path& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// An editor's save: a new file renamed onto `name`.
void save(const std::string& name, const std::string& content) {
    put(name + ".new", content);
    fs::rename(name + ".new", name);
}

// The system's renames, with `before` called ahead of each exchange and rename; `exchanges`
// false is a file system that cannot exchange names.
struct saving_renamer : vkt2::renamer {
    std::function<void(const std::string& from)> before = [](const std::string&) {};
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
    int vkt2(const std::string& line, const vkt2::batch::hooks& at = {}) {
        std::vector<std::string> words;
        std::istringstream in(line);
        for (std::string w; in >> w;) words.push_back(w);
        const auto p = vkt2::batch::parse_arguments(words);
        EXPECT_EQ(p.what, vkt2::batch::parsed::kind::run) << p.error;
        std::FILE* streams[] = {std::fopen((dir_ / "stdout").string().c_str(), "wb+"),
                                std::fopen((dir_ / "stderr").string().c_str(), "wb+")};
        const int status = vkt2::batch::run(p.opts, streams[0], streams[1], false, {}, at);
        for (std::FILE* f : streams) std::fclose(f);
        out_ = get(dir_ / "stdout");
        err_ = get(dir_ / "stderr");
        return status;
    }

    fs::path dir_, old_;
    std::string out_, err_;
};

TEST_F(UndoTest, ACIsProvedOnlyByTheBytesCWouldWrite) {
    // Another encoder's file: the same stream, the header's unused bytes set. It passes t cleanly.
    std::string original = packed("some text, some text, some text");
    original[6] = 1, original[7] = 2;
    put("d/v", original);
    put("d/v.bak", "some text, some text, some text");  // what cat made of it
    EXPECT_EQ(vkt2("t -q d/v"), 0);
    EXPECT_EQ(vkt2("undo -v d"), 0);
    EXPECT_EQ(err_,
              "vkt2: d/v.bak: left alone: not what x or c left of d/v\n"
              "vkt2: 0 files restored, 0 failed, 1 left alone\n");
    EXPECT_EQ(get("d/v"), original);
    EXPECT_TRUE(fs::exists("d/v.bak"));
}

TEST_F(UndoTest, OneRunRestoresOneBackupOntoAName) {
    const std::string original = packed("the original, the original");
    put("d/v", original);
    ASSERT_EQ(vkt2("x -q d/v"), 0);
    fs::copy_file("d/v", "d/v.bak");  // which c of it would prove, once v.BAK is back
    const std::string why = "d/v has another backup, d/v.BAK; a run takes only one";
    EXPECT_EQ(vkt2("undo -n --json d"), 0);
    EXPECT_EQ(out_,
              R"({"type":"file","path":"d/v.BAK","result":"would_restore","reason":"undoing x",)"
              R"("output":"d/v","warnings":[]})"
              "\n"
              R"({"type":"file","path":"d/v.bak","result":"left_alone","reason":")" +
                  why +
                  R"(","warnings":[]})"
                  "\n"
                  R"({"type":"summary","command":"undo","dry_run":true,"would_restore":1,)"
                  R"("failed":0,"left_alone":1})"
                  "\n");
    EXPECT_EQ(vkt2("undo -v d"), 0);
    EXPECT_EQ(err_, "vkt2: d/v: restored from d/v.BAK, undoing x\nvkt2: d/v.bak: left alone: " +
                        why + "\nvkt2: 1 file restored, 0 failed, 1 left alone\n");
    EXPECT_EQ(get("d/v"), original);
    EXPECT_EQ(get("d/v.bak"), "the original, the original");
    // Named on the command line, the two are still one NAME's.
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
        std::string lands_before;  // the rename just after which the save lands; empty: none
    } cases[] = {{true, "a.BAK"}, {false, "a"}, {false, "a.BAK"}, {false, ""}, {true, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.exchanges ? "exchange" : "step aside") + ", before " +
                     c.lands_before);
        put("a", "what the user had first");
        put("a.BAK", original);
        saving_renamer ops;
        ops.exchanges = c.exchanges;
        bool saved = false;
        ops.before = [&](const std::string& from) {
            if (from != c.lands_before || saved) return;
            saved = true;
            save("a", "the newer save");
        };
        vkt2::batch::hooks at;
        at.renames = &ops;
        EXPECT_EQ(vkt2("undo -v a.BAK", at), 0);
        EXPECT_FALSE(fs::exists("a.$$$"));
        if (c.lands_before.empty()) {
            EXPECT_EQ(err_,
                      "vkt2: a: restored from a.BAK, undoing x\n"
                      "vkt2: 1 file restored, 0 failed, 0 left alone\n");
            EXPECT_EQ(get("a"), original);
            EXPECT_FALSE(fs::exists("a.BAK"));
            continue;
        }
        EXPECT_TRUE(saved);
        EXPECT_EQ(err_,
                  "vkt2: a.BAK: left alone: a changed since it was checked\n"
                  "vkt2: 0 files restored, 0 failed, 1 left alone\n");
        EXPECT_EQ(get("a"), "the newer save");
        EXPECT_EQ(get("a.BAK"), original);
    }
}

#ifndef _WIN32
TEST_F(UndoTest, InPlaceASecondNameOfOneFileGetsItsOwnLine) {
    const std::string file = packed("linked twice");
    put("h/a", file);
    fs::create_hard_link("h/a", "h/b");
    EXPECT_EQ(vkt2("x -v h"), 0);
    EXPECT_EQ(err_, "vkt2: h/a: decoded, " + std::to_string(file.size()) +
                        " bytes to 12\nvkt2: h/b: skipped: the same file as h/a\n"
                        "vkt2: 1 file done, 0 failed, 1 skipped; " +
                        std::to_string(file.size()) + " bytes in, 12 bytes out\n");
    EXPECT_EQ(get("h/a"), "linked twice");
    EXPECT_EQ(get("h/b"), file);
    put("h/c", "plain");
    fs::create_hard_link("h/c", "h/d");
    EXPECT_EQ(vkt2("c --json h/d h/c"), 0);
    EXPECT_NE(out_.find("\n"
                        R"({"type":"file","path":"h/c","result":"skipped",)"
                        R"("reason":"the same file as h/d","warnings":[]})"
                        "\n"),
              std::string::npos)
        << out_;
}
#endif

}  // namespace
