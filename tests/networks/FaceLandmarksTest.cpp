#include "FaceLandmarks.h"

#include "FaceChip.h"
#include "FaceDetector.h"
#include "HeadPose.h"
#include "RunFolder.h"
#include "TestData.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <memory>
#include <numeric>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {
// Outputs of the gradient face as the TensorFlow.js port computes them: the first six, the last
// two and the sum of all.
const std::vector<float> kGradientStart = {0.39449f, 0.49994f, 0.53280f, 0.56657f, 0.58775f, 0.56058f};
const std::vector<float> kGradientEnd = {0.75386f, 0.44472f};
constexpr double kGradientSum = 73.44429;
constexpr double kTolerance = 1e-4;
constexpr const char* kWeightsSha256 = "4611ef65c87d836d03d684b30eec4d195d8b219fa1dd58fc58945831c6b9299b";
// Points found twice in the same net input agree to rounding (frame pixels).
constexpr float kSameInputTolerance = 1e-3f;
constexpr int kSide = FaceLandmarks::kInputSize;
// The eye points of the 68 (FaceLandmarks.h).
constexpr int kLeftEyeFirst = 36;
constexpr int kRightEyeFirst = 42;
constexpr int kEyePoints = 6;
// How far an eye centre may lie from the eye cascade's, in box widths (1.2 % measured).
constexpr double kEyeAgreement = 0.05;

// The face whose pixel (x, y) is R = 2x, G = 2y, B = x + y.
cv::Mat gradientRgb()
{
    cv::Mat rgb(kSide, kSide, CV_32FC3);
    rgb.forEach<cv::Vec3f>([](cv::Vec3f& pixel, const int* at) {
        pixel = cv::Vec3f(float(2 * at[1]), float(2 * at[0]), float(at[0] + at[1]));
    });
    return rgb;
}

cv::Point2f meanPoint(const FaceLandmarks::Points& points, int first, int count)
{
    const cv::Point2f sum = std::accumulate(points.begin() + first, points.begin() + first + count, cv::Point2f());
    return sum / float(count);
}

class FaceLandmarksTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { landmarks = std::make_unique<FaceLandmarks>(kLandmarksFolder); }
    static void TearDownTestSuite() { landmarks.reset(); }
    static std::unique_ptr<FaceLandmarks> landmarks;
};
std::unique_ptr<FaceLandmarks> FaceLandmarksTest::landmarks;

TEST_F(FaceLandmarksTest, GradientFaceGivesTheKnownOutputs)
{
    const std::vector<float> out = landmarks->rawOutputs(gradientRgb());
    ASSERT_EQ(int(out.size()), 2 * FaceLandmarks::kPointCount);
    for (std::size_t i = 0; i < kGradientStart.size(); ++i)
        EXPECT_NEAR(out[i], kGradientStart[i], kTolerance) << "output " << i;
    for (std::size_t i = 0; i < kGradientEnd.size(); ++i)
        EXPECT_NEAR(out[out.size() - kGradientEnd.size() + i], kGradientEnd[i], kTolerance) << "from the end " << i;
    EXPECT_NEAR(std::accumulate(out.begin(), out.end(), 0.0), kGradientSum, kTolerance);
    EXPECT_EQ(landmarks->sha256().toStdString(), kWeightsSha256);
}

// A box in a frame, the frame scaled by `scale` from a textured scene, and where the net's
// square starts in the scene: centred on the box, the odd pixel on the right or at the bottom.
struct BoxCase
{
    const char* name;
    cv::Rect sceneBox;
    int scale;
    cv::Point squareOrigin;
};

// locate() gives the net's outputs on the square built here pixel by pixel (black beyond the
// box and the frame), scaled by the square's side and moved to where the square starts.
TEST_F(FaceLandmarksTest, LocateMapsTheSquaresPointsToTheFrame)
{
    cv::Mat scene(150, 180, CV_8UC3);
    cv::RNG(7).fill(scene, cv::RNG::UNIFORM, 0, 256);
    cv::GaussianBlur(scene, scene, cv::Size(), 2.0);
    const std::vector<BoxCase> cases = {
        {"taller box, odd difference", {40, 30, 83, 112}, 1, {26, 30}},
        {"wider box past the left and top edges", {-20, -10, 112, 90}, 1, {-20, -21}},
        {"twice the size, shrunk to the net", {40, 20, 84, 112}, 2, {26, 20}},
    };
    for (const BoxCase& c : cases) {
        SCOPED_TRACE(c.name);
        cv::Mat square(kSide, kSide, CV_32FC3, cv::Scalar::all(0));
        const cv::Rect frameBox = c.sceneBox & cv::Rect(0, 0, scene.cols, scene.rows);
        for (int y = 0; y < kSide; ++y)
            for (int x = 0; x < kSide; ++x) {
                const cv::Point at = c.squareOrigin + cv::Point(x, y);
                if (frameBox.contains(at)) {
                    const cv::Vec3b bgr = scene.at<cv::Vec3b>(at);
                    square.at<cv::Vec3f>(y, x) = cv::Vec3f(bgr[2], bgr[1], bgr[0]);
                }
            }
        const std::vector<float> out = landmarks->rawOutputs(square);
        cv::Mat frame;
        cv::resize(scene, frame, cv::Size(), c.scale, c.scale, cv::INTER_NEAREST);
        const cv::Rect box(c.sceneBox.tl() * c.scale, c.sceneBox.size() * c.scale);
        const FaceLandmarks::Points points = landmarks->locate(frame, box);
        double worst = 0.0;
        for (int i = 0; i < FaceLandmarks::kPointCount; ++i) {
            const cv::Point2f expected = (cv::Point2f(c.squareOrigin) + kSide * cv::Point2f(out[2 * i], out[2 * i + 1]))
                                         * float(c.scale);
            worst = std::max(worst, cv::norm(points[std::size_t(i)] - expected));
        }
        EXPECT_LT(worst, kSameInputTolerance * c.scale);
    }
}

