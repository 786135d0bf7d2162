#pragma once

#include "RuleTemplate.h"
#include "VerificationBench.h"

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

// Replays what the window does with a model, without the window: enrols the first 100 face
// samples of a video as one group (about half mirrored at random), then verifies every tick of
// other videos under the matcher's rule (scaled against the cohort of foreign faces), with the
// window's own confidence and lock arithmetic.
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
    // cohortVectors: face vectors of the foreign faces (no rows: no cohort); cohortTarget: the
    // model's calibration constant.
    WindowSimulation(const VerificationBench::FeatureMap& map, const std::vector<cv::Mat>& enrolment,
                     const RowMatrix& cohortVectors, std::optional<float> cohortTarget, unsigned seed = 1);

    // One entry a tick: the tick's sample, or an empty Mat for a tick without a face.
    VideoResult verify(const std::vector<cv::Mat>& ticks) const;
    // The verification distance d of each sample (no smoothing).
    std::vector<float> distances(const std::vector<cv::Mat>& samples) const;
    // The score of a face at distance d: 90 / (s d + 30).
    float score(float distance) const;

private:
    VerificationBench::FeatureMap map;
    std::optional<RuleTemplate> rule;
};
