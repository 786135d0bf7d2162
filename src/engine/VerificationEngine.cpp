#include "VerificationEngine.h"

#include "Confidence.h"
#include "FaceGeometry.h"
#include "FaceMatcher.h"
#include "FaceSample.h"
#include "HeadPose.h"
#include "ResnetMatcher.h"

#include <QDebug>
#include <opencv2/core.hpp>

namespace {
// After this many frames without a face the face counts as gone and its box is dropped.
constexpr int kLostTicksBeforeGone = 9;
} // namespace

VerificationEngine::VerificationEngine(FaceMatcher* matcher, ResnetMatcher* resnet, LivenessCheck* liveness)
    : matcher(matcher), resnet(resnet), liveness(liveness), chipCutter(resnet ? std::make_unique<FaceChip>() : nullptr)
{
}

VerificationEngine::Tick VerificationEngine::process(const cv::Mat& frame, Task task, View view)
{
    Tick tick;
    detector.processFrame(frame);
    if (detector.found())
        faceSeen(frame, task, view, tick);
    else
        faceLost(tick);
    tick.faceRect = heldFace;
    tick.confidence = currentConfidence;
    return tick;
}

void VerificationEngine::faceLost(Tick& tick)
{
    ++lostTicks;
    if (lostTicks > kLostTicksBeforeGone) {
        tick.faceGone = true;
        heldFace = cv::Rect();
    }
    currentConfidence = decayedConfidence(currentConfidence);
}

// The chip is cut from the frame as it came, before anything is drawn into it.
void VerificationEngine::faceSeen(const cv::Mat& frame, Task task, View view, Tick& tick)
{
    tick.faceFound = true;
    lostTicks = 0;
    if (heldFace.area() == 0)
        qDebug() << "face found:" << detector.faceRect().width << "px wide";
    heldFace = detector.faceRect();
    if (task == Task::Watch)
        return;
    if (matcher) {
        tick.sample = cv::Mat(kSampleHeight, kSampleWidth, CV_8UC1);
        makeSample(detector.copyImage(0), tick.sample);
    }
    if (resnet) {
        tick.chip = chipCutter->cut(frame, heldFace);
        tick.embedding = resnet->embed(tick.chip, task == Task::Enrol ? kMirrorAtEnrolment : kMirrorAtVerification);
    }
    if (task == Task::Verify)
        verify(frame, view, tick);
}

// The liveness check in front of the face match: a face too badly lit to judge is not scored
// and counts as no face at all (the confidence decays); one judged a photograph scores 0.
void VerificationEngine::verify(const cv::Mat& frame, View view, Tick& tick)
{
    float margin = 0.0f;
    if (liveness) {
        const LivenessCheck::Judgement judgement = judgeLiveness(frame, view);
        if (judgement.verdict == LivenessCheck::Verdict::PoorLight) {
            qDebug().noquote() << "not scored: lighting" << LivenessCheck::lightName(judgement.light);
            tick.poorLight = true;
            tick.light = judgement.light;
            currentConfidence = decayedConfidence(currentConfidence);
            return;
        }
        tick.photo = judgement.verdict == LivenessCheck::Verdict::Photo;
        margin = judgement.margin;
    }
    const float match = resnet ? resnet->verify(tick.embedding) : matcher->verify(tick.sample);
    tick.scored = true;
    tick.score = tick.photo ? 0.0f : match;
    const QString pose = poseText();
    if (!liveness)
        qDebug().noquote() << tick.score << pose;
    else if (tick.photo)
        qDebug().noquote() << tick.score << "liveness" << margin << pose << "rejected: liveness (face match" << match
                           << ")";
    else
        qDebug().noquote() << tick.score << "liveness" << margin << pose
                           << (isOwnerScore(tick.score) ? "" : "rejected: face match");
    tick.owner = isOwnerScore(tick.score);
    currentConfidence = nextConfidence(currentConfidence, tick.score);
    tick.lockOpens = opensLock(currentConfidence);
}

// The head's turn as the chip's landmarks give it, for the face's log line; empty without them.
QString VerificationEngine::poseText() const
{
    if (!chipCutter || !chipCutter->lastLandmarks())
        return QString();
    const std::optional<HeadPose> pose = headPose(*chipCutter->lastLandmarks());
    if (!pose)
        return QString();
    return QString("yaw %1 pitch %2").arg(double(pose->yaw), 0, 'f', 1).arg(double(pose->pitch), 0, 'f', 1);
}

// The colour-texture patterns are not the same in a mirror image: the check was trained on
// faces as cameras record them, so a mirrored camera frame is turned back first.
LivenessCheck::Judgement VerificationEngine::judgeLiveness(const cv::Mat& frame, View view) const
{
    if (view == View::AsRecorded)
        return liveness->judge(frame, heldFace);
    cv::Mat recorded;
    cv::flip(frame, recorded, 1);
    const cv::Rect face(frame.cols - heldFace.x - heldFace.width, heldFace.y, heldFace.width, heldFace.height);
    return liveness->judge(recorded, face);
}

void VerificationEngine::resetConfidence()
{
    currentConfidence = 0.0f;
}

float VerificationEngine::confidence() const
{
    return currentConfidence;
}
