#pragma once

#include "VerificationBench.h"

#include <opencv2/core.hpp>

#include <vector>

// Replays what the window does with a model, without the window: enrols the first 100 face
// samples of a video as one group (about half mirrored at random), then verifies every tick of
// other videos: score 90 / (d + 30), "owner" when above 0.99, the smoothed confidence
// (weight 0.2 for the new score, decay 0.8 on ticks without a face) and the lock, which opens
// once the confidence exceeds 0.99.
class WindowSimulation
{
public:
    static constexpr int kGroupSize = 100;

    struct VideoResult
    {
        int faceTicks = 0;
        int ownerTicks = 0;     // face ticks scored above 0.99
        int lockFaceTick = -1;  // face tick (1-based) at which the lock opened; -1 never
        float medianDistance = 0.0f;
        float minDistance = 0.0f;
        float maxConfidence = 0.0f;
    };

    // Requires: enrolment holds at least 100 samples (35 x 45 grey); the first 100 are used.
    // Throws: std::invalid_argument with fewer samples.
    WindowSimulation(const VerificationBench::FeatureMap& map, const std::vector<cv::Mat>& enrolment,
                     unsigned seed = 1);

    // One entry a tick: the tick's sample, or an empty Mat for a tick without a face.
    VideoResult verify(const std::vector<cv::Mat>& ticks) const;
    // The verification distance of each sample (no smoothing).
    std::vector<float> distances(const std::vector<cv::Mat>& samples) const;

    static float score(float distance);

private:
    VerificationBench::FeatureMap map;
    RowMatrix templ;
    Eigen::RowVectorXf quality;
};
