#include "Errors.h"
#include "FaceMatcher.h"
#include "ModelFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 35;
constexpr int kHeight = 45;
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

// A seed whose first draw leaves a vector unmirrored (odd).
unsigned seedWithOddFirstDraw()
{
    for (unsigned seed = 1;; ++seed) {
        RandomSource random;
        random.seed(seed);
        if (random.next() % 2 == 1)
            return seed;
    }
}

template <typename Error>
std::string messageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const Error& error) {
        return error.message();
    }
    return "<no error>";
}

std::string whatOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::logic_error& error) {
        return error.what();
    }
    return "<no error>";
}

class FaceMatcherTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        prepareMatcherRunDir(dir.path(), 17);
        workingDirectory = std::make_unique<ScopedWorkingDirectory>(dir.path());
    }

    void TearDown() override
    {
        workingDirectory.reset();
    }

    std::unique_ptr<FaceMatcher> makeMatcher(int width = kWidth, int height = kHeight)
    {
        return std::make_unique<FaceMatcher>(width, height);
    }

    void replaceModel(int nv, int nh)
    {
        writeModelFile(matcherModelPath(dir.path()), randomModel(nv, nh, 3));
    }

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
    std::unique_ptr<ScopedWorkingDirectory> workingDirectory;
    CapturedLog log;
};

TEST_F(FaceMatcherTest, ConstructionLoadsTheModelBeforeTheForeignBase)
{
    const auto matcher = makeMatcher();
    const QStringList lines = log.lines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "rbm: 1575 200");
    EXPECT_EQ(lines[1], "1273408 1273408");
    EXPECT_EQ(lines[2], "model calibration \"glasgow-45x35/200/100-res.grbm.calibration\" ignored: cannot be read");
    EXPECT_EQ(lines[3], "foreign base loaded, samples: 0");
    EXPECT_EQ(matcher->foreignCount(), 0u);
    EXPECT_EQ(matcher->faceMask().channels(), 3);
    EXPECT_EQ(matcher->groupCount(), 0);
    EXPECT_TRUE(matcher->templateFeatures().empty());
}

TEST_F(FaceMatcherTest, MissingModelFailsToOpen)
{
    QFile::remove(matcherModelPath(dir.path()));
    EXPECT_EQ(messageOf<e_failure_open>([&] { makeMatcher(); }), "Error while opening file in read mode");
}

TEST_F(FaceMatcherTest, ShortModelFailsWithUnexpectedEnd)
{
    QFile file(matcherModelPath(dir.path()));
    ASSERT_TRUE(file.resize(1273408 - 4));
    testing::internal::CaptureStdout();
    EXPECT_EQ(messageOf<e_failure_read>([&] { makeMatcher(); }), "Unexpected end of file");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "1 0");
}

TEST_F(FaceMatcherTest, ModelOfAnotherShapeIsRejected)
{
    replaceModel(kValues, 100);
    EXPECT_EQ(messageOf<e_logic_argument>([&] { makeMatcher(); }), "incorrect RBM configuration");
    replaceModel(kValues, kFeatures);
    EXPECT_EQ(messageOf<e_logic_argument>([&] { makeMatcher(40, 40); }), "incorrect RBM configuration");
}

TEST_F(FaceMatcherTest, ForeignBaseNeedsTheFaceSize)
{
    replaceModel(40 * 40, kFeatures);
    EXPECT_EQ(whatOf([&] { makeMatcher(40, 40); }), "loading foreign faces: unsupported size");
}

TEST_F(FaceMatcherTest, WrongSizeImagesAreRejectedUntouched)
{
    const auto matcher = makeMatcher();
    const std::vector<cv::Size> sizes = {{36, 45}, {35, 44}, {45, 35}};
    for (const cv::Size& size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        cv::Mat image = sample(1, size.width, size.height);
        const cv::Mat original = image.clone();
        EXPECT_EQ(whatOf([&] { matcher->imageToVector(image); }), "incorrect image size");
        EXPECT_EQ(whatOf([&] { matcher->verify(image); }), "incorrect image size");
        EXPECT_EQ(cv::countNonZero(image != original), 0);
    }
}

