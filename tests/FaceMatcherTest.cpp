#include "ErrorMessage.h"
#include "Errors.h"
#include "FaceGeometry.h"
#include "FaceMatcher.h"
#include "VerificationRule.h"
#include "ModelFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = kSampleWidth;
constexpr int kHeight = kSampleHeight;
constexpr int kValues = kWidth * kHeight;
constexpr int kFeatures = 200;

// A grey sample of random levels 1 ... 255 over a smooth face-like gradient.
cv::Mat sample(unsigned seed, int width = kWidth, int height = kHeight)
{
    cv::Mat noise(height, width, CV_8UC1);
    cv::RNG rng(seed);
    rng.fill(noise, cv::RNG::UNIFORM, 1, 80);
    cv::Mat image(height, width, CV_8UC1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.at<uchar>(y, x) = cv::saturate_cast<uchar>(90 + 2 * x + y + noise.at<uchar>(y, x));
    return image;
}

std::vector<cv::Mat> group(int count, unsigned firstSeed)
{
    std::vector<cv::Mat> images;
    for (int i = 0; i < count; ++i)
        images.push_back(sample(firstSeed + unsigned(i)));
    return images;
}

std::vector<float> mirrored(std::vector<float> v)
{
    for (int y = 0; y < kHeight; ++y)
        std::reverse(v.begin() + y * kWidth, v.begin() + (y + 1) * kWidth);
    return v;
}

class FaceMatcherTest : public ::testing::Test
{
protected:
    // The features the model gives the vectors, one row each.
    static std::vector<std::vector<float>> featuresOf(const FaceMatcher& matcher,
                                                      const std::vector<std::vector<float>>& vectors)
    {
        GaussianRbm model = matcher.model();
        model.setBatch(vectors);
        model.computeHidden();
        std::vector<std::vector<float>> rows;
        for (int k = 0; k < model.batchSize(); ++k)
            rows.push_back(model.hiddenRow(k));
        return rows;
    }

    // The weighted distance of features f to the nearest template vector, computed here.
    static float nearestDistance(const FaceMatcher& matcher, const std::vector<float>& f)
    {
        float nearest = std::numeric_limits<float>::max();
        for (const auto& t : matcher.templateFeatures()) {
            double sum = 0.0;
            for (int j = 0; j < kFeatures; ++j) {
                const float d = t[j] - f[j];
                sum += double(matcher.qualities()[j]) * double(d * d);
            }
            nearest = std::min(nearest, float(std::sqrt(sum)));
        }
        return nearest;
    }

    QTemporaryDir dir;
    ScopedWorkingDirectory workingDirectory{prepareMatcherRunDir(dir.path(), 17)};
    CapturedLog log; // the matcher's diagnostics, read by the calibration case
    FaceMatcher matcher{kWidth, kHeight};
};

// Images of another size are rejected untouched. A matcher of another size needs a model of
// that size and has no foreign base. (The damaged model files are one table in BadInputTest.)
TEST_F(FaceMatcherTest, OtherSizesAreRejected)
{
    const std::vector<cv::Size> sizes = {{kWidth + 1, kHeight}, {kWidth, kHeight - 1}, {kHeight, kWidth}};
    for (const cv::Size& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        cv::Mat image = sample(1, size.width, size.height);
        const cv::Mat original = image.clone();
        EXPECT_EQ(messageOf<std::logic_error>([&] { matcher.imageToVector(image); }), "incorrect image size");
        EXPECT_EQ(messageOf<std::logic_error>([&] { matcher.verify(image); }), "incorrect image size");
        EXPECT_EQ(cv::countNonZero(image != original), 0);
    }
    EXPECT_EQ(messageOf<e_logic_argument>([&] { FaceMatcher(40, 40); }), "incorrect RBM configuration");
    writeModelFile(matcherModelPath(dir.path()), randomModel(40 * 40, kFeatures, 3));
    EXPECT_EQ(messageOf<std::logic_error>([&] { FaceMatcher(40, 40); }), "loading foreign faces: unsupported size");
}

// Only channel 0 of a colour sample counts, whichever channel count came before.
TEST_F(FaceMatcherTest, OnlyChannelZeroOfAColourSampleCounts)
{
    const cv::Mat grey = sample(3);
    cv::Mat colour;
    cv::merge(std::vector<cv::Mat>{grey.clone(), sample(4), sample(5)}, colour);
    const std::vector<float> fromColour = matcher.imageToVector(colour.clone());
    EXPECT_EQ(matcher.imageToVector(grey.clone()), fromColour);
    EXPECT_EQ(matcher.imageToVector(colour), fromColour);
}

TEST_F(FaceMatcherTest, GroupsAreKeptInOrderAndShareTheirPixels)
{
    const std::vector<std::vector<cv::Mat>> added = {group(3, 10), group(5, 20), group(2, 30)};
    for (const auto& g : added)
        matcher.addGroup(g);
    const std::vector<std::vector<cv::Mat>> copy = matcher.groups();
    ASSERT_EQ(copy.size(), 3u);
    for (std::size_t g = 0; g < added.size(); ++g) {
        ASSERT_EQ(copy[g].size(), added[g].size());
        for (std::size_t i = 0; i < added[g].size(); ++i)
            EXPECT_EQ(copy[g][i].data, added[g][i].data) << g << "/" << i;
    }
    EXPECT_EQ(matcher.groupCount(), 3);

    matcher.removeGroup(0);
    const auto left = matcher.groups();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0][0].data, added[1][0].data);
    EXPECT_EQ(left[1][0].data, added[2][0].data);
    for (int index : {-1, 2, 100}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(messageOf<e_logic_range>([&] { matcher.removeGroup(index); }), "Out of range");
    }
    EXPECT_EQ(matcher.groupCount(), 2);

    // Training masks the samples the caller holds: the icons show the face ellipse.
    matcher.train();
    const cv::Mat icon = matcher.groups().front().front();
    EXPECT_EQ(icon.at<uchar>(0, 0), 0);
    EXPECT_EQ(icon.at<uchar>(kHeight - 1, kWidth - 1), 0);
    EXPECT_NE(icon.at<uchar>(18, 17), 0);
}

