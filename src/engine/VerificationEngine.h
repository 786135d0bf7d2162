#pragma once

#include "FaceChip.h"
#include "FaceDetector.h"
#include "FaceLight.h"
#include "LivenessCheck.h"

#include <QString>
#include <opencv2/core.hpp>

#include <memory>
#include <vector>

class FaceMatcher;
class ResnetMatcher;

// What happens to one camera frame, wherever it is shown: the face is found (or held through a
// few frames without it), cut as the models want it, and, while verifying, judged by the
// liveness check and scored; the confidence follows and the lock opens above its threshold.
// The window and the headless check both run their frames through one engine, so a face gets
// the same verdict in either.
class VerificationEngine
{
public:
    // Enrolment embeds each chip and its mirror image and averages the two (steadier
    // templates); verification embeds the chip once, to keep the tick short.
    static constexpr bool kMirrorAtEnrolment = true;
    static constexpr bool kMirrorAtVerification = false;

    // What a frame is for: only the face box, an enrolment sample, or a verdict.
    enum class Task { Watch, Enrol, Verify };
    // How the frame shows the scene: as the camera recorded it (a video file), or mirrored
    // like a looking glass (camera frames, as Webcam delivers them).
    enum class View { AsRecorded, Mirrored };

    // One frame's outcome.
    struct Tick
    {
        bool faceFound = false;  // the detector found a face in this frame
        bool faceGone = false;   // no face for so long that the held box was dropped
        cv::Rect faceRect;       // the face box, held through short losses; empty when gone
        // Enrol: the 35 x 45 sample, and under the face-resnet the chip and its embedding.
        cv::Mat sample;
        cv::Mat chip;
        std::vector<float> embedding;
        // Verify, face found: `scored` unless the light was too poor to judge (`poorLight`).
        bool scored = false;
        bool poorLight = false;
        FaceLight::Problem light = FaceLight::Problem::None;
        bool photo = false;      // judged a photograph: scored 0
        float score = 0.0f;
        bool owner = false;      // the score passes the lock's per-face threshold
        bool lockOpens = false;  // scored, and the confidence now opens the lock
        float confidence = 0.0f; // after this frame
    };

    // Requires: matcher is not null unless resnet is (the face-resnet verifies then; without
    //           a matcher no sample is cut). The models outlive the engine; the caller keeps
    //           training them.
    // Ensures:  the detector, and under the face-resnet the chip's landmark network, are loaded
    //           from the run folder.
    // Throws:   the landmark network's errors (FaceLandmarks.h).
    VerificationEngine(FaceMatcher* matcher, ResnetMatcher* resnet, LivenessCheck* liveness);

    VerificationEngine(const VerificationEngine&) = delete;
    VerificationEngine& operator=(const VerificationEngine&) = delete;

    // Requires: frame is a CV_8UC3 BGR camera frame, shown as `view` says.
    // Ensures:  the frame's outcome for `task`; the frame is not changed. The liveness check
    //           judges the face as the camera recorded it, the way it was trained, whichever
    //           way the frame shows it.
    // Throws:   the detector's and the models' errors.
    Tick process(const cv::Mat& frame, Task task, View view);

    // Ensures: the confidence starts again from 0 (a new verification).
    void resetConfidence();
    float confidence() const;

private:
    void faceLost(Tick& tick);
    void faceSeen(const cv::Mat& frame, Task task, View view, Tick& tick);
    void verify(const cv::Mat& frame, View view, Tick& tick);
    LivenessCheck::Judgement judgeLiveness(const cv::Mat& frame, View view) const;
    QString poseText() const;

    FaceMatcher* matcher;
    ResnetMatcher* resnet;
    LivenessCheck* liveness;
    FaceDetector detector;
    std::unique_ptr<FaceChip> chipCutter;  // only under the face-resnet
    int lostTicks = 0;
    cv::Rect heldFace;
    float currentConfidence = 0.0f;
};