TEST_F(FaceMatcherTest, SampleVectorIsStandardisedWithZerosAtTheCorners)
{
    const auto matcher = makeMatcher();
    cv::Mat image = sample(2);
    const std::vector<float> v = matcher->imageToVector(image);
    ASSERT_EQ(int(v.size()), kValues);
    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / kValues;
    double squares = 0.0;
    for (float x : v)
        squares += (x - mean) * (x - mean);
    EXPECT_NEAR(mean, 0.0, 1e-5);
    EXPECT_NEAR(std::sqrt(squares / kValues), 1.0, 1e-5);
    for (int index : {0, kWidth - 1, (kHeight - 1) * kWidth, kValues - 1}) {
        EXPECT_EQ(v[index], 0.0f) << index;
        EXPECT_EQ(image.at<uchar>(index / kWidth, index % kWidth), 0) << "masked in place " << index;
    }
    EXPECT_EQ(matcher->imageToVector(image), v) << "converting twice";
}

TEST_F(FaceMatcherTest, MaskFollowsTheChannelCount)
{
    const auto matcher = makeMatcher();
    cv::Mat grey = sample(3);
    cv::Mat colour;
    cv::merge(std::vector<cv::Mat>{grey.clone(), sample(4), sample(5)}, colour);
    const std::vector<float> fromColour = matcher->imageToVector(colour);
    EXPECT_EQ(matcher->faceMask().channels(), 3);
    EXPECT_EQ(matcher->imageToVector(grey), fromColour) << "only channel 0 counts";
    EXPECT_EQ(matcher->faceMask().channels(), 1);
    matcher->imageToVector(colour);
    EXPECT_EQ(matcher->faceMask().channels(), 3);
}

TEST_F(FaceMatcherTest, GroupsAreKeptInOrderAndShareTheirPixels)
{
    const auto matcher = makeMatcher();
    const std::vector<std::vector<cv::Mat>> added = {group(3, 10), group(5, 20), group(2, 30)};
    for (const auto& g : added)
        matcher->addGroup(g);
    std::vector<std::vector<cv::Mat>> copy = matcher->groups();
    ASSERT_EQ(copy.size(), 3u);
    for (std::size_t g = 0; g < added.size(); ++g) {
        ASSERT_EQ(copy[g].size(), added[g].size());
        for (std::size_t i = 0; i < added[g].size(); ++i)
            EXPECT_EQ(copy[g][i].data, added[g][i].data) << g << "/" << i;
    }
    copy[0].clear();
    copy.pop_back();
    EXPECT_EQ(matcher->groups()[0].size(), 3u);
    EXPECT_EQ(matcher->groupCount(), 3);

    matcher->removeGroup(0);
    const auto left = matcher->groups();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0][0].data, added[1][0].data);
    EXPECT_EQ(left[1][0].data, added[2][0].data);
    for (int index : {-1, 2, 100}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(messageOf<e_logic_range>([&] { matcher->removeGroup(index); }), "Out of range");
    }
    EXPECT_EQ(matcher->groupCount(), 2);
}

