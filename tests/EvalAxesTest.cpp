#include "axes/LivenessGate.h"
#include "axes/SessionAxis.h"
#include "axes/SessionClips.h"
#include "axes/YaleLight.h"
#include "FaceGeometry.h"
#include "LightAugment.h"
#include "PhotoFramer.h"
#include "PhotoRelight.h"
#include "SessionZoom.h"
#include "TanTriggs.h"
#include "TestData.h"
#include "YaleTrainingSamples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <stdexcept>
#include <vector>

using namespace eval;

namespace {

constexpr double kPi = 3.14159265358979323846;
// The reported light axis strength: the light falls to a third across the face.
constexpr double kThirdStrength = 2.0 / 3.0;

// A fine sinusoidal texture (period 6 px) under a light that falls from 1 to `far` left to right.
cv::Mat texturedUnderRamp(double far)
{
    cv::Mat image(48, 48, CV_8UC1);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x) {
            const double texture = 128.0 + 90.0 * std::sin(2 * kPi * x / 6.0) * std::sin(2 * kPi * y / 6.0);
            const double light = 1.0 - (1.0 - far) * x / (image.cols - 1.0);
            image.at<uchar>(y, x) = cv::saturate_cast<uchar>(texture * light);
        }
    return image;
}

// Deviation of the left quarter over that of the right quarter (3 border columns left out).
double leftToRightContrast(const cv::Mat& image)
{
    cv::Mat values;
    image.convertTo(values, CV_64F);
    const int quarter = image.cols / 4;
    cv::Scalar mean, leftDev, rightDev;
    cv::meanStdDev(values(cv::Rect(3, 3, quarter - 3, image.rows - 6)), mean, leftDev);
    cv::meanStdDev(values(cv::Rect(image.cols - quarter, 3, quarter - 3, image.rows - 6)), mean, rightDev);
    return leftDev[0] / rightDev[0];
}

// Mean of the left quarter minus that of the right quarter (3 border columns left out).
double leftToRightLevel(const cv::Mat& image)
{
    const int quarter = image.cols / 4;
    return cv::mean(image(cv::Rect(3, 3, quarter - 3, image.rows - 6)))[0] -
           cv::mean(image(cv::Rect(image.cols - quarter, 3, quarter - 3, image.rows - 6)))[0];
}

double deviation(const cv::Mat& image)
{
    cv::Scalar mean, dev;
    cv::meanStdDev(image, mean, dev);
    return dev[0];
}

// A 48 x 42 crop whose brightness is `level` at the centre column and changes by `slope` a
// column towards either side: `slope` mirrored on both sides gives a symmetric face-like crop.
cv::Mat crop(double level, double leftSlope, double rightSlope)
{
    cv::Mat image(48, 42, CV_8UC1);
    for (int x = 0; x < image.cols; ++x) {
        const double offset = x - (image.cols - 1) / 2.0;
        const double value = level + (offset < 0 ? -offset * leftSlope : offset * rightSlope);
        image.col(x).setTo(cv::saturate_cast<uchar>(value));
    }
    return image;
}

// Takes every face for the owner: any other score is the liveness gate's.
struct OwnerScorer : Scorer
{
    std::string name() const override { return "owner"; }
    void enrol(const std::vector<cv::Mat>&, unsigned) override {}
    double score(const cv::Mat&) override { return 1.0; }
};

} // namespace

TEST(EvalAxesTest, TanTriggsKeepsTheSampleShapeAndTakesOutAFallingLight)
{
    const cv::Mat lit = texturedUnderRamp(1.0 / 3.0);
    const cv::Mat normalised = TanTriggs::normalise(lit);
    ASSERT_EQ(normalised.size(), lit.size());
    ASSERT_EQ(normalised.type(), CV_32FC1);
    EXPECT_TRUE(cv::checkRange(normalised, true, nullptr, -10.0, 10.0 + 1e-6));
    const cv::Mat grey = TanTriggs::normaliseGrey(lit);
    EXPECT_EQ(grey.size(), lit.size());
    EXPECT_EQ(grey.type(), CV_8UC1);

    // The light makes the left quarter of the texture about twice as contrasted as the right
    // quarter; after the chain both sides show nearly the same contrast.
    EXPECT_GT(leftToRightContrast(lit), 1.9);
    EXPECT_LT(leftToRightContrast(normalised), 1.35) << leftToRightContrast(normalised);
    EXPECT_GT(leftToRightContrast(normalised), 1.0 / 1.35);
    // ... and the same mean level: the falling light itself is gone.
    EXPECT_GT(leftToRightLevel(lit), 40.0);
    EXPECT_LT(std::abs(leftToRightLevel(normalised)), 0.1 * deviation(normalised));

    EXPECT_THROW(TanTriggs::normalise(cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(9))), std::invalid_argument);
    EXPECT_THROW(TanTriggs::normalise(cv::Mat()), std::invalid_argument);
}

