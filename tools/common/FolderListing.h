#pragma once

#include <filesystem>
#include <vector>

// The sub-folders (folders = true) or the regular files of `dir`, sorted by path: face sets
// whose file-name order is their capture order are read in that order.
// Throws: std::filesystem::filesystem_error when dir cannot be listed.
std::vector<std::filesystem::path> sortedEntries(const std::filesystem::path& dir, bool folders);