TEST_F(FaceMatcherTest, TrainingWithoutGroupsChangesNothing)
{
    const auto matcher = makeMatcher();
    log.clear();
    matcher->train();
    EXPECT_TRUE(matcher->templateFeatures().empty());
    EXPECT_EQ(matcher->qualities(), std::vector<float>(kFeatures, 0.0f));

    matcher->addGroup(group(10, 40));
    matcher->train();
    const auto features = matcher->templateFeatures();
    const auto weights = matcher->qualities();
    matcher->removeGroup(0);
    log.clear();
    matcher->train();
    EXPECT_EQ(matcher->templateFeatures(), features);
    EXPECT_EQ(matcher->qualities(), weights);
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(FaceMatcherTest, OneGroupOfHundredGivesTheTemplateAndItsLog)
{
    const auto matcher = makeMatcher();
    matcher->addGroup(group(100, 100));
    log.clear();
    matcher->train();
    ASSERT_EQ(matcher->templateFeatures().size(), 100u);
    for (const auto& features : matcher->templateFeatures())
        ASSERT_EQ(features.size(), std::size_t(kFeatures));
    ASSERT_EQ(matcher->qualities().size(), std::size_t(kFeatures));
    for (float q : matcher->qualities())
        EXPECT_TRUE(std::isfinite(q) && q >= 0.0f) << q;

    const QStringList lines = log.lines();
    ASSERT_EQ(lines.size(), 401);
    for (int j = 0; j < kFeatures; ++j) {
        SCOPED_TRACE(j);
        // No foreign faces: their statistics show as 0 0.
        EXPECT_EQ(lines[2 * j], QString("%1 0 0").arg(j));
        const QStringList owner = lines[2 * j + 1].split(' ');
        ASSERT_EQ(owner.size(), 5);
        EXPECT_EQ(owner[0], QString::number(j));
        EXPECT_EQ(owner[3], "quality");
        EXPECT_NEAR(owner[4].toFloat(), matcher->qualities()[j], 1e-5 * matcher->qualities()[j] + 1e-6);
    }
    EXPECT_TRUE(lines[400].startsWith("average quality "));
    const double sum = std::accumulate(matcher->qualities().begin(), matcher->qualities().end(), 0.0);
    EXPECT_NEAR(lines[400].mid(16).toDouble(), sum / kFeatures, 1e-4 * sum / kFeatures);
}

TEST_F(FaceMatcherTest, TrainingMirrorsTheVectorsOfEvenDraws)
{
    const auto matcher = makeMatcher();
    const std::vector<cv::Mat> images = group(100, 200);
    matcher->addGroup(images);
    matcher->seedRandom(12345);
    matcher->train();

    RandomSource replay;
    replay.seed(12345);
    std::vector<std::vector<float>> expected;
    int mirroredCount = 0;
    for (const cv::Mat& image : images) {
        const std::vector<float> v = matcher->imageToVector(image);
        const bool mirror = replay.next() % 2 != 1;
        mirroredCount += mirror;
        expected.push_back(mirror ? mirrored(v) : v);
    }
    EXPECT_GT(mirroredCount, 30);
    EXPECT_LT(mirroredCount, 70);
    EXPECT_EQ(matcher->templateFeatures(), featuresOf(*matcher, expected));
}

TEST_F(FaceMatcherTest, UnmirroredTrainingSampleScoresThree)
{
    const auto matcher = makeMatcher();
    const std::vector<cv::Mat> images = group(20, 300);
    matcher->addGroup(images);
    matcher->seedRandom(777);
    matcher->train();
    RandomSource replay;
    replay.seed(777);
    int checked = 0;
    for (const cv::Mat& image : images) {
        if (replay.next() % 2 != 1)
            continue;
        log.clear();
        EXPECT_EQ(matcher->verify(image), 3.0f);
        EXPECT_EQ(log.lines(), QStringList{"verify 0"});
        ++checked;
    }
    EXPECT_GT(checked, 0);
}

// A face scores 90 / (s d + 30) for its weighted distance d to the nearest template vector.
// With foreign faces and a valid calibration file s = target / median distance of the foreign
// faces to the template; any damaged calibration file leaves s = 1 and says why in the log.
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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content ? c.content : "(no file)");
        QFile::remove(calibrationPath);
        if (c.content) {
            ASSERT_TRUE(writeBytes(calibrationPath, c.content));
        }
        log.clear();
        const auto matcher = makeMatcher();
        matcher->addGroup(group(30, 400));
        matcher->train();
        ASSERT_GT(matcher->foreignCount(), 2u);
        std::vector<float> cohort;
        for (const auto& f : featuresOf(*matcher, matcher->foreignVectors()))
            cohort.push_back(nearestDistance(*matcher, f));
        std::nth_element(cohort.begin(), cohort.begin() + long((cohort.size() - 1) / 2), cohort.end());
        const float expectedScale = c.target > 0.0f ? c.target / cohort[(cohort.size() - 1) / 2] : 1.0f;
        EXPECT_FLOAT_EQ(matcher->cohortScale(), expectedScale);
        const QStringList scaleLines = log.lines().filter("cohort scale ");
        const bool scaleLogged = scaleLines.size() == 1 &&
                                 std::abs(scaleLines[0].mid(13).toFloat() - expectedScale) < 1e-5f * expectedScale;
        const bool ignoredLogged = log.lines().filter("model calibration").filter("ignored:").size() == 1;
        EXPECT_EQ(scaleLogged, c.target > 0.0f);
        EXPECT_EQ(ignoredLogged, c.target <= 0.0f);

        for (unsigned seed : {900u, 905u}) {
            cv::Mat stranger = sample(seed);
            const float score = matcher->verify(stranger);
            const float d = nearestDistance(*matcher, featuresOf(*matcher, {matcher->imageToVector(stranger)})[0]);
            EXPECT_GT(d, 0.0f);
            EXPECT_FLOAT_EQ(score, 90.0f / (expectedScale * d + 30.0f));
            EXPECT_TRUE(score > 0.0f && score < 3.0f) << score;
        }
    }
}

