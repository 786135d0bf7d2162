#pragma once

#include "FacedataIndex.h"
#include "FaceDetector.h"
#include "PhotoFramer.h"
#include "SampleSet.h"

#include <opencv2/core.hpp>

#include <random>
#include <string>
#include <vector>

// Cuts face samples exactly as the window does: a 320 x 240 frame goes through FaceDetector
// (largest face of at least 90 px) and makeSample (grey, 35 x 45 centre cut). Photographs are
// first composed into such frames by PhotoFramer, with the face well above the 90 px minimum.
class SampleCutter
{
public:
    // The face cascade of the run directory when present, else Debian's frontal alt2 cascade.
    static std::string defaultFaceCascade();
    static std::string defaultEyeCascade();
    // The eye cascade FaceChip aligns the face-resnet's chips by (the run folder's, else Debian's).
    static std::string defaultChipEyeCascade();

    // Throws: std::runtime_error("cannot load face cascade: <path>") when it does not load.
    SampleCutter(const std::string& faceCascade, const std::string& eyeCascade);
    SampleCutter(const SampleCutter&) = delete;
    SampleCutter& operator=(const SampleCutter&) = delete;

    // Requires: frame is 320 x 240 BGR.
    // Ensures:  the 35 x 45 grey sample of the frame's face, or an empty Mat without a face.
    cv::Mat cutFrame(const cv::Mat& frame);
    // The face rectangle of the last cutFrame (all zero without a face).
    cv::Rect lastFace() const { return detector.faceRect(); }

    // The placement of `photo` whose frame gives a face: from the landmarks when the photo has
    // them, else by fitting its height; several sizes are tried. Returns false when none works.
    bool findPlacement(const FacePhoto& photo, const cv::Mat& image, FramePlacement& placement);

    // Cuts every photograph: one sample at its found placement and `copies` more at jittered
    // placements (copies whose frame shows no face are left out). `random` drives the jitter.
    // Ensures: missed counts the photographs without any face found.
    SampleSet cutPhotos(const std::vector<FacePhoto>& photos, int copies, unsigned seed,
                        const std::string& label, int& missed);

    // One entry a frame: the frame's sample, or an empty Mat when it shows no face.
    std::vector<cv::Mat> cutFrames(const std::vector<cv::Mat>& frames);

private:
    FaceDetector detector;
};
