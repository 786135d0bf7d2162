#pragma once

#include "FaceChip.h"
#include "HeadPose.h"
#include "ResnetMatcher.h"
#include "scorers/Scorer.h"
#include "StageTime.h"

#include <opencv2/core.hpp>

#include <memory>
#include <optional>
#include <string>

namespace eval {

// Time of the face-resnet's stages: the chip cut (per face), the single embedding (one pass,
// per verified face) and the mirror-averaged one (two passes, per enrolled face); and how many
// chips the face itself aligned (landmarks or an eye pair; the others by the face box).
struct EmbeddingStats
{
    StageTime chip;
    StageTime single;
    StageTime mirrored;
    long aligned = 0;

    // Ensures: the other's figures added to these.
    void add(const EmbeddingStats& other);
};

// The face-resnet's part of the window's live path, for one thread: FaceChip cuts the chip of
// the detected face from the camera frame, ResnetMatcher::embed embeds it, each step timed.
class EmbeddingStage
{
public:
    // How every stage of this run aligns its chips: by the face landmarks as the window does,
    // by the earlier Haar eye search, for comparison, or landmarks with the session axis's
    // enrolment groups cut by the eye search (a profile saved before the landmarks). Set once,
    // before any stage is made.
    enum class Chips { Landmarks, EyeSearch, EyeSearchEnrolled };
    static void useChips(Chips chips);

    // Reads the networks and the calibration from the working directory's folders (and, for the
    // eye search, the cascade of SampleCutter::defaultChipEyeCascade).
    // Throws: what FaceChip's and ResnetMatcher's construction throw.
    EmbeddingStage();
    EmbeddingStage(const EmbeddingStage&) = delete;
    EmbeddingStage& operator=(const EmbeddingStage&) = delete;

    // Requires: frame is the 320 x 240 BGR frame in which the detector found `face`.
    // Ensures:  the embedding of the face's chip; withMirror: averaged with its mirror image's
    //           (as the window enrols), otherwise one pass (as it verifies).
    Embedding embedFace(const cv::Mat& frame, const cv::Rect& face, bool withMirror);
    // Requires: a 150 x 150 BGR chip. Ensures: as embedFace.
    Embedding embedChip(const cv::Mat& chip, bool withMirror);
    // Requires: as embedFace. Ensures: the face's 150 x 150 BGR chip.
    cv::Mat cutChip(const cv::Mat& frame, const cv::Rect& face);
    // The same for an enrolment group's chip: cut by the eye search under EyeSearchEnrolled.
    cv::Mat cutGroupChip(const cv::Mat& frame, const cv::Rect& face);
    // Whether group chips are cut otherwise than verified ones.
    bool groupChipsDiffer() const;
    // The head pose of the last cutChip()'s face, when its landmarks aligned it.
    std::optional<HeadPose> lastPose() const;

    const EmbeddingStats& stats() const { return stageStats; }

private:
    FaceChip chips;
    std::unique_ptr<FaceChip> groupChips;  // only under EyeSearchEnrolled
    ResnetMatcher matcher;
    EmbeddingStats stageStats;
};

} // namespace eval
