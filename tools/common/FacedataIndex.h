#pragma once

#include <opencv2/core.hpp>

#include <string>
#include <vector>

// One photograph of a face data set: its file, the person it shows (empty when the set has
// no identities) and, where the set has them, five landmarks in photo pixels: left eye,
// right eye, nose, left and right mouth corner.
struct FacePhoto
{
    std::string path;
    std::string person;
    std::vector<cv::Point2f> landmarks;
};

// What the shared face data folder holds, set by set, in a fixed (sorted) order so that every
// tool run sees the same photographs in the same order. See the folder's INVENTORY.md.
class FacedataIndex
{
public:
    // Throws: std::runtime_error("face data folder not found: <root>") when root is no folder.
    explicit FacedataIndex(std::string root);

    // The folder given by `option` when not empty, else $VISAGIO_FACEDATA, else the first
    // existing `fallback` (a relative path such as "../shared/facedata") taken from the working
    // directory or from a folder above the running program (so that a tool built anywhere in
    // the repository finds the data beside the repository root).
    static std::string locate(const std::string& option, const std::string& fallback);

    const std::string& root() const { return rootDir; }

    // Labeled Faces in the Wild: `set` is "lfw_min10" or "lfw_2to9"; only people whose name
    // starts with a letter from `first` to `last` (inclusive).
    // Throws: std::runtime_error when the set's people folder is missing.
    std::vector<FacePhoto> lfwPeople(const std::string& set, char first = 'A', char last = 'Z') const;
    // Essex faces94 female, identified people only (Training/<id>/ and Test/<id> (k).jpg),
    // each person's photographs in frame order.
    std::vector<FacePhoto> essexPeople() const;
    // The MTFL landmark set; with `excludeMin10People`, the lfw_5590 photographs of people in
    // lfw_min10 are left out (those people are calibration or evaluation people).
    std::vector<FacePhoto> mtflFaces(bool excludeMin10People) const;
    // Yale faces (grey GIF, light background), person = "subjectNN".
    std::vector<FacePhoto> yaleFaces() const;
    // A video clip under videos/ (relative path, e.g. "leszko_sample-files/face.mp4").
    // Throws: std::runtime_error when the file is missing.
    std::string videoPath(const std::string& relative) const;

private:
    std::vector<std::string> min10Names() const;

    std::string rootDir;
};

// The distinct person names of `photos`, in first-appearance order.
std::vector<std::string> personsOf(const std::vector<FacePhoto>& photos);
