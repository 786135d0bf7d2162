#include "FacedataIndex.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

constexpr int kMtflLandmarks = 5;

std::vector<fs::path> sortedEntries(const fs::path& dir, bool directories)
{
    std::vector<fs::path> entries;
    if (!fs::is_directory(dir))
        return entries;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().filename().string().rfind('.', 0) == 0)
            continue;
        if (directories ? entry.is_directory() : entry.is_regular_file())
            entries.push_back(entry.path());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

bool isJpeg(const fs::path& path)
{
    std::string ext = path.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
    return ext == ".jpg" || ext == ".jpeg";
}

std::vector<FacePhoto> readMtflList(const fs::path& root, const std::string& listName)
{
    std::vector<FacePhoto> photos;
    std::ifstream in(root / listName);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        FacePhoto photo;
        std::string relative;
        float coords[2 * kMtflLandmarks];
        fields >> relative;
        for (float& c : coords)
            fields >> c;
        if (!fields || relative.empty())
            continue;
        std::replace(relative.begin(), relative.end(), '\\', '/');
        photo.path = (root / relative).string();
        for (int k = 0; k < kMtflLandmarks; ++k)
            photo.landmarks.emplace_back(coords[k], coords[kMtflLandmarks + k]);
        photos.push_back(photo);
    }
    return photos;
}

// "Aaron_Eckhart_0001.jpg" -> "Aaron_Eckhart"
std::string lfwNameOf(const std::string& fileName)
{
    const auto underscore = fileName.rfind('_');
    return underscore == std::string::npos ? fileName : fileName.substr(0, underscore);
}

} // namespace

FacedataIndex::FacedataIndex(std::string root) : rootDir(std::move(root))
{
    if (!fs::is_directory(rootDir))
        throw std::runtime_error("face data folder not found: " + rootDir);
}

std::string FacedataIndex::locate(const std::string& option, const std::string& fallback)
{
    if (!option.empty())
        return option;
    const char* variable = std::getenv("VISAGIO_FACEDATA");
    if (variable != nullptr && *variable != '\0')
        return variable;
    if (fs::is_directory(fallback))
        return fallback;
    std::error_code error;
    fs::path folder = fs::read_symlink("/proc/self/exe", error).parent_path();
    for (; !error && !folder.empty() && folder != folder.root_path(); folder = folder.parent_path())
        if (fs::is_directory(folder / fallback))
            return fs::weakly_canonical(folder / fallback).string();
    return fallback;
}

std::vector<FacePhoto> FacedataIndex::lfwPeople(const std::string& set, char first, char last) const
{
    const fs::path people = fs::path(rootDir) / set / "people";
    if (!fs::is_directory(people))
        throw std::runtime_error("face data set not found: " + people.string());
    std::vector<FacePhoto> photos;
    for (const auto& personDir : sortedEntries(people, true)) {
        const std::string name = personDir.filename().string();
        if (name.empty() || name[0] < first || name[0] > last)
            continue;
        for (const auto& file : sortedEntries(personDir, false))
            if (isJpeg(file))
                photos.push_back({file.string(), name, {}});
    }
    return photos;
}

std::vector<FacePhoto> FacedataIndex::essexPeople() const
{
    const fs::path root = fs::path(rootDir) / "essex_faces94_female";
    if (!fs::is_directory(root))
        throw std::runtime_error("face data set not found: " + root.string());
    std::vector<FacePhoto> photos;
    std::vector<std::string> ids;
    for (const auto& dir : sortedEntries(root / "Training", true))
        ids.push_back(dir.filename().string());
    const std::regex numbered(R"(.*\.(\d+)\.jpg)");
    for (const auto& id : ids) {
        std::vector<std::pair<int, fs::path>> frames;
        for (const auto& file : sortedEntries(root / "Training" / id, false)) {
            std::smatch match;
            const std::string name = file.filename().string();
            if (std::regex_match(name, match, numbered))
                frames.emplace_back(std::stoi(match[1]), file);
        }
        std::sort(frames.begin(), frames.end());
        for (const auto& frame : frames)
            photos.push_back({frame.second.string(), "essex_" + id, {}});
        for (int k = 1; k < 100; ++k) {
            const fs::path test = root / "Test" / (id + " (" + std::to_string(k) + ").jpg");
            if (!fs::exists(test))
                break;
            photos.push_back({test.string(), "essex_" + id, {}});
        }
    }
    return photos;
}

std::vector<std::string> FacedataIndex::min10Names() const
{
    std::vector<std::string> names;
    for (const auto& dir : sortedEntries(fs::path(rootDir) / "lfw_min10" / "people", true))
        names.push_back(dir.filename().string());
    return names;
}

std::vector<FacePhoto> FacedataIndex::mtflFaces(bool excludeMin10People) const
{
    const fs::path root = fs::path(rootDir) / "mtfl_80x80";
    if (!fs::is_directory(root))
        throw std::runtime_error("face data set not found: " + root.string());
    std::vector<FacePhoto> photos = readMtflList(root, "landmarks_train.txt");
    for (auto& photo : readMtflList(root, "landmarks_test.txt"))
        photos.push_back(std::move(photo));
    std::set<std::string> excluded;
    if (excludeMin10People)
        for (const auto& name : min10Names())
            excluded.insert(name);
    std::vector<FacePhoto> kept;
    for (auto& photo : photos) {
        const fs::path path(photo.path);
        const bool fromLfw = path.parent_path().filename() == "lfw_5590";
        if (fromLfw && excluded.count(lfwNameOf(path.filename().string())) != 0)
            continue;
        kept.push_back(std::move(photo));
    }
    return kept;
}

std::vector<FacePhoto> FacedataIndex::yaleFaces() const
{
    const fs::path root = fs::path(rootDir) / "yalefaces" / "yalefaces";
    if (!fs::is_directory(root))
        throw std::runtime_error("face data set not found: " + root.string());
    std::vector<FacePhoto> photos;
    for (const auto& file : sortedEntries(root, false)) {
        const std::string name = file.filename().string();
        const auto dot = name.find('.');
        if (name.rfind("subject", 0) != 0 || dot == std::string::npos)
            continue;
        photos.push_back({file.string(), name.substr(0, dot), {}});
    }
    return photos;
}

std::string FacedataIndex::videoPath(const std::string& relative) const
{
    const fs::path path = fs::path(rootDir) / "videos" / relative;
    if (!fs::is_regular_file(path))
        throw std::runtime_error("video not found: " + path.string());
    return path.string();
}

std::vector<std::string> personsOf(const std::vector<FacePhoto>& photos)
{
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (const auto& photo : photos)
        if (seen.insert(photo.person).second)
            names.push_back(photo.person);
    return names;
}
