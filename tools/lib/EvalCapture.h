#pragma once

#include "EvalOptions.h"
#include "EvalStageTime.h"
#include "FaceDetector.h"
#include "FacedataIndex.h"
#include "PhotoFramer.h"
#include "SampleCutter.h"

#include <opencv2/core.hpp>

#include <random>
#include <string>
#include <vector>

// One photograph as the camera saw it: its samples (35 x 45 grey, as the window cuts them),
// frame 0 at the placement where the detector found the face, the others slightly moved.
struct EvalPhoto
{
    std::string path;
    bool enrolment = false; // one of the person's enrolment photographs
    // Empty when no placement gave a face; otherwise frames[0] is a sample and a later entry
    // is an empty Mat when its moved frame showed no face.
    std::vector<cv::Mat> frames;
    FramePlacement placement; // where the face was found

    bool detected() const { return !frames.empty(); }
};

// One person of the face set: every photograph, and the enrolment group when the person has
// enough photographs with a face.
struct EvalPerson
{
    std::string name;
    std::vector<EvalPhoto> photos;
    std::vector<cv::Mat> group;

    // Photographs in which no face was found.
    int missed() const;
    // Enrolled, with at least one genuine trial left.
    bool owner() const;
};

// Puts every photograph of a face set through the window's live path: placed in a 320 x 240
// frame with the face well above the detector's 90 px minimum, FaceDetector, makeSample.
class EvalCapture
{
public:
    // Throws: std::runtime_error("cannot load face cascade: <path>").
    EvalCapture(const EvalOptions& options, const std::string& faceCascade, const std::string& eyeCascade);
    EvalCapture(const EvalCapture&) = delete;
    EvalCapture& operator=(const EvalCapture&) = delete;

    // Requires: photos of one person are listed together, each person's in a fixed order.
    // Ensures:  one entry a person in order of first appearance; the same photos and options
    //           give the same samples. Shows a progress bar.
    // Throws:   std::runtime_error("cannot read image: <path>") for an unreadable photograph.
    std::vector<EvalPerson> capture(const std::vector<FacePhoto>& photos);

    // Time of the detector (per frame) and of the sample cut (per face found).
    const EvalStageTime& detectTime() const { return detect; }
    const EvalStageTime& sampleTime() const { return sample; }

private:
    EvalPhoto capturePhoto(const FacePhoto& photo, std::mt19937& random);
    std::vector<cv::Mat> enrolmentGroup(const EvalPerson& person, const std::vector<FacePhoto>& photos,
                                        std::mt19937& random);
    int enrolmentCount(int photoCount) const;
    cv::Mat cut(const cv::Mat& frame);

    EvalOptions options;
    SampleCutter cutter;
    FaceDetector detector;
    EvalStageTime detect;
    EvalStageTime sample;
};
