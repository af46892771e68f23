// Mirrors (-o) run without starting a process: how their folders are made and finished.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine.hpp"
#include "options.hpp"
#include "vkt2/format.hpp"
#include "vkt2/vkt2.hpp"

namespace {

namespace fs = std::filesystem;

void put_packed(const fs::path& name, const std::string& plain) {
    const auto header = vkt2::make_header(static_cast<std::uint16_t>(plain.size()));
    const auto stream = vkt2::encode(std::vector<std::uint8_t>(plain.begin(), plain.end()));
    std::ofstream out(name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header.data()), header.size());
    out.write(reinterpret_cast<const char*>(stream.data()), stream.size());
}

unsigned mode_of(const fs::path& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 01000000;
}

int run(const std::string& line, const vkt2::batch::hooks& at = {}) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    const auto p = vkt2::batch::parse_arguments(words);
    std::FILE* null = std::fopen("/dev/null", "w");
    const int status = vkt2::batch::run(p.opts, null, null, false, {}, at);
    std::fclose(null);
    return status;
}

class Mirror : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() / ("vkt2-mirror-" + std::to_string(std::random_device()()));
        ASSERT_TRUE(fs::create_directory(dir_));
        old_ = fs::current_path();
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(dir_);
    }
    fs::path dir_, old_;
};

// Nobody else can reach into a folder the run is still filling; at the end it has its source's
// mode, or where two sources meet in one folder, only what both allow.
TEST_F(Mirror, FoldersArePrivateWhileFilledThenTakeTheirSourcesMode) {
    for (const char* name : {"d/sub/f1", "d/sub/f2", "e/sub/g"}) {
        fs::create_directories(fs::path(name).parent_path());
        put_packed(name, "some text, some text");
    }
    fs::permissions("d", fs::perms(0755));
    fs::permissions("d/sub", fs::perms(0750));
    fs::permissions("e/sub", fs::perms(0705));
    std::vector<unsigned> seen;
    vkt2::batch::hooks at;
    at.before_work = [&](std::size_t i) {
        if (i == 1) seen = {mode_of("out"), mode_of("out/sub")};
    };
    ASSERT_EQ(run("x -q -j1 -o out d", at), 0);
    EXPECT_EQ(seen, (std::vector<unsigned>{0700, 0700}));
    EXPECT_EQ(mode_of("out"), 0755u);
    EXPECT_EQ(mode_of("out/sub"), 0750u);
    ASSERT_EQ(run("x -q -o both d e"), 0);
    EXPECT_EQ(mode_of("both/sub"), 0700u);
}

}  // namespace
#endif
