#pragma once

#include "FacedataIndex.h"

#include <string>
#include <vector>

namespace eval {

// A face set laid out one folder per person (a user's own photographs, or a people folder of
// the shared data): every image file of every person folder, people and files in name order.
class FaceSet
{
public:
    // Requires: first <= last; only people whose name starts with a character from first to
    //           last (inclusive) are listed.
    // Throws:   std::runtime_error("face set folder not found: <dir>").
    static std::vector<FacePhoto> list(const std::string& directory, char first = '\0', char last = '\x7f');

    // Parses a letter range such as "K-Z" (or one letter "K").
    // Throws: std::invalid_argument("--names needs a letter range such as K-Z").
    static void parseRange(const std::string& range, char& first, char& last);
};

} // namespace eval
