// The folder walk: an explicit stack of folders still to open, each opened through its parent's
// descriptor, never through a link.
#include "walk.hpp"

#include <algorithm>
#include <cerrno>
#include <utility>

namespace vkt2::batch {

namespace {
// The last four bytes of `name` in upper case, or nothing for a shorter name.
std::string suffix_of(std::string_view name) {
    if (name.size() < 4) return {};
    std::string suffix(name.substr(name.size() - 4));
    for (char& ch : suffix) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
    return suffix;
}
}  // namespace

bool is_tool_file(std::string_view name) {
    const std::string suffix = suffix_of(name);
    return suffix == ".BAK" || suffix == ".$$$";
}

bool is_backup(std::string_view name) {
    return suffix_of(name) == ".BAK";
}

std::string join(const std::string& base, const std::string& name) {
    if (base.empty()) return name;
    const char last = base.back();
#ifdef _WIN32
    if (last == '\\') return base + name;
#endif
    return last == '/' ? base + name : base + '/' + name;
}

namespace {

using folder_ptr = std::shared_ptr<const platform::folder>;

// A file found, or a folder to open from `parent` and list.
struct pending {
    bool is_folder;
    entry e;
    folder_ptr parent;  // for a folder: the open folder that holds it
    platform::identity id;
};

entry failed_entry(std::string path, std::string problem) {
    entry e;
    e.path = std::move(path);
    e.problem = std::move(problem);
    return e;
}

// Why a walk skips the entry `item` that is no folder, if it does, and whether --all may copy it.
void classify(const platform::listed& item, entry& e) {
    if (item.type == platform::kind::link) {
        e.skip = reasons::link;
    } else if (item.type != platform::kind::file) {
        e.skip = reasons::special;
    } else if (is_backup(item.name)) {
        e.skip = reasons::backup;
        e.copyable = true;
    } else if (is_tool_file(item.name)) {
        // A NAME.$$$ may be another run's file under way: never copied.
        e.skip = reasons::temporary;
    }
}

void walk_tree(folder_ptr root, const std::string& path,
               const std::optional<platform::identity>& leave_out, bool backups, walk_result& out) {
    std::vector<pending> stack;
    pending first{true, {}, nullptr, {}};
    first.e.path = path;
    stack.push_back(std::move(first));
    while (!stack.empty()) {
        pending p = std::move(stack.back());
        stack.pop_back();
        if (!p.is_folder) {
            out.files.push_back(std::move(p.e));
            continue;
        }
        folder_ptr here = root;
        if (p.parent) {
            auto opened = platform::open_subfolder(*p.parent, p.e.name.c_str());
            if (!opened) {
                out.files.push_back(
                    failed_entry(p.e.path, "cannot open the folder: " + platform::reason(errno)));
                continue;
            }
            // Swapped for another folder since it was listed: not the tree that was named.
            if (opened->id != p.id) {
                out.files.push_back(failed_entry(p.e.path, "changed during the walk"));
                continue;
            }
            here = std::make_shared<const platform::folder>(std::move(opened->dir));
        }
        // Undo judges every backup it finds by its own look; the other commands open each file
        // they take, and learn what it is then.
        auto items = platform::list_folder(*here, !backups);
        if (!items) {
            out.files.push_back(
                failed_entry(p.e.path, "cannot read the folder: " + platform::reason(errno)));
            continue;
        }
        walked_folder listed{p.e.relative, {}};
        if (platform::folder_attributes(*here, listed.attributes))
            out.folders.push_back(std::move(listed));
        // std::string compares as unsigned bytes: the same order in every locale.
        std::sort(items->begin(), items->end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
        for (auto it = items->rbegin(); it != items->rend(); ++it) {
            const std::string child = join(p.e.path, it->name);
            // A backup or lock file another undo removed after the listing is simply gone.
            if (backups && it->error == ENOENT) continue;
            if (it->error != 0) {
                stack.push_back(
                    {false,
                     failed_entry(child, "cannot look at it: " + platform::reason(it->error)),
                     nullptr,
                     {}});
                continue;
            }
            const bool folder = it->type == platform::kind::folder;
            // Undo looks at backups alone, and judges each itself, links and all.
            if (backups && !folder && !is_backup(it->name)) continue;
            pending next{folder, {}, folder ? here : nullptr, it->id};
            next.e.path = child;
            next.e.relative = p.e.relative.empty() ? it->name : p.e.relative + '/' + it->name;
            next.e.name = it->name;
            if (folder && leave_out && it->id == *leave_out) {
                next.is_folder = false;
                next.e.skip = reasons::output_folder;
            } else if (!folder) {
                next.e.folder = here;
                next.e.id = it->id;
                if (!backups) classify(*it, next.e);
            }
            stack.push_back(std::move(next));
        }
    }
}

}  // namespace

walk_result walk(const std::vector<std::string>& paths,
                 const std::optional<platform::identity>& leave_out, bool backups) {
    walk_result out;
    for (const std::string& path : paths) {
        entry e;
        e.path = path;
        e.named = true;
        if (path == "-") {
            e.standard_input = true;
            out.files.push_back(std::move(e));
            continue;
        }
        auto parent = platform::open_parent(path.c_str(), e.name);
        if (!parent) {
            out.files.push_back(failed_entry(path, "cannot open: " + platform::reason(errno)));
            continue;
        }
        e.folder = std::make_shared<const platform::folder>(std::move(*parent));
        // A link named on the command line is followed, into a folder too.
        if (const auto seen =
                platform::look(*e.folder, e.name.c_str(), platform::follow_links::yes)) {
            e.id = seen->id;
            if (seen->type == platform::kind::folder) {
                auto root = platform::open_folder(path.c_str());
                if (!root) {
                    out.files.push_back(
                        failed_entry(path, "cannot open the folder: " + platform::reason(errno)));
                    continue;
                }
                if (leave_out && seen->id == *leave_out) continue;
                walk_tree(std::make_shared<const platform::folder>(std::move(*root)), path,
                          leave_out, backups, out);
                continue;
            }
        }
        // The output goes to the last name of the path; "d/" names d.
        std::string leaf = e.name;
#ifdef _WIN32
        while (leaf.size() > 1 && (leaf.back() == '/' || leaf.back() == '\\')) leaf.pop_back();
#else
        while (leaf.size() > 1 && leaf.back() == '/') leaf.pop_back();
#endif
        e.relative = leaf;
        out.files.push_back(std::move(e));
    }
    return out;
}

void respell(walk_result& w, name_encoding how) {
    for (entry& e : w.files) e.relative = readable(e.relative, how);
    for (walked_folder& f : w.folders) f.relative = readable(f.relative, how);
}

}  // namespace vkt2::batch
