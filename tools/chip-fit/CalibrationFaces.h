#pragma once

#include "FacedataIndex.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

// A calibration photograph, the set it comes from ("essex" or "lfw") and the face box the
// window's face detector finds in it.
struct BoxedFace
{
    FacePhoto photo;
    std::string set;
    cv::Rect box;
};

// The calibration faces: Essex faces94 female and lfw_min10 people A-J, each photograph at its
// native size (180 x 200, 250 x 250) through FaceDetector with the window's settings.
// Throws:  std::runtime_error when a set or the face cascade is missing.
// Ensures: one entry a photograph with a face, in index order; missed counts the others.
std::vector<BoxedFace> calibrationFaces(const FacedataIndex& index, const std::string& faceCascade, int& missed);

// Requires: the photograph still exists.
// Throws:   std::runtime_error("cannot read <path>") when it does not decode.
cv::Mat readPhoto(const FacePhoto& photo);
