#include "picture/picture_folder.h"

#include "picture/picture.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <tuple>

namespace velmora {

namespace {

    namespace fs = std::filesystem;

    std::string folded(const std::string& text)
    {
        std::string out = text;
        std::transform(out.begin(), out.end(), out.begin(),
            [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return out;
    }

    // Where a picture goes in the list: a folder's own pictures by name,
    // then each sub-folder's, the sub-folders by name too. Names compare
    // without regard to case; the exact path breaks ties.
    struct Found {
        std::vector<std::string> folders; // the folders below the root, case folded
        std::string name; // case folded
        std::string relative;
        std::string path;

        bool operator<(const Found& other) const
        {
            return std::tie(folders, name, relative)
                < std::tie(other.folders, other.name, other.relative);
        }
    };

    void consider(const fs::directory_entry& entry, const fs::path& root, std::vector<Found>& out)
    {
        std::error_code error;
        if (!entry.is_regular_file(error) || !has_picture_decoder(entry.path().string()))
            return;
        const fs::path relative = entry.path().lexically_relative(root);
        Found found { {}, folded(relative.filename().string()), relative.string(),
            entry.path().string() };
        for (const fs::path& folder : relative.parent_path())
            found.folders.push_back(folded(folder.string()));
        out.push_back(std::move(found));
    }

} // namespace

std::vector<std::string> pictures_in_folder(const std::string& folder, bool sub_folders)
{
    std::vector<Found> found;
    const fs::path root(folder);
    std::error_code error;
    if (sub_folders) {
        fs::recursive_directory_iterator it(
            root, fs::directory_options::skip_permission_denied, error);
        for (; !error && it != fs::recursive_directory_iterator(); it.increment(error))
            consider(*it, root, found);
    } else {
        fs::directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
        for (; !error && it != fs::directory_iterator(); it.increment(error))
            consider(*it, root, found);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (Found& f : found)
        paths.push_back(std::move(f.path));
    return paths;
}

} // namespace velmora
