#pragma once

#include <opencv2/core.hpp>

// A strong light from one side, put on a photograph or a sample after it was taken: the image
// is multiplied by a horizontal ramp that is 1 up to the face box's near edge, falls linearly
// across the box and stays at 1 - strength beyond it. From the left (the default) the light
// comes from the face's right, the viewer's left.
namespace PhotoRelight {

// Requires: photo 8-bit with 1 or 3 channels; 0 <= strength < 1; faceBox has a positive width
//           (it may reach outside the photo).
// Ensures:  a relit copy of the same size and type (the photo unchanged); strength 0 gives an
//           equal copy.
// Throws:   std::invalid_argument("relight strength must be in [0, 1)") or
//           ("relight needs a face box of positive width").
cv::Mat relit(const cv::Mat& photo, const cv::Rect2f& faceBox, double strength, bool fromLeft = true);

} // namespace PhotoRelight
