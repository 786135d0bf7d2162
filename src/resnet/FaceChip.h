#pragma once

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include <string>
#include <utility>

// Cuts the face-resnet's 150 x 150 chip out of a camera frame: aligned by the eyes where the
// eye search finds a plausible pair inside the face box, otherwise by a fixed transform of the
// Haar face box. Either way the eye centres land near (47.5, 46.6) and (100.5, 46.6).
class FaceChip
{
public:
    // Loads the chip's eye cascade from the run folder (RunFolder.h); without it every chip is
    // cut by the box transform.
    FaceChip();
    explicit FaceChip(const std::string& eyeCascadePath);

    // Requires: frame is CV_8UC3 BGR; face is the detector's face box in frame pixels.
    // Ensures:  a new CV_8UC3 BGR chip of 150 x 150; parts outside the frame are black.
    // Throws:   std::logic_error("chip needs a BGR frame and a face box") otherwise.
    cv::Mat cut(const cv::Mat& frame, const cv::Rect& face);

    // Whether the last cut() was aligned by a found eye pair.
    bool alignedByEyes() const;

    // The eye centres (left and right in the image, frame pixels) the last cut() mapped to the
    // chip's eye positions: the found pair, or where the box transform expects the eyes.
    std::pair<cv::Point2f, cv::Point2f> lastEyes() const;

private:
    bool findEyes(const cv::Mat& frame, const cv::Rect& face);

    cv::CascadeClassifier eyeCascade;
    bool byEyes = false;
    cv::Point2f leftEye;
    cv::Point2f rightEye;
};
