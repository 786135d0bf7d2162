#pragma once

#include "FaceLight.h"
#include "LivenessModel.h"
#include "RunFolder.h"

#include <QString>
#include <opencv2/core.hpp>

#include <vector>

// Tells a live face from a printed photograph of one, frame by frame, before the face match:
// the colour texture of the face box (LivenessFeatures) through the learnt linear classifier
// (LivenessModel). A face too dark, backlit or overexposed is not judged.
//
// It was trained and measured on printed photographs held to one office webcam; phone and
// tablet screens, video replays and masks are untested.
class LivenessCheck
{
public:
    enum class Verdict { Live, Photo, PoorLight };

    struct Judgement
    {
        Verdict verdict = Verdict::PoorLight;
        float margin = 0;  // the classifier's margin (live at or above the model's threshold)
        FaceLight::Problem light = FaceLight::Problem::None;
    };

    // Throws: e_failure_open naming the file when it cannot be read; e_logic_argument naming the
    //         file when it is damaged or made for other features.
    explicit LivenessCheck(const QString& modelPath = kLivenessModelPath);

    // Requires: frame is CV_8UC3 BGR; face is the detector's box in it.
    Judgement judge(const cv::Mat& frame, const cv::Rect& face) const;

    // The rule judge() applies, on a face's light and (when its light is judged) its features.
    // Throws: std::logic_error from LivenessModel::margin when the features do not fit `model`.
    static Judgement judge(const LivenessModel& model, FaceLight::Problem light, const std::vector<float>& features);

    // "dark", "backlit", "overexposed" (or "fine"), for the log.
    static const char* lightName(FaceLight::Problem problem);

private:
    LivenessModel model;
};
