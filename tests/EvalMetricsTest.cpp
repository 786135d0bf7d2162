#include "LockReplay.h"
#include "report/Metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <stdexcept>
#include <vector>

using namespace eval;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Four owner faces and four strangers; one stranger outscores the weakest owner face.
const std::vector<double> kGenuine = {0.9, 0.8, 0.7, 0.6};
const std::vector<double> kImpostor = {0.65, 0.5, 0.4, 0.3};

// Area under the ROC points, with FAR on a linear axis (trapezoids between corners).
double trapezoidArea(const std::vector<RocPoint>& points)
{
    double area = 0.0;
    for (std::size_t k = 1; k < points.size(); ++k)
        area += (points[k].far - points[k - 1].far) * (points[k].tar + points[k - 1].tar) / 2.0;
    return area;
}

std::vector<double> drawn(std::mt19937& random, int count, double mean)
{
    std::normal_distribution<double> normal(mean, 1.0);
    std::vector<double> values;
    for (int k = 0; k < count; ++k)
        values.push_back(normal(random));
    return values;
}

} // namespace

TEST(EvalMetricsTest, RatesAtAThresholdCountOnlyScoresStrictlyAbove)
{
    // 0.99 is exactly the window's decision: a face scoring 0.99 is a stranger.
    const Metrics metrics({0.5, 0.99, 1.2, 2.0}, {0.3, 0.99, 1.0, 0.1, 0.2});
    struct Case
    {
        double threshold;
        double far;
        double frr;
    };
    const Case cases[] = {{0.99, 0.2, 0.5}, {0.4, 0.4, 0.0}, {2.0, 0.0, 1.0}, {-kInf, 1.0, 0.0}, {0.98, 0.4, 0.25}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.threshold);
        EXPECT_DOUBLE_EQ(metrics.falseAcceptRate(c.threshold), c.far);
        EXPECT_DOUBLE_EQ(metrics.falseRejectRate(c.threshold), c.frr);
    }
}

TEST(EvalMetricsTest, RocKeepsOnlyTheCornersOfTheStaircase)
{
    const Metrics metrics(kGenuine, kImpostor);
    const std::vector<RocPoint> expected = {
        {0.9, 0.0, 0.0}, {0.65, 0.0, 0.75}, {0.6, 0.25, 0.75}, {0.5, 0.25, 1.0}, {-kInf, 1.0, 1.0}};
    const std::vector<RocPoint> points = metrics.roc();
    ASSERT_EQ(points.size(), expected.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(points[k].threshold, expected[k].threshold);
        EXPECT_DOUBLE_EQ(points[k].far, expected[k].far);
        EXPECT_DOUBLE_EQ(points[k].tar, expected[k].tar);
    }
}

