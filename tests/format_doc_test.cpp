// The worked examples of docs/format.md, decoded with the library: every file, decoded byte and
// verdict the page shows must be what the code does, so the page cannot drift from it.
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

// The verdict in the page's words.
std::string describe(const vkt2::verdict& v) {
    const auto n = [](std::size_t count) { return std::to_string(count); };
    if (v.result == vkt2::grade::fail) {
        switch (v.failure) {
            case vkt2::file_status::not_vkt2:
                return "fail: not a VKT2 file";
            case vkt2::file_status::header_cut_short:
                return "fail: cut short inside the 8-byte header";
            case vkt2::file_status::cut_short:
                return "fail: cut short, the stream runs " + n(v.bytes_missing) +
                       " bytes past the end of the file";
            case vkt2::file_status::stream_past_limit:
                return "fail: the stream needs bytes past the first 65,536";
            default:
                return "fail for no reason";
        }
    }
    std::string warnings =
        v.bytes_unused ? n(v.bytes_unused) + " unused bytes after the stream" : "";
    if (v.bytes_ignored) {
        warnings += (warnings.empty() ? "" : "; ") + n(v.bytes_ignored) +
                    " bytes past the first 65,536 never read";
    }
    return v.result == vkt2::grade::pass ? "pass" + warnings : "pass with warnings: " + warnings;
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
        const vkt2::file_result r = vkt2::decompress(file);
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
        ASSERT_EQ(lines.at(++i).rfind("test: ", 0), 0u);
        EXPECT_EQ(describe(vkt2::test(file)), lines[i].substr(6));
        verdicts += lines[i] + "\n";
    }
    // The page keeps an example of every verdict and warning.
    for (const char* kind : {"pass\n", "not a VKT2", "inside the 8-byte header", "past the end",
                             "past the first 65,536\n", "unused", "never read"}) {
        EXPECT_NE(verdicts.find(kind), std::string::npos) << "no example of " << kind;
    }
}

}  // namespace
