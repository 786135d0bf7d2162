#pragma once

#include "FaceChip.h"
#include "ResnetMatcher.h"
#include "scorers/Scorer.h"
#include "StageTime.h"

#include <opencv2/core.hpp>

#include <string>

namespace eval {

// Time of the face-resnet's stages: the chip cut (per face), the single embedding (one pass,
// per verified face) and the mirror-averaged one (two passes, per enrolled face); and how many
// chips an eye pair aligned (the others by the face box).
struct EmbeddingStats
{
    StageTime chip;
    StageTime single;
    StageTime mirrored;
    long alignedByEyes = 0;

    // Ensures: the other's figures added to these.
    void add(const EmbeddingStats& other);
};

// The face-resnet's part of the window's live path, for one thread: FaceChip cuts the chip of
// the detected face from the camera frame, ResnetMatcher::embed embeds it, each step timed.
class EmbeddingStage
{
public:
    // Reads the network and its calibration from the working directory's face-resnet folder,
    // and the eye cascade the window's chips are aligned by (SampleCutter::defaultChipEyeCascade).
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

    const EmbeddingStats& stats() const { return stageStats; }

private:
    FaceChip chips;
    ResnetMatcher matcher;
    EmbeddingStats stageStats;
};

} // namespace eval
