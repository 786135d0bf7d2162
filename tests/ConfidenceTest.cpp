#include "Confidence.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
// Runs a sequence of verified scores from zero confidence, as one verification run does.
struct VerificationRun
{
    float confidence = 0;
    int recognised = 0;
    int verified = 0;
    int openedOnTick = 0;  // 0: the lock stayed closed

    void verify(float score)
    {
        ++verified;
        confidence = nextConfidence(confidence, score);
        if (opensLock(confidence) && openedOnTick == 0)
            openedOnTick = verified;
        if (isOwnerScore(score))
            ++recognised;
    }
};
}  // namespace

TEST(ConfidenceTest, ScoresOfOneOpenTheLockOnTheTwentyFirstTick)
{
    VerificationRun run;
    const std::vector<float> expectedStart = {0.19999999f, 0.35999998f, 0.48799998f};
    for (int tick = 1; tick <= 21; ++tick) {
        run.verify(1.0f);
        if (tick <= 3)
            EXPECT_EQ(run.confidence, expectedStart[tick - 1]) << "tick " << tick;
    }
    EXPECT_EQ(run.confidence, 0.9907766f);
    EXPECT_EQ(run.openedOnTick, 21);
}

TEST(ConfidenceTest, ScoreOfThreeShowsFiftyNineThenOpens)
{
    VerificationRun run;
    run.verify(3.0f);
    EXPECT_EQ(run.confidence, 0.59999996f);
    EXPECT_EQ(confidencePercent(run.confidence), 59);
    EXPECT_EQ(run.openedOnTick, 0);
    run.verify(3.0f);
    EXPECT_EQ(run.confidence, 1.0799999f);
    EXPECT_EQ(confidencePercent(run.confidence), 100);
    EXPECT_EQ(run.openedOnTick, 2);
}

TEST(ConfidenceTest, ExactlyTheThresholdIsAStranger)
{
    EXPECT_FALSE(isOwnerScore(0.99f));
    EXPECT_TRUE(isOwnerScore(0.9900001f));
    EXPECT_FALSE(opensLock(0.99f));
}

TEST(ConfidenceTest, FiveTickExampleEndsAsStrangerThreeOfFive)
{
    VerificationRun run;
    for (float score : {1.0f, 0.5f, 1.0f, 1.0f, 0.3f})
        run.verify(score);
    EXPECT_FALSE(isOwnerScore(0.3f));
    EXPECT_EQ(run.recognised, 3);
    EXPECT_EQ(run.verified, 5);
}

TEST(ConfidenceTest, StrangersAfterOpeningDoNotCloseAndLostFacesDecay)
{
    VerificationRun run;
    run.verify(3.0f);
    run.verify(3.0f);
    ASSERT_EQ(run.openedOnTick, 2);
    for (int i = 0; i < 10; ++i)
        run.verify(0.1f);
    EXPECT_EQ(run.openedOnTick, 2);  // the lock only opens; nothing here closes it

    EXPECT_EQ(decayedConfidence(0.5f), 0.4f);
    EXPECT_EQ(confidencePercent(decayedConfidence(0.5f)), 40);
    EXPECT_EQ(confidencePercent(-0.5f), 0);
}