// On a photograph the detector's box holds both eyes in its upper half, the image's left eye
// (points 36-41) left of the other, each where the eye cascade that aligns the face-resnet's
// chips finds it.
TEST_F(FaceLandmarksTest, EyesOfAPhotographLieInTheUpperHalfOfTheBox)
{
    REQUIRE_FACEDATA();
    const cv::Mat frame = placeInFrame(loadFacedataImage("essex_faces94_female/Training/16/slbirc.1.jpg"));
    FaceDetector detector;
    detector.processFrame(frame);
    ASSERT_TRUE(detector.found());
    const cv::Rect box = detector.faceRect();
    const FaceLandmarks::Points points = landmarks->locate(frame, box);
    const cv::Point2f left = meanPoint(points, kLeftEyeFirst, kEyePoints);
    const cv::Point2f right = meanPoint(points, kRightEyeFirst, kEyePoints);
    const cv::Rect upperHalf(box.x, box.y, box.width, box.height / 2);
    EXPECT_TRUE(upperHalf.contains(left)) << left << " not in " << upperHalf;
    EXPECT_TRUE(upperHalf.contains(right)) << right << " not in " << upperHalf;
    EXPECT_LT(left.x, right.x);
    FaceChip chips{std::string(kChipEyeCascadePath)};
    chips.cut(frame, box);
    ASSERT_EQ(chips.alignment(), FaceChip::Alignment::Eyes);
    const auto [cascadeLeft, cascadeRight] = chips.lastEyes();
    EXPECT_LT(cv::norm(left - cascadeLeft), kEyeAgreement * box.width) << left << " and " << cascadeLeft;
    EXPECT_LT(cv::norm(right - cascadeRight), kEyeAgreement * box.width) << right << " and " << cascadeRight;
}

// A hand-made face: eyes at height 40, the jaw line's ends 100 px apart, the mouth 40 px below
// the eyes, the nose tip where a frontal face has it.
FaceLandmarks::Points frontalFace()
{
    FaceLandmarks::Points points;
    points.fill(cv::Point2f(50, 60));
    points[0] = {0, 50};
    points[16] = {100, 50};
    for (int i = 0; i < kEyePoints; ++i) {
        const cv::Point2f offset(float(i % 3 - 1) * 4, float(i / 3) * 2 - 1);
        points[std::size_t(kLeftEyeFirst + i)] = cv::Point2f(30, 40) + offset;
        points[std::size_t(kRightEyeFirst + i)] = cv::Point2f(70, 40) + offset;
    }
    for (int i = 48; i < 60; ++i)
        points[std::size_t(i)] = {50, 80};
    points[30] = {50, 40 + 0.532f * 40};
    return points;
}

// Yaw follows the nose across the jaw line (asin of its share of the half width), pitch the nose
// down from its frontal height (atan of the share over the nose's depth); a tilted head keeps
// both; collapsed points give no pose.
TEST(HeadPoseTest, TurnsFollowTheNoseAndIgnoreRoll)
{
    const FaceLandmarks::Points frontal = frontalFace();
    struct Case { const char* name; cv::Point2f noseShift; float yaw; float pitch; };
    const Case cases[] = {{"frontal", {0, 0}, 0, 0}, {"turned right", {25, 0}, 30, 0},
                          {"turned left", {-35.3553f, 0}, -45, 0}, {"down", {0, 20}, 0, 45}, {"up", {0, -20}, 0, -45}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaceLandmarks::Points points = frontal;
        points[30] += c.noseShift;
        for (const double roll : {0.0, 30.0, -70.0}) {
            SCOPED_TRACE(roll);
            const cv::Matx23d turn = cv::getRotationMatrix2D(cv::Point2f(50, 50), roll, 1.5);
            FaceLandmarks::Points rolled;
            for (std::size_t i = 0; i < points.size(); ++i)
                rolled[i] = cv::Point2f(cv::Point2d(turn * cv::Vec3d(points[i].x, points[i].y, 1.0)));
            const std::optional<HeadPose> pose = headPose(rolled);
            ASSERT_TRUE(pose.has_value());
            EXPECT_NEAR(pose->yaw, c.yaw, 0.01);
            EXPECT_NEAR(pose->pitch, c.pitch, 0.01);
        }
    }
    FaceLandmarks::Points collapsed;
    collapsed.fill(cv::Point2f(50, 50));
    EXPECT_FALSE(headPose(collapsed).has_value());
    FaceLandmarks::Points noMouth = frontal;
    for (int i = 48; i < 60; ++i)
        noMouth[std::size_t(i)] = {50, 40};
    EXPECT_FALSE(headPose(noMouth).has_value());
}

TEST_F(FaceLandmarksTest, WrongInputThrows)
{
    EXPECT_THROW(landmarks->rawOutputs(cv::Mat(kSide, kSide, CV_8UC3)), std::logic_error);
    EXPECT_THROW(landmarks->rawOutputs(cv::Mat(kSide, kSide + 1, CV_32FC3)), std::logic_error);
    EXPECT_THROW(landmarks->locate(cv::Mat(240, 320, CV_8UC1), cv::Rect(0, 0, 90, 90)), std::logic_error);
    EXPECT_THROW(landmarks->locate(cv::Mat(240, 320, CV_8UC3), cv::Rect(10, 10, 0, 90)), std::logic_error);
}

} // namespace
