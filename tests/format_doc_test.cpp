// The worked examples of docs/format.md, decoded with the library: every file, decoded byte and
// verdict the page shows must be what the code does, so the page cannot drift from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <vector>

#include "vkt2/vkt2.h"
#include "vkt2/vkt2.hpp"

namespace {

using bytes = std::vector<std::uint8_t>;

struct example {
    std::size_t line;  // where its block starts, for messages
    bytes file;
    bool decodes = false;
    bytes decoded;
    std::string verdict;
};

std::vector<std::string> read_lines(const char* path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool is_offset(const std::string& s) {
    return s.size() >= 8 && std::all_of(s.begin(), s.begin() + 8, [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c));
           });
}

// One listing in the layout of `hexdump -C`, ending with its length alone on a line; `*`
// repeats the line before it up to the next offset. The text column is checked too.
bytes read_dump(const std::vector<std::string>& lines, std::size_t& i, std::size_t size) {
    bytes out;
    bool repeat = false;
    for (; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l == "*") {
            repeat = !out.empty() && out.size() % 16 == 0;
            EXPECT_TRUE(repeat) << "line " << i + 1 << ": * after a short line";
            continue;
        }
        if (!is_offset(l)) break;
        const std::size_t offset = std::stoul(l.substr(0, 8), nullptr, 16);
        for (; repeat && out.size() < offset;) out.insert(out.end(), out.end() - 16, out.end());
        EXPECT_EQ(offset, out.size()) << "line " << i + 1;
        repeat = false;
        if (l.size() == 8) {
            ++i;
            EXPECT_EQ(out.size(), size) << "line " << i << ": the stated size";
            return out;
        }
        const auto bar = l.find('|');
        EXPECT_TRUE(bar != std::string::npos && l.back() == '|') << "line " << i + 1;
        if (bar == std::string::npos) break;
        std::string text;
        for (std::size_t p = 8; p + 1 < bar; ++p) {
            if (l[p] == ' ') continue;
            const auto byte = static_cast<std::uint8_t>(std::stoul(l.substr(p, 2), nullptr, 16));
            out.push_back(byte);
            text += byte >= 0x20 && byte < 0x7f ? static_cast<char>(byte) : '.';
            ++p;
        }
        EXPECT_EQ(l.substr(bar + 1, l.size() - bar - 2), text) << "line " << i + 1;
    }
    ADD_FAILURE() << "line " << i + 1 << ": a listing does not end with its length";
    return out;
}

std::size_t stated_size(const std::string& line, const std::string& lead) {
    if (line.rfind(lead, 0) != 0 || line.size() < lead.size() + 8) return std::string::npos;
    return std::stoul(line.substr(lead.size()));
}

std::vector<example> read_examples(const std::vector<std::string>& lines) {
    std::vector<example> found;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != "```vkt2-example") continue;
        example e;
        e.line = ++i + 1;
        const std::size_t file_size = stated_size(lines[i], "file, ");
        if (file_size == std::string::npos) {
            ADD_FAILURE() << "line " << i + 1 << ": no \"file, N bytes:\"";
            continue;
        }
        ++i;
        e.file = read_dump(lines, i, file_size);
        if (i < lines.size() && lines[i] == "cannot be decoded") {
            ++i;
        } else if (const auto n = stated_size(i < lines.size() ? lines[i] : "", "decodes to, ");
                   n != std::string::npos) {
            e.decodes = true;
            ++i;
            if (n) e.decoded = read_dump(lines, i, n);
        } else {
            ADD_FAILURE() << "line " << i + 1
                          << ": neither \"decodes to\" nor \"cannot be decoded\"";
        }
        if (i + 1 < lines.size() && lines[i].rfind("test: ", 0) == 0 && lines[i + 1] == "```") {
            e.verdict = lines[i].substr(6);
        } else {
            ADD_FAILURE() << "line " << i + 1 << ": the block does not end with \"test: ...\"";
        }
        found.push_back(std::move(e));
    }
    return found;
}

// The verdict in the page's words.
std::string describe(const vkt2::verdict& v) {
    if (v.result == vkt2::grade::fail) {
        switch (v.failure) {
            case vkt2::file_status::not_vkt2:
                return "fail: not a VKT2 file";
            case vkt2::file_status::header_cut_short:
                return "fail: cut short inside the 8-byte header";
            case vkt2::file_status::cut_short:
                return "fail: cut short, the stream runs " + std::to_string(v.bytes_missing) +
                       " bytes past the end of the file";
            case vkt2::file_status::stream_past_limit:
                return "fail: the stream needs bytes past the first 65,536";
            default:
                return "fail for no reason";
        }
    }
    std::string warnings;
    if (v.bytes_unused)
        warnings = std::to_string(v.bytes_unused) + " unused bytes after the stream";
    if (v.bytes_ignored) {
        warnings += (warnings.empty() ? "" : "; ") + std::to_string(v.bytes_ignored) +
                    " bytes past the first 65,536 never read";
    }
    return v.result == vkt2::grade::pass ? "pass" + warnings : "pass with warnings: " + warnings;
}

TEST(FormatDocument, WorkedExamplesAreWhatTheLibraryDoes) {
    const auto lines = read_lines(VKT2_FORMAT_DOC);
    ASSERT_FALSE(lines.empty()) << "cannot read " << VKT2_FORMAT_DOC;
    const auto examples = read_examples(lines);
    std::string verdicts;
    for (const example& e : examples) {
        SCOPED_TRACE("the example at line " + std::to_string(e.line));
        const vkt2::file_result r = vkt2::decompress(e.file);
        EXPECT_EQ(r.status == vkt2::file_status::ok, e.decodes);
        if (e.decodes) {
            EXPECT_EQ(r.bytes, e.decoded);
        }
        bytes out(VKT2_MAX_ORIGINAL_SIZE);
        std::size_t size = 0;
        const int rc = vkt2_decompress(e.file.data(), e.file.size(), out.data(), out.size(), &size);
        EXPECT_EQ(rc == VKT2_OK, e.decodes);
        if (rc == VKT2_OK) {
            EXPECT_EQ(bytes(out.begin(), out.begin() + size), e.decoded);
        }
        EXPECT_EQ(describe(vkt2::test(e.file)), e.verdict);
        verdicts += e.verdict + "\n";
    }
    // The page keeps an example of every verdict and warning.
    for (const char* kind : {"pass\n", "not a VKT2", "inside the 8-byte header", "past the end",
                             "past the first 65,536\n", "unused", "never read"}) {
        EXPECT_NE(verdicts.find(kind), std::string::npos) << "no example of " << kind;
    }
}

}  // namespace