TEST(EvalAxesTest, RelightFallsToAThirdAcrossTheFaceBoxOnly)
{
    const cv::Mat photo(20, 100, CV_8UC3, cv::Scalar::all(150));
    const cv::Rect2f face(20.0f, 0.0f, 60.0f, 20.0f);
    const cv::Mat relit = PhotoRelight::relit(photo, face, kThirdStrength);
    ASSERT_EQ(relit.size(), photo.size());
    ASSERT_EQ(relit.type(), photo.type());
    EXPECT_EQ(relit.at<cv::Vec3b>(5, 10), cv::Vec3b(150, 150, 150)); // left of the face: full light
    EXPECT_EQ(relit.at<cv::Vec3b>(5, 90), cv::Vec3b(50, 50, 50));    // right of it: a third
    EXPECT_NEAR(relit.at<cv::Vec3b>(5, 50)[1], 100, 2);              // half way across: two thirds
    for (int x = 1; x < relit.cols; ++x)
        ASSERT_LE(relit.at<cv::Vec3b>(10, x)[0], relit.at<cv::Vec3b>(10, x - 1)[0]) << "column " << x;
    EXPECT_EQ(cv::norm(relit.row(0), relit.row(19), cv::NORM_INF), 0.0);

    EXPECT_EQ(cv::norm(PhotoRelight::relit(photo, face, 0.0), photo, cv::NORM_INF), 0.0);
    EXPECT_THROW(PhotoRelight::relit(photo, face, 1.0), std::invalid_argument);
    EXPECT_THROW(PhotoRelight::relit(photo, cv::Rect2f(0, 0, 0, 5), 0.5), std::invalid_argument);

    // The training faces' light: the same ramp across the whole sample, from either side.
    const cv::Mat sample(kSampleSize, CV_8UC1, cv::Scalar(150));
    const cv::Mat fromLeft = LightAugment::sideLit(sample, kThirdStrength, true);
    const cv::Mat fromRight = LightAugment::sideLit(sample, kThirdStrength, false);
    EXPECT_NEAR(fromLeft.at<uchar>(20, 0), 148, 2);
    EXPECT_NEAR(fromLeft.at<uchar>(20, 34), 52, 2);
    cv::Mat mirrored;
    cv::flip(fromRight, mirrored, 1);
    EXPECT_LE(cv::norm(fromLeft, mirrored, cv::NORM_INF), 1.0);
    EXPECT_THROW(LightAugment::sideLit(sample, 1.0, true), std::invalid_argument);
}

TEST(EvalAxesTest, RandomLightAndCameraChangesKeepTheSampleAndVary)
{
    cv::Mat sample(kSampleSize, CV_8UC1);
    cv::randu(sample, 40, 220);
    std::mt19937 random(3);
    std::set<double> means;
    for (int k = 0; k < 20; ++k) {
        const cv::Mat changed = LightAugment::randomised(sample, random);
        ASSERT_EQ(changed.size(), sample.size());
        ASSERT_EQ(changed.type(), CV_8UC1);
        EXPECT_LT(cv::mean(changed)[0], cv::mean(sample)[0] * 1.35) << k; // a light only ever falls
        means.insert(cv::mean(changed)[0]);
    }
    EXPECT_GT(means.size(), 15u);
}

TEST(EvalAxesTest, FrameBoxMapsBackToThePhotoBoxThatShowsIt)
{
    FramePlacement placement;
    placement.scale = 2.0;
    placement.anchor = cv::Point2f(50.0f, 40.0f);
    const cv::Rect2f box = PhotoFramer::toPhoto(cv::Rect(120, 100, 80, 60), placement);
    EXPECT_NEAR(box.x, 30.0f, 1e-3);
    EXPECT_NEAR(box.y, 30.0f, 1e-3);
    EXPECT_NEAR(box.width, 40.0f, 1e-3);
    EXPECT_NEAR(box.height, 30.0f, 1e-3);

    placement.angle = 90.0; // a quarter turn swaps the box's sides
    const cv::Rect2f turned = PhotoFramer::toPhoto(cv::Rect(120, 100, 80, 60), placement);
    EXPECT_NEAR(turned.width, 30.0f, 1e-3);
    EXPECT_NEAR(turned.height, 40.0f, 1e-3);
}

TEST(EvalAxesTest, FrontalCropIsTheSymmetricOneAmongTheBrightOnes)
{
    const cv::Mat symmetric = crop(100.0, 2.0, 2.0);
    const cv::Mat lopsided = crop(100.0, 4.0, 0.0);  // lit from one side, as bright on average
    const cv::Mat dark = crop(4.0, 0.0, 0.0);         // perfectly symmetric, but unlit
    const std::vector<std::vector<cv::Mat>> orders = {
        {symmetric, lopsided, dark}, {lopsided, dark, symmetric}, {dark, symmetric, lopsided}};
    const std::size_t expected[] = {0, 2, 1};
    for (std::size_t k = 0; k < orders.size(); ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(YaleCrops::frontalIndex(orders[k]), expected[k]);
    }
    const std::vector<cv::Mat> group = YaleCrops::enrolmentGroup(symmetric, 5, 1);
    ASSERT_EQ(group.size(), 5u);
    for (const cv::Mat& sample : group)
        EXPECT_EQ(sample.size(), kSampleSize);
}

