#include "FaceSet.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace eval {

namespace fs = std::filesystem;

namespace {
const std::set<std::string> kImageExtensions = {".jpg", ".jpeg", ".png", ".pgm", ".ppm", ".bmp", ".gif", ".tif",
                                                ".tiff"};

std::vector<fs::path> sorted(const fs::path& directory, bool folders)
{
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(directory)) {
        if (entry.path().filename().string().rfind('.', 0) == 0)
            continue;
        if (folders ? entry.is_directory() : entry.is_regular_file())
            entries.push_back(entry.path());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool isImage(const fs::path& path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return kImageExtensions.count(extension) != 0;
}
} // namespace

std::vector<FacePhoto> FaceSet::list(const std::string& directory, char first, char last)
{
    if (!fs::is_directory(directory))
        throw std::runtime_error("face set folder not found: " + directory);
    std::vector<FacePhoto> photos;
    for (const fs::path& person : sorted(directory, true)) {
        const std::string name = person.filename().string();
        if (name.front() < first || name.front() > last)
            continue;
        for (const fs::path& file : sorted(person, false))
            if (isImage(file))
                photos.push_back({fs::absolute(file).string(), name, {}});
    }
    return photos;
}

void FaceSet::parseRange(const std::string& range, char& first, char& last)
{
    const bool single = range.size() == 1;
    const bool pair = range.size() == 3 && range[1] == '-' && range[0] <= range[2];
    if (!single && !pair)
        throw std::invalid_argument("--names needs a letter range such as K-Z");
    first = range.front();
    last = range.back();
}

} // namespace eval
