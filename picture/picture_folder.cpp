#include "picture/picture_folder.h"

#include "picture/picture.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

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

    struct Found {
        std::string key; // the path below the folder, case folded
        std::string relative;
        std::string path;
    };

    void consider(const fs::directory_entry& entry, const fs::path& root, std::vector<Found>& out)
    {
        std::error_code error;
        if (!entry.is_regular_file(error) || !has_picture_decoder(entry.path().string()))
            return;
        const std::string relative = entry.path().lexically_relative(root).string();
        out.push_back({ folded(relative), relative, entry.path().string() });
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
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return a.key != b.key ? a.key < b.key : a.relative < b.relative;
    });
    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (Found& f : found)
        paths.push_back(std::move(f.path));
    return paths;
}

} // namespace velmora