TEST(EvalAxesTest, SessionGroupLoopsItsFacesAndZoomKeepsTheCentre)
{
    const cv::Mat face(kSampleSize, CV_8UC1, cv::Scalar(7));
    const std::vector<cv::Mat> ticks = {face, cv::Mat(), face * 2, cv::Mat(), face * 3};
    int rounds = 0;
    const std::vector<cv::Mat> group = SessionClips::loopedGroup(ticks, 7, rounds);
    ASSERT_EQ(group.size(), 7u);
    EXPECT_EQ(rounds, 3);
    const int expected[] = {7, 14, 21, 7, 14, 21, 7};
    for (std::size_t k = 0; k < group.size(); ++k)
        EXPECT_EQ(group[k].at<uchar>(0, 0), expected[k]) << "sample " << k;
    EXPECT_TRUE(SessionClips::loopedGroup({cv::Mat(), cv::Mat()}, 7, rounds).empty());

    cv::Mat frame(240, 320, CV_8UC3, cv::Scalar::all(0));
    frame(cv::Rect(150, 110, 20, 20)).setTo(cv::Scalar::all(255));
    const cv::Mat zoomed = SessionZoom::zoomed(frame, 2.0);
    ASSERT_EQ(zoomed.size(), frame.size());
    EXPECT_EQ(zoomed.at<cv::Vec3b>(120, 160)[0], 255);
    EXPECT_EQ(zoomed.at<cv::Vec3b>(120, 160 + 15)[0], 255); // the 20 px square now spans 40 px
    EXPECT_EQ(zoomed.at<cv::Vec3b>(120, 160 + 25)[0], 0);
}

TEST(EvalAxesTest, YaleHoldsOutTheSecondHalfOfThePeopleByName)
{
    REQUIRE_FACEDATA();
    const std::vector<YalePerson> people =
        YaleCrops::heldOut(facedataDir().toStdString() + "/yaleB_cropped_48x42/pgm");
    ASSERT_EQ(people.size(), 19u);
    EXPECT_EQ(people.front().name, "yaleB21");
    EXPECT_EQ(people.back().name, "yaleB39");
    for (const YalePerson& person : people) {
        SCOPED_TRACE(person.name);
        ASSERT_FALSE(person.crops.empty());
        EXPECT_EQ(person.crops.front().size(), cv::Size(42, 48));
        ASSERT_LT(person.frontal, person.crops.size());
    }
    // The model is tuned on one part of the first half and chooses by the other part: no
    // held-out person in either, and the two parts apart.
    std::set<std::string> seen;
    for (const YalePerson& person : people)
        seen.insert(person.name);
    const std::string dir = facedataDir().toStdString() + "/yaleB_cropped_48x42/pgm";
    std::size_t trainingPeople = 0;
    for (const bool tuning : {true, false})
        for (const YalePerson& person : YaleTrainingSamples::part(dir, tuning)) {
            EXPECT_TRUE(seen.insert(person.name).second) << person.name;
            ++trainingPeople;
        }
    EXPECT_EQ(trainingPeople, 19u);
    const SampleSet cut = YaleTrainingSamples::cut({people.front()}, 2, 1);
    EXPECT_EQ(cut.size(), static_cast<int>(people.front().crops.size()) * 3);
    EXPECT_EQ(cut.source(cut.size() - 1), static_cast<int>(people.front().crops.size()) - 1);
}

TEST(EvalAxesTest, LivenessGateJudgesEveryFaceByTheCheckOfItsOwnPerson)
{
    const cv::Mat face(kSampleSize, CV_8UC1, cv::Scalar(9));
    SessionClip clip;
    clip.group = {face};
    clip.ticks = {face, face, face};
    clip.tickLight = {FaceLight::Problem::None, FaceLight::Problem::Dark, FaceLight::Problem::None};
    clip.tickLiveness.resize(clip.ticks.size());
    std::vector<SessionClip> clips(3, clip); // a's two sessions and b's one
    clips[0].person = clips[1].person = "a";
    clips[2].person = "b";
    // Without features the margin is the bias: every face is live to a's check, a photograph to b's.
    std::map<std::string, LivenessGate::Check> checks;
    checks["a"].model.bias = 1.0f;
    checks["b"].model.bias = -1.0f;
    const LivenessGate gate(checks);
    const MethodResult result =
        SessionAxis::run(clips, {clips[0], clips[2]}, SessionAxis::cases(clips, false),
                         [] { return std::make_unique<OwnerScorer>(); }, &gate, true, 1, 2);
    EXPECT_EQ(result.genuine, std::vector<double>(4, 1.0)); // the dark faces are not scored
    EXPECT_EQ(result.impostor, std::vector<double>(4, 0.0)); // b's faces, photographs to b's check
    ASSERT_EQ(result.photoSequences.size(), 2u); // only a's "photo" clip, before each of a's enrolments
    EXPECT_EQ(result.photoSequences[0].faceTicks, 2);
}
