#include "LockReplay.h"
#include "report/Metrics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
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

} // namespace

// Rates at a threshold count only scores strictly above it; empty trial lists are rejected.
TEST(EvalMetricsTest, RatesAtAThresholdCountOnlyScoresStrictlyAbove)
{
    EXPECT_THROW(Metrics({}, {0.1}), std::invalid_argument);
    EXPECT_THROW(Metrics({0.1}, {}), std::invalid_argument);
    // 0.99 is exactly the window's decision: a face scoring 0.99 is a stranger.
    const Metrics metrics({0.5, 0.99, 1.2, 2.0}, {0.3, 0.99, 1.0, 0.1, 0.2});
    struct Case { double threshold; double far; double frr; };
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

// Equal error rate and area under the curve (also as the trapezoids under the ROC corners)
// of hand-made lists; NaN: not checked.
TEST(EvalMetricsTest, EqualErrorRateAndAreaOfHandMadeLists)
{
    const double unchecked = std::nan("");
    const struct { const char* what; std::vector<double> genuine, impostor; double eer, auc; } cases[] = {
        {"separated", {0.9, 0.8}, {0.1, 0.2}, 0.0, 1.0},
        // 15 of 16 pairs: 0.6 loses to 0.65.
        {"one stranger above one owner face", kGenuine, kImpostor, 0.25, 15.0 / 16.0},
        // FRR stays at 1/3 while FAR runs from 1/4 to 1/2: the curve crosses FAR = FRR at 1/3.
        {"crossing inside a run", {0.9, 0.6, 0.3}, {0.7, 0.5, 0.2, 0.1}, 1.0 / 3.0, 9.0 / 12.0},
        {"all scores tied", {0.5, 0.5}, {0.5}, 0.5, 0.5},
        {"reversed", {0.1, 0.2}, {0.8, 0.9}, 1.0, 0.0},
        // Pairs won: 0.8 beats both, 0.4 beats 0.2 only: 3 of 4.
        {"three of four pairs", {0.8, 0.4}, {0.6, 0.2}, unchecked, 0.75},
        // 15 wins and one tie (0.6 = 0.6) of 16 pairs.
        {"one tie", kGenuine, {0.6, 0.5, 0.4, 0.3}, unchecked, 15.5 / 16.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Metrics metrics(c.genuine, c.impostor);
        if (!std::isnan(c.eer)) {
            EXPECT_NEAR(metrics.equalErrorRate(), c.eer, 1e-12);
        }
        EXPECT_NEAR(metrics.areaUnderCurve(), c.auc, 1e-12);
        EXPECT_NEAR(trapezoidArea(metrics.roc()), c.auc, 1e-12);
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

// The replay of a score sequence (nullopt: a tick without a face) through the lock. Its
// arithmetic is the lock's own (ConfidenceTest); here, what the replay counts.
TEST(EvalLockReplayTest, TheReplayCountsTicksFacesAndOwnerScores)
{
    const std::optional<float> none;
    const struct
    {
        const char* name;
        std::vector<std::optional<float>> scores;
        int openingTick, openingFaceTick, ticks, faceTicks, ownerTicks;
    } cases[] = {
        // 0.59999996, decayed to 0.47999997, then 0.98399994: still closed; the next face opens it.
        {"a gap before opening", {3.0f, none, 3.0f, 3.0f}, 4, 3, 4, 3, 3},
        {"a stranger after opening", {3.0f, 3.0f, 0.1f, 0.1f, none}, 2, 2, 5, 4, 2},
        {"at the threshold", std::vector<std::optional<float>>(30, 0.99f), -1, -1, 30, 30, 0},
        {"no faces", std::vector<std::optional<float>>(5), -1, -1, 5, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LockOutcome outcome = LockReplay::replay(c.scores);
        EXPECT_EQ(outcome.opened, c.openingTick > 0);
        EXPECT_EQ(outcome.openingTick, c.openingTick);
        EXPECT_EQ(outcome.openingFaceTick, c.openingFaceTick);
        EXPECT_EQ(outcome.ticks, c.ticks);
        EXPECT_EQ(outcome.faceTicks, c.faceTicks);
        EXPECT_EQ(outcome.ownerTicks, c.ownerTicks);
    }
    EXPECT_EQ(LockReplay::replay(std::vector<std::optional<float>>(5)).peakConfidence, 0.0f);
}
