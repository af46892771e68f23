// The folder walk.
#include "walk.hpp"

#include <algorithm>
#include <filesystem>
#include <utility>

namespace vkt2::batch {

namespace fs = std::filesystem;

bool is_tool_file(std::string_view name) {
    if (name.size() < 4) return false;
    std::string suffix(name.substr(name.size() - 4));
    for (char& ch : suffix) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
    return suffix == ".BAK" || suffix == ".$$$";
}

std::string join(const std::string& base, const std::string& name) {
    if (base.empty()) return name;
    const char last = base.back();
    return last == '/' || last == '\\' ? base + name : base + '/' + name;
}

namespace {

void walk_folder(const std::string& folder, const std::string& relative, walk_result& out) {
    std::vector<std::pair<std::string, fs::file_type>> items;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code type_ec;
        items.emplace_back(it->path().filename().string(), it->symlink_status(type_ec).type());
    }
    if (ec) {
        out.unreadable.push_back(folder);
        return;
    }
    // std::string compares as unsigned bytes: the same order in every locale.
    std::sort(items.begin(), items.end());
    for (const auto& [name, type] : items) {
        const std::string path = join(folder, name);
        const std::string below = relative.empty() ? name : relative + '/' + name;
        if (type == fs::file_type::directory) {
            walk_folder(path, below, out);
        } else if (type == fs::file_type::regular && !is_tool_file(name)) {
            out.files.push_back({path, below, false});
        } else {
            ++out.skipped;
        }
    }
}

}  // namespace

walk_result walk(const std::vector<std::string>& paths) {
    walk_result out;
    for (const std::string& path : paths) {
        std::error_code ec;
        // A link named on the command line is followed, into a folder too.
        if (fs::is_directory(path, ec)) {
            walk_folder(path, "", out);
        } else {
            out.files.push_back({path, fs::path(path).filename().string(), true});
        }
    }
    return out;
}

}  // namespace vkt2::batch
