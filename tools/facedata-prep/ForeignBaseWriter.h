#pragma once

#include "FacedataIndex.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

// Writes the matcher's base of other people's faces in its two layouts:
// - "glasgow": photographs on a light background, composed so that the matcher's fixed crop
//   (x 50 to 301, y from h / 2 - 140, 252 x 324) frames the face as the window's sample cut
//   frames a detected face;
// - "feret": photographs with a "coords.txt" index (name, eyes, nose, mouth) from landmark
//   annotations, padded so that the crop computed from the eyes and mouth lies inside.
class ForeignBaseWriter
{
public:
    // The fixed crop of the "glasgow" layout.
    static constexpr int kCropLeft = 50;
    static constexpr int kCropWidth = 252;
    static constexpr int kCropHeight = 324;
    static constexpr int kCanvasWidth = 352;
    static constexpr int kCanvasHeight = 400;

    // Requires: directory exists or can be created.
    explicit ForeignBaseWriter(std::string directory);

    // The glasgow photograph of a face whose detected square face box is `face` in `photo`:
    // kCanvasWidth x kCanvasHeight, light background, the box's centre cut on the fixed crop.
    static cv::Mat glasgowCanvas(const cv::Mat& photo, const cv::Rect& face);
    // Finds the face box of a photograph (largest frontal face); false when none.
    static bool detectFace(const cv::Mat& photo, const std::string& faceCascade, cv::Rect& face);

    // Writes each photograph with a detected face into glasgow/; returns how many were written.
    int writeGlasgow(const std::vector<FacePhoto>& photos, const std::string& faceCascade);
    // Writes each landmarked photograph into feret/ (enlarged `zoom` times and padded) with its
    // line in feret/coords.txt; returns how many were written.
    // Throws: std::runtime_error when coords.txt cannot be written.
    int writeFeret(const std::vector<FacePhoto>& photos, int zoom = 1);

    std::string glasgowDir() const;
    std::string feretDir() const;

private:
    std::string root;
};
