#include "FolderListing.h"

#include <algorithm>

std::vector<std::filesystem::path> sortedEntries(const std::filesystem::path& dir, bool folders)
{
    std::vector<std::filesystem::path> entries;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(dir))
        if (folders ? entry.is_directory() : entry.is_regular_file())
            entries.push_back(entry.path());
    std::sort(entries.begin(), entries.end());
    return entries;
}