// Without a template a face scores almost nothing, an empty image zero. Training without
// groups, or with a sample of the wrong size, keeps the template it had.
TEST_F(FaceMatcherTest, TrainingThatCannotProceedKeepsTheTemplate)
{
    EXPECT_EQ(matcher.foreignCount(), 0u);
    const float score = matcher.verify(sample(5));
    EXPECT_GT(score, 0.0f);
    EXPECT_LT(score, 1e-36f);
    EXPECT_EQ(matcher.verify(cv::Mat()), 0.0f);
    matcher.train();
    EXPECT_TRUE(matcher.templateFeatures().empty());
    EXPECT_EQ(matcher.qualities(), std::vector<float>(kFeatures, 0.0f));

    matcher.addGroup(group(10, 40));
    matcher.train();
    const auto features = matcher.templateFeatures();
    const auto weights = matcher.qualities();
    matcher.addGroup({sample(600), sample(601, 36, 45)});
    EXPECT_EQ(messageOf<std::logic_error>([&] { matcher.train(); }), "training error: incorrect image size");
    EXPECT_EQ(matcher.templateFeatures(), features);
    matcher.removeGroup(1);
    matcher.removeGroup(0);
    matcher.train();
    EXPECT_EQ(matcher.templateFeatures(), features);
    EXPECT_EQ(matcher.qualities(), weights);
}

// Training mirrors the vectors of even draws; a sample trained unmirrored scores 3.
TEST_F(FaceMatcherTest, TrainingMirrorsTheVectorsOfEvenDraws)
{
    const std::vector<cv::Mat> images = group(100, 200);
    matcher.addGroup(images);
    matcher.seedRandom(12345);
    matcher.train();

    RandomSource replay;
    replay.seed(12345);
    std::vector<std::vector<float>> expected;
    int mirroredCount = 0;
    for (const cv::Mat& image : images) {
        const std::vector<float> v = matcher.imageToVector(image);
        const bool mirror = replay.next() % 2 != 1;
        mirroredCount += mirror;
        expected.push_back(mirror ? mirrored(v) : v);
        if (!mirror) {
            EXPECT_EQ(matcher.verify(image), 3.0f);
        }
    }
    EXPECT_GT(mirroredCount, 30);
    EXPECT_LT(mirroredCount, 70);
    EXPECT_EQ(matcher.templateFeatures(), featuresOf(matcher, expected));
    ASSERT_EQ(matcher.qualities().size(), std::size_t(kFeatures));
    for (float q : matcher.qualities())
        EXPECT_TRUE(std::isfinite(q) && q >= 0.0f) << q;
}

