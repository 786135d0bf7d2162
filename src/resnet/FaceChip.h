#pragma once

#include "FaceLandmarks.h"

#include <QString>
#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include <memory>
#include <optional>
#include <string>
#include <utility>

// Cuts the face-resnet's 150 x 150 chip out of a camera frame, aligned by the face's 68
// landmarks: the eye centres and the mouth put where the network's training chips put them
// (ChipGeometry.h). A face whose landmarks fail a sanity check is cut by a fixed transform of
// the Haar face box. The earlier aligner, a Haar eye search in the face box, stays for
// comparison.
class FaceChip
{
public:
    // How the last chip was aligned.
    enum class Alignment { Landmarks, Eyes, Box };

    // Aligns by the landmark network of the run folder (RunFolder.h), or of `landmarksFolder`.
    // Throws: the network's errors (FaceLandmarks.h), each naming the file.
    FaceChip();
    explicit FaceChip(const QString& landmarksFolder);
    // Aligns by the eye search with this cascade; an empty path, or one that does not load, cuts
    // every chip by the box transform.
    explicit FaceChip(const std::string& eyeCascadePath);

    // Requires: frame is CV_8UC3 BGR; face is the detector's face box in frame pixels.
    // Ensures:  a new CV_8UC3 BGR chip of 150 x 150; parts outside the frame are black.
    // Throws:   std::logic_error("chip needs a BGR frame and a face box") otherwise.
    cv::Mat cut(const cv::Mat& frame, const cv::Rect& face);

    Alignment alignment() const;
    // Whether the last chip was aligned by the face itself (landmarks or eyes), not the box.
    bool aligned() const;

    // The eye centres (left and right in the image, frame pixels) of the last cut(): the
    // landmarks' or the found pair, or where the box transform expects the eyes.
    std::pair<cv::Point2f, cv::Point2f> lastEyes() const;
    // The landmarks of the last cut() when it was aligned by them.
    const std::optional<FaceLandmarks::Points>& lastLandmarks() const;

private:
    bool findEyes(const cv::Mat& frame, const cv::Rect& face);
    cv::Matx23d landmarkTransform(const cv::Mat& frame, const cv::Rect& face);

    std::unique_ptr<FaceLandmarks> landmarks;
    cv::CascadeClassifier eyeCascade;
    Alignment lastAlignment = Alignment::Box;
    std::optional<FaceLandmarks::Points> points;
    cv::Point2f leftEye;
    cv::Point2f rightEye;
};
