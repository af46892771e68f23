// The worked examples of docs/format.md, decoded with the library: every file, decoded byte and
// verdict (in the library's words) the page shows must be what the code does, so the page
// cannot drift from it.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "vkt2/vkt2.hpp"

namespace {

using bytes = std::vector<std::uint8_t>;

// A listing in the layout of `hexdump -C` from lines[i] on, leaving i at the line that holds only
// its length; `*` repeats the line before it up to the next offset. Checks the text column too.
bytes read_dump(const std::vector<std::string>& lines, std::size_t& i) {
    bytes out;
    for (bool repeat = false; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l == "*" && (repeat = out.size() >= 16)) continue;
        const std::size_t offset = std::stoul(l.substr(0, 8), nullptr, 16);
        while (repeat && out.size() < offset) out.insert(out.end(), out.end() - 16, out.end());
        repeat = false;
        EXPECT_EQ(offset, out.size()) << "line " << i + 1;
        if (l.size() == 8) return out;
        std::string text;
        for (std::size_t p = 10; p + 2 <= l.size() && l[p] != '|'; ++p) {
            if (l[p] == ' ') continue;
            out.push_back(static_cast<std::uint8_t>(std::stoul(l.substr(p++, 2), nullptr, 16)));
            text += out.back() >= 0x20 && out.back() < 0x7f ? static_cast<char>(out.back()) : '.';
        }
        EXPECT_NE(l.find("|" + text + "|"), std::string::npos) << "line " << i + 1;
    }
    ADD_FAILURE() << "a listing does not end with its length";
    return out;
}

TEST(FormatDocument, WorkedExamplesAreWhatTheLibraryDoes) {
    std::ifstream in(VKT2_FORMAT_DOC);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::string verdicts;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != "```vkt2-example") continue;
        SCOPED_TRACE("the example at line " + std::to_string(i + 1));
        ASSERT_EQ(lines.at(++i).rfind("file, ", 0), 0u);
        const std::size_t file_size = std::stoul(lines[i].substr(6));
        const bytes file = read_dump(lines, ++i);
        EXPECT_EQ(file.size(), file_size);
        const vkt2::file_result r = vkt2::decompress(file, vkt2::decoding::zero_fill);
        if (lines.at(++i) == "cannot be decoded") {
            EXPECT_FALSE(r) << "it decodes";
        } else {
            ASSERT_EQ(lines[i].rfind("decodes to, ", 0), 0u);
            const std::size_t size = std::stoul(lines[i].substr(12));
            const bytes decoded = size ? read_dump(lines, ++i) : bytes();
            EXPECT_TRUE(r) << "it does not decode";
            EXPECT_EQ(r.bytes, decoded);
            EXPECT_EQ(decoded.size(), size);
        }
        // The verdict as `vkt2 t` words it, a line each: "pass" when it says nothing.
        std::string shown;
        while (i + 1 < lines.size() && lines[i + 1].rfind("test: ", 0) == 0)
            shown += lines[++i].substr(6) + "\n";
        const std::string words = vkt2::text(vkt2::test(file));
        EXPECT_EQ(shown, words.empty() ? "pass\n" : words + "\n");
        verdicts += shown;
    }
    // The page keeps an example of every verdict and warning.
    for (const char* kind :
         {"pass\n", "not a VKT2", "inside its 8-byte header", "before its stream",
          "past the first 65,536;", "unused", "never read"}) {
        EXPECT_NE(verdicts.find(kind), std::string::npos) << "no example of " << kind;
    }
}

}  // namespace
