#pragma once

#include "FaceGeometry.h"

#include <opencv2/core.hpp>

#include <random>
#include <string>
#include <vector>

// Where a photograph goes in a 320 x 240 camera frame: the photo point `anchor` lands on the
// frame point `target`, the photo is scaled by `scale` and turned by `angle` degrees about it.
struct FramePlacement
{
    double scale = 1.0;
    cv::Point2f anchor;
    cv::Point2f target{kFrameWidth * 0.5f, kFrameHeight * 0.5f};
    double angle = 0.0;
};

// Composes camera-like 320 x 240 frames out of face photographs, so that photographs pass
// through the same detector and sample cutting as live video.
class PhotoFramer
{
public:

    // Reads a photograph as 8-bit BGR (any format OpenCV or Qt can decode, GIF included).
    // Throws: std::runtime_error("cannot read image: <path>").
    static cv::Mat load(const std::string& path);

    // The photo centred and scaled so that its height is `fill` times the frame height.
    static FramePlacement fitHeight(const cv::Mat& photo, double fill);
    // The eye midpoint placed at the usual webcam eye position, scaled so that the eyes are
    // `eyeDistance` frame pixels apart. Requires: at least two landmarks (the eyes).
    static FramePlacement fromEyes(const std::vector<cv::Point2f>& landmarks, double eyeDistance);
    // A small random movement of `placement`: shift, zoom and tilt, as a person in front of a
    // camera moves between frames; `amount` 1 is the usual range.
    static FramePlacement jittered(const FramePlacement& placement, std::mt19937& random,
                                   double amount = 1.0);

    // `placement` moved by the given fractions (-1 ... 1) of the usual jitter ranges.
    static FramePlacement moved(const FramePlacement& placement, double dx, double dy, double zoom,
                                double tilt);

    // The 320 x 240 BGR frame; parts outside the photo repeat its border pixels.
    static cv::Mat compose(const cv::Mat& photo, const FramePlacement& placement);
    // The box in photo pixels that `frameBox` (frame pixels) shows under `placement`: the
    // bounding box of its corners mapped back.
    static cv::Rect2f toPhoto(const cv::Rect& frameBox, const FramePlacement& placement);

private:
    // The 2 x 3 affine map from photo to frame pixels.
    static cv::Mat transformOf(const FramePlacement& placement);
};