TEST_F(FaceMatcherTest, EmptyTemplateScoresAlmostNothing)
{
    const auto matcher = makeMatcher();
    log.clear();
    const float score = matcher->verify(sample(5));
    EXPECT_GT(score, 0.0f);
    EXPECT_LT(score, 1e-36f);
    EXPECT_EQ(log.lines(), QStringList{"verify 3.40282e+38"});
}

TEST_F(FaceMatcherTest, EmptyImageScoresZeroSilently)
{
    const auto matcher = makeMatcher();
    log.clear();
    EXPECT_EQ(matcher->verify(cv::Mat()), 0.0f);
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(FaceMatcherTest, WrongSizeSampleStopsTrainingAndKeepsTheTemplate)
{
    const auto matcher = makeMatcher();
    matcher->addGroup(group(10, 500));
    matcher->train();
    const auto features = matcher->templateFeatures();
    const auto weights = matcher->qualities();
    matcher->addGroup({sample(600), sample(601, 36, 45)});
    EXPECT_EQ(whatOf([&] { matcher->train(); }), "training error: incorrect image size");
    EXPECT_EQ(matcher->templateFeatures(), features);
    EXPECT_EQ(matcher->qualities(), weights);
}

TEST_F(FaceMatcherTest, TrainingMasksTheSamplesTheCallerHolds)
{
    const auto matcher = makeMatcher();
    matcher->addGroup(group(3, 700));
    matcher->train();
    const cv::Mat icon = matcher->groups().front().front();
    EXPECT_EQ(icon.at<uchar>(0, 0), 0);
    EXPECT_EQ(icon.at<uchar>(kHeight - 1, kWidth - 1), 0);
    EXPECT_NE(icon.at<uchar>(18, 17), 0);
}

// One sample: every owner feature has no spread. Its weight stays finite, so the template
// still tells its own face (score 3) from others.
TEST_F(FaceMatcherTest, SingleSampleTemplateHasFiniteWeights)
{
    const auto matcher = makeMatcher();
    const cv::Mat own = sample(800);
    matcher->addGroup({own});
    matcher->seedRandom(seedWithOddFirstDraw());
    matcher->train();
    ASSERT_EQ(matcher->templateFeatures().size(), 1u);
    for (float q : matcher->qualities())
        ASSERT_TRUE(std::isfinite(q)) << q;
    EXPECT_EQ(matcher->verify(own), 3.0f);
    const float stranger = matcher->verify(sample(801));
    EXPECT_TRUE(std::isfinite(stranger));
    EXPECT_GT(stranger, 0.0f);
    EXPECT_LT(stranger, 1.0f);
    for (const QString& line : log.lines())
        EXPECT_FALSE(line.contains("nan") || line.contains("inf")) << line.toStdString();
}

} // namespace