// A face scores 90 / (s d + 30) for its weighted distance d to the nearest template vector.
// With foreign faces and a valid calibration file s = target / median distance of the foreign
// faces to the template; any damaged calibration file leaves s = 1 and says so in the log.
TEST_F(FaceMatcherTest, CohortScalesTheDistanceOnlyWithAValidCalibration)
{
    writeSyntheticForeignBase(dir.path(), 40, 5);
    const QString calibrationPath = matcherModelPath(dir.path()) + ".calibration";
    const struct
    {
        const char* content; // nullptr: no file
        float target;        // 0: counts as absent
    } cases[] = {
        {"# made by a test\nformat = 1\ncohort_target = 7.5\n", 7.5f},
        {nullptr, 0.0f},
        {"", 0.0f},
        {"format = 2\ncohort_target = 7.5\n", 0.0f},
        {"format = 1\n", 0.0f},
        {"format = 1\ncohort_target = nan\n", 0.0f},
        {"format = 1\ncohort_target = inf\n", 0.0f},
        {"format = 1\ncohort_target = -3\n", 0.0f},
        {"format = 1\ncohort_target = 7.5x\n", 0.0f},
        {"format = 1\ncohort_target = 7.5\nlight_normalisation = none\n", 7.5f},
        {"format = 1\ncohort_target = 7.5\nlight_normalisation = sepia\n", 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content ? c.content : "(no file)");
        QFile::remove(calibrationPath);
        if (c.content) {
            ASSERT_TRUE(writeBytes(calibrationPath, c.content));
        }
        log.clear();
        FaceMatcher calibrated(kWidth, kHeight);
        calibrated.addGroup(group(30, 400));
        calibrated.train();
        ASSERT_GT(calibrated.foreignCount(), 2u);
        std::vector<float> cohort;
        for (const auto& f : featuresOf(calibrated, calibrated.foreignVectors()))
            cohort.push_back(nearestDistance(calibrated, f));
        std::nth_element(cohort.begin(), cohort.begin() + long((cohort.size() - 1) / 2), cohort.end());
        const float expectedScale = c.target > 0.0f ? c.target / cohort[(cohort.size() - 1) / 2] : 1.0f;
        EXPECT_FLOAT_EQ(calibrated.cohortScale(), expectedScale);
        EXPECT_EQ(log.lines().filter("model calibration").filter("ignored:").size(), c.target > 0.0f ? 0 : 1);

        for (unsigned seed : {900u, 905u}) {
            cv::Mat stranger = sample(seed);
            const float score = calibrated.verify(stranger);
            const float d = nearestDistance(calibrated, featuresOf(calibrated, {calibrated.imageToVector(stranger)})[0]);
            EXPECT_GT(d, 0.0f);
            EXPECT_FLOAT_EQ(score, 90.0f / (expectedScale * d + 30.0f));
            EXPECT_TRUE(score > 0.0f && score < 3.0f) << score;
        }
    }
}

// A calibration naming Tan-Triggs normalises every face; the sample is still masked in place
// and gives the same vector again masked (retraining reads the stored, masked samples).
TEST_F(FaceMatcherTest, CalibrationCanNameALightNormalisation)
{
    ASSERT_TRUE(writeBytes(matcherModelPath(dir.path()) + ".calibration",
                           "format = 1\ncohort_target = 7.5\nlight_normalisation = tan-triggs\n"));
    FaceMatcher normalising(kWidth, kHeight);
    const cv::Mat face = sample(7);
    cv::Mat stored = face.clone();
    const std::vector<float> first = normalising.imageToVector(stored);
    EXPECT_EQ(stored.at<uchar>(0, 0), 0);
    EXPECT_EQ(normalising.imageToVector(stored), first);
    EXPECT_NE(first, matcher.imageToVector(face.clone()));
}

// One sample: every owner feature has no spread. Its weight stays finite, so the template
// still tells its own face (score 3) from others. (The face is left-right symmetric, so the
// random mirroring plays no part.)
TEST_F(FaceMatcherTest, SingleSampleTemplateHasFiniteWeights)
{
    cv::Mat own = sample(800), flipped;
    cv::flip(own, flipped, 1);
    cv::addWeighted(own, 0.5, flipped, 0.5, 0.0, own);
    matcher.addGroup({own});
    matcher.train();
    ASSERT_EQ(matcher.templateFeatures().size(), 1u);
    for (float q : matcher.qualities())
        ASSERT_TRUE(std::isfinite(q)) << q;
    EXPECT_EQ(matcher.verify(own), 3.0f);
    const float stranger = matcher.verify(sample(801));
    EXPECT_TRUE(std::isfinite(stranger));
    EXPECT_GT(stranger, 0.0f);
    EXPECT_LT(stranger, 1.0f);
}

// Values equal in exact arithmetic may come out of the feature sums equal or a unit in the last
// place apart, depending on the machine. A feature of such values weighs the same either way
// (at most 1000, however large its mean); one of mean 0 weighs nothing.
TEST(VerificationRuleTest, WeightsOfUnvaryingFeaturesDoNotHangOnRounding)
{
    const std::vector<float> values = {0.0f, 2e-4f, 0.5f, 30.0f, -3000.0f};
    const VerificationRule::FeatureRows same(20, values);
    VerificationRule::FeatureRows nudged = same;
    for (std::size_t k = 1; k < nudged.size(); k += 2)
        for (float& value : nudged[k])
            value = std::nextafter(value, std::numeric_limits<float>::infinity());
    const std::vector<float> exact = VerificationRule::qualityWeights(same, values.size());
    const std::vector<float> rounded = VerificationRule::qualityWeights(nudged, values.size());
    for (std::size_t j = 0; j < values.size(); ++j) {
        SCOPED_TRACE(values[j]);
        EXPECT_TRUE(std::isfinite(exact[j]) && exact[j] <= 1000.0f) << exact[j];
        EXPECT_NEAR(rounded[j], exact[j], 1e-4f * exact[j] + 1e-12f);
    }
    EXPECT_EQ(exact[0], 0.0f);
}

} // namespace