TEST(EvalMetricsTest, EqualErrorRateOfHandMadeLists)
{
    struct Case
    {
        const char* what;
        std::vector<double> genuine;
        std::vector<double> impostor;
        double eer;
    };
    const Case cases[] = {
        {"separated", {0.9, 0.8}, {0.1, 0.2}, 0.0},
        {"one stranger above one owner face", kGenuine, kImpostor, 0.25},
        // FRR stays at 1/3 while FAR runs from 1/4 to 1/2: the curve crosses FAR = FRR at 1/3.
        {"crossing inside a run", {0.9, 0.6, 0.3}, {0.7, 0.5, 0.2, 0.1}, 1.0 / 3.0},
        {"all scores tied", {0.5, 0.5}, {0.5}, 0.5},
        {"reversed", {0.1, 0.2}, {0.8, 0.9}, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_NEAR(Metrics(c.genuine, c.impostor).equalErrorRate(), c.eer, 1e-12);
    }
}

TEST(EvalMetricsTest, TarAtFarTakesTheBestThresholdWithinTheFalseAcceptBudget)
{
    std::vector<double> impostor;
    for (int k = 0; k < 100; ++k)
        impostor.push_back(k / 100.0);
    // Accepting the strongest stranger (0.99) is exactly 1 % FAR and lets the second owner in.
    const Metrics metrics({0.995, 0.985, 0.5}, impostor);
    EXPECT_NEAR(metrics.tarAtFar(0.01), 2.0 / 3.0, 1e-12);
    EXPECT_NEAR(metrics.tarAtFar(0.005), 1.0 / 3.0, 1e-12);
    EXPECT_NEAR(metrics.tarAtFar(0.0), 1.0 / 3.0, 1e-12);
    EXPECT_NEAR(metrics.tarAtFar(1.0), 1.0, 1e-12);
}

TEST(EvalMetricsTest, AreaUnderCurveOfHandMadeRankings)
{
    struct Case
    {
        const char* what;
        std::vector<double> genuine;
        std::vector<double> impostor;
        double auc;
    };
    const Case cases[] = {
        {"perfect", {0.9, 0.8, 0.7}, {0.1, 0.2}, 1.0},
        {"reversed", {0.1, 0.2}, {0.8, 0.9, 0.7}, 0.0},
        {"all tied", {0.5, 0.5}, {0.5, 0.5, 0.5}, 0.5},
        // Pairs won: 0.8 beats both, 0.4 beats 0.2 only: 3 of 4.
        {"three of four pairs", {0.8, 0.4}, {0.6, 0.2}, 0.75},
        // 15 wins and one tie (0.6 = 0.6) of 16 pairs.
        {"one tie", kGenuine, {0.6, 0.5, 0.4, 0.3}, 15.5 / 16.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Metrics metrics(c.genuine, c.impostor);
        EXPECT_NEAR(metrics.areaUnderCurve(), c.auc, 1e-12);
        EXPECT_NEAR(trapezoidArea(metrics.roc()), c.auc, 1e-12);
    }
}

TEST(EvalMetricsTest, RandomRankingIsAtChanceAndAgreesWithTheCurve)
{
    std::mt19937 random(11);
    const Metrics chance(drawn(random, 3000, 0.0), drawn(random, 3000, 0.0));
    EXPECT_NEAR(chance.areaUnderCurve(), 0.5, 0.03);
    EXPECT_NEAR(chance.equalErrorRate(), 0.5, 0.03);
    EXPECT_NEAR(trapezoidArea(chance.roc()), chance.areaUnderCurve(), 1e-9);

    // Two unit normals one unit apart: AUC = Phi(1 / sqrt 2) = 0.760, EER = Phi(-0.5) = 0.309.
    const Metrics apart(drawn(random, 3000, 1.0), drawn(random, 3000, 0.0));
    EXPECT_NEAR(apart.areaUnderCurve(), 0.760, 0.02);
    EXPECT_NEAR(apart.equalErrorRate(), 0.309, 0.02);
    EXPECT_NEAR(trapezoidArea(apart.roc()), apart.areaUnderCurve(), 1e-9);
}

TEST(EvalMetricsTest, EmptyTrialListsAreRejected)
{
    EXPECT_THROW(Metrics({}, {0.1}), std::invalid_argument);
    EXPECT_THROW(Metrics({0.1}, {}), std::invalid_argument);
}

class EvalLockReplayTest : public ::testing::Test
{
protected:
    static std::vector<std::optional<float>> repeated(float score, int count)
    {
        return std::vector<std::optional<float>>(static_cast<std::size_t>(count), score);
    }
};

TEST_F(EvalLockReplayTest, ScoresOfOneOpenOnTheTwentyFirstFace)
{
    const LockOutcome outcome = LockReplay::replay(repeated(1.0f, 30));
    EXPECT_TRUE(outcome.opened);
    EXPECT_EQ(outcome.openingTick, 21);
    EXPECT_EQ(outcome.openingFaceTick, 21);
    EXPECT_EQ(outcome.ownerTicks, 30);
    EXPECT_EQ(outcome.faceTicks, 30);
}

TEST_F(EvalLockReplayTest, ScoresAtTheThresholdNeverOpenNorCountAsOwner)
{
    const LockOutcome outcome = LockReplay::replay(repeated(0.99f, 300));
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.openingTick, -1);
    EXPECT_EQ(outcome.ownerTicks, 0);
    EXPECT_LT(outcome.peakConfidence, 0.99f);
}

TEST_F(EvalLockReplayTest, TicksWithoutAFaceDecayAndAreCountedAsFrames)
{
    // 0.59999996, decayed to 0.47999997, then 0.98399994: still closed; the next face opens it.
    const LockOutcome outcome = LockReplay::replay({3.0f, std::nullopt, 3.0f, 3.0f});
    EXPECT_TRUE(outcome.opened);
    EXPECT_EQ(outcome.openingTick, 4);
    EXPECT_EQ(outcome.openingFaceTick, 3);
    EXPECT_EQ(outcome.ticks, 4);
    EXPECT_EQ(outcome.faceTicks, 3);

    const LockOutcome withoutGap = LockReplay::replay({3.0f, 3.0f});
    EXPECT_EQ(withoutGap.openingTick, 2);
}

TEST_F(EvalLockReplayTest, AStrangerAfterOpeningDoesNotCloseIt)
{
    const LockOutcome outcome = LockReplay::replay({3.0f, 3.0f, 0.1f, 0.1f, std::nullopt});
    EXPECT_TRUE(outcome.opened);
    EXPECT_EQ(outcome.openingTick, 2);
    EXPECT_EQ(outcome.ownerTicks, 2);
}

TEST_F(EvalLockReplayTest, ASequenceWithoutFacesStaysClosed)
{
    const LockOutcome outcome = LockReplay::replay(std::vector<std::optional<float>>(5));
    EXPECT_FALSE(outcome.opened);
    EXPECT_EQ(outcome.ticks, 5);
    EXPECT_EQ(outcome.faceTicks, 0);
    EXPECT_EQ(outcome.peakConfidence, 0.0f);
}
