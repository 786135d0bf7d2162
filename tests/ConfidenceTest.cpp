#include "Confidence.h"

#include <gtest/gtest.h>

#include <vector>

// The lock's arithmetic, the one place it is tested; EvalMetricsTest checks only what the
// replay of a sequence adds (tick counts).
namespace {
// Runs a sequence of verified scores from zero confidence, as one verification run does.
struct VerificationRun
{
    float confidence = 0;
    int openedOnTick = 0; // 0: the lock stayed closed
    std::vector<float> trace;

    explicit VerificationRun(const std::vector<float>& scores)
    {
        for (float score : scores) {
            confidence = nextConfidence(confidence, score);
            trace.push_back(confidence);
            if (opensLock(confidence) && openedOnTick == 0)
                openedOnTick = int(trace.size());
        }
    }
};
} // namespace

TEST(ConfidenceTest, ScoresOfOneOpenTheLockOnTheTwentyFirstTick)
{
    const VerificationRun run(std::vector<float>(21, 1.0f));
    EXPECT_EQ(run.trace[0], 0.19999999f);
    EXPECT_EQ(run.trace[1], 0.35999998f);
    EXPECT_EQ(run.trace[2], 0.48799998f);
    EXPECT_FALSE(opensLock(run.trace[19]));
    EXPECT_EQ(run.confidence, 0.9907766f);
    EXPECT_EQ(run.openedOnTick, 21);
}

TEST(ConfidenceTest, ScoreOfThreeShowsFiftyNineThenOpens)
{
    const VerificationRun run({3.0f, 3.0f});
    EXPECT_EQ(run.trace[0], 0.59999996f);
    EXPECT_EQ(confidencePercent(run.trace[0]), 59);
    EXPECT_EQ(run.trace[1], 1.0799999f);
    EXPECT_EQ(confidencePercent(run.trace[1]), 100);
    EXPECT_EQ(run.openedOnTick, 2);
}

TEST(ConfidenceTest, ExactlyTheThresholdIsAStranger)
{
    EXPECT_FALSE(isOwnerScore(0.99f));
    EXPECT_TRUE(isOwnerScore(0.9900001f));
    EXPECT_FALSE(opensLock(0.99f));
}

TEST(ConfidenceTest, StrangersAfterOpeningDoNotCloseAndLostFacesDecay)
{
    std::vector<float> scores = {3.0f, 3.0f};
    scores.insert(scores.end(), 10, 0.1f);
    EXPECT_EQ(VerificationRun(scores).openedOnTick, 2); // the lock only opens; nothing here closes it
    EXPECT_EQ(decayedConfidence(0.5f), 0.4f);
    EXPECT_EQ(confidencePercent(decayedConfidence(0.5f)), 40);
    EXPECT_EQ(confidencePercent(-0.5f), 0);
}
