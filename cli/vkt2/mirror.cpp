// Making the output folder, and finishing a mirror's folders after its files.
#include "mirror.hpp"

#include <cerrno>
#include <optional>

namespace vkt2::batch {

output_root open_output(std::string dir, bool copies_folders) {
#ifdef _WIN32
    const char* separators = "/\\";
#else
    const char* separators = "/";
#endif
    // Its last name is then the output folder's own.
    while (dir.size() > 1 && dir.find_last_of(separators) == dir.size() - 1) dir.pop_back();
    std::optional<platform::identity> made_last;
    for (std::size_t i = dir.find_first_of(separators, 1);;
         i = dir.find_first_of(separators, i + 1)) {
        std::string leaf;
        const std::string so_far = dir.substr(0, i);
        const bool last = i == std::string::npos;
        std::optional<platform::made_subfolder> sub;
        if (auto parent = platform::open_parent(so_far.c_str(), leaf))
            sub = platform::make_subfolder(*parent, leaf.c_str(),
                                           last && copies_folders ? private_folder : 0755);
        if (last && sub && sub->made) made_last = sub->id;
        if (last) break;
    }
    output_root root;
    root.folder = platform::open_folder(dir.c_str());
    // Its group says whether a file made in it may be given its group bits at once.
    platform::attributes info;
    if (root.folder && platform::folder_attributes(*root.folder, info))
        root.folder->group = static_cast<long long>(info.st_gid);
    if (!root.folder)
        root.why = "cannot open the folder: " + platform::reason(errno);
    else if (made_last && platform::identity_of(*root.folder) == made_last)
        root.made = made_last;
    return root;
}

void finish_folders(const platform::folder& out, const made_folders& made,
                    const std::vector<walked_folder>& walked) {
    std::map<std::string, platform::attributes> sources;
    for (const walked_folder& w : walked) {
        const auto [at, fresh] = sources.emplace(w.relative, w.attributes);
        using mode = decltype(w.attributes.st_mode);
        if (!fresh) at->second.st_mode &= static_cast<mode>(w.attributes.st_mode | ~mode{07777});
    }
    // A folder's name sorts before every name below it: backwards, the deepest come first.
    for (auto it = made.rbegin(); it != made.rend(); ++it) {
        const auto source = sources.find(it->first);
        if (source == sources.end()) continue;
        const std::string& rel = it->first;
        std::optional<platform::folder> here = platform::copy_folder(out);
        std::optional<platform::identity> id = here ? platform::identity_of(*here) : std::nullopt;
        for (std::size_t start = 0; here && start < rel.size();) {
            std::size_t slash = rel.find('/', start);
            if (slash == std::string::npos) slash = rel.size();
            auto below = platform::open_subfolder(*here, rel.substr(start, slash - start).c_str());
            if (below) {
                here = std::move(below->dir);
                id = below->id;
            } else {
                here.reset();
            }
            start = slash + 1;
        }
        if (here && id == it->second) platform::copy_folder_attributes(*here, source->second);
    }
}

}  // namespace vkt2::batch
