// Finishing a mirror's folders, after its files.
#include "mirror.hpp"

#include <optional>

namespace vkt2::batch {

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
            platform::identity below;
            here = platform::open_subfolder(*here, rel.substr(start, slash - start).c_str(), false,
                                            below);
            id = below;
            start = slash + 1;
        }
        if (here && id == it->second) platform::copy_folder_attributes(*here, source->second);
    }
}

}  // namespace vkt2::batch
