// Backup and replacement, and the no-replace renames beneath it, on real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "platform.hpp"
#include "replace.hpp"

namespace {

namespace fs = std::filesystem;

class ReplaceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device entropy;
        do {
            dir_ = fs::temp_directory_path() / ("vkt2-replace-" + std::to_string(entropy()));
        } while (!fs::create_directory(dir_));
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string path(const char* name) const { return (dir_ / name).string(); }
    void put(const char* name, const std::string& content) const {
        std::ofstream(dir_ / name, std::ios::binary) << content;
    }
    std::string get(const char* name) const {
        std::ifstream in(dir_ / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool exists(const char* name) const { return fs::exists(dir_ / name); }
    bool replace() const {
        return vkt2::replace_with_backup(path("d").c_str(), path("d.$$$").c_str(),
                                         path("d.BAK").c_str());
    }

    fs::path dir_;
};

TEST_F(ReplaceTest, NoReplaceRenamesMoveOrLeaveBothNamesAlone) {
#ifdef _WIN32
    for (auto rename : {vkt2::platform::rename_no_replace}) {
#else
    for (auto rename : {vkt2::platform::rename_no_replace, vkt2::platform::rename_by_link}) {
#endif
        put("a", "A");
        put("b", "B");
        EXPECT_FALSE(rename(path("a").c_str(), path("b").c_str()));
        EXPECT_EQ(get("a"), "A");
        EXPECT_EQ(get("b"), "B");

        EXPECT_TRUE(rename(path("a").c_str(), path("c").c_str()));
        EXPECT_FALSE(exists("a"));
        EXPECT_EQ(get("c"), "A");

        EXPECT_FALSE(rename(path("missing").c_str(), path("d").c_str()));
        EXPECT_FALSE(exists("d"));
        fs::remove(dir_ / "b");
        fs::remove(dir_ / "c");
    }
}

TEST_F(ReplaceTest, SecondRenameIsTriedEvenWhenTheFirstFails) {
    // The input vanished: the backup cannot be made, but the decoded file still takes the name.
    put("d.$$$", "plain");
    EXPECT_FALSE(replace());
    EXPECT_EQ(get("d"), "plain");
    EXPECT_FALSE(exists("d.BAK"));
    EXPECT_FALSE(exists("d.$$$"));
}

TEST_F(ReplaceTest, MissingTemporaryFileLeavesInputUnderBackupName) {
    put("d", "packed");
    EXPECT_FALSE(replace());
    EXPECT_EQ(get("d.BAK"), "packed");
    EXPECT_FALSE(exists("d"));
}

}  // namespace
