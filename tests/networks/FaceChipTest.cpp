#include "FaceChip.h"

#include "ChipGeometry.h"
#include "FaceDetector.h"
#include "RunFolder.h"
#include "TestData.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <stdexcept>
#include <vector>

namespace {
const cv::Point2f kChipEyes[] = {{47.5f, 46.6f}, {100.5f, 46.6f}};
constexpr float kEyeTolerance = 0.5f;  // chip pixels
constexpr double kMaxAlignedDiff = 8;  // mean difference of two chips of one face (0-255)

double meanDiff(const cv::Mat& a, const cv::Mat& b)
{
    return cv::norm(a, b, cv::NORM_L1) / (a.total() * a.channels());
}
} // namespace

// Without an eye cascade the box transform maps where it expects the eyes (here two dark
// dots on grey) onto the chip's eye positions.
TEST(FaceChipTest, BoxTransformMapsExpectedEyesOntoChipEyes)
{
    FaceChip chips{std::string()};
    const cv::Rect face(110, 50, 120, 120);
    cv::Mat frame(240, 320, CV_8UC3, cv::Scalar::all(128));
    chips.cut(frame, face);
    const auto [left, right] = chips.lastEyes();
    for (const cv::Point2f& eye : {left, right}) // radius 2 at a sub-pixel centre (4 fraction bits)
        cv::circle(frame, cv::Point(eye * 16), 32, cv::Scalar::all(0), cv::FILLED, cv::LINE_AA, 4);
    cv::Mat grey;
    cv::cvtColor(chips.cut(frame, face), grey, cv::COLOR_BGR2GRAY);
    EXPECT_FALSE(chips.aligned());
    for (int side = 0; side < 2; ++side) {
        const cv::Rect half(75 * side, 0, 75, 100);
        const cv::Moments m = cv::moments(cv::Scalar::all(128) - grey(half));
        const cv::Point2f centre = cv::Point2f(float(m.m10 / m.m00), float(m.m01 / m.m00)) + cv::Point2f(half.tl());
        EXPECT_LT(cv::norm(centre - kChipEyes[side]), kEyeTolerance) << centre;
    }
}

// A box reaching out of the frame still gives a full chip, black where the frame ends.
TEST(FaceChipTest, BoxOutsideTheFrameGivesBlackBorder)
{
    FaceChip chips{std::string()};
    const cv::Mat chip = chips.cut(cv::Mat(240, 320, CV_8UC3, cv::Scalar::all(255)), cv::Rect(250, -40, 120, 120));
    ASSERT_EQ(chip.size(), cv::Size(150, 150));
    ASSERT_EQ(chip.type(), CV_8UC3);
    EXPECT_EQ(chip.at<cv::Vec3b>(0, 149), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(chip.at<cv::Vec3b>(149, 0), cv::Vec3b(255, 255, 255));
    EXPECT_THROW(chips.cut(cv::Mat(240, 320, CV_8UC1), cv::Rect(0, 0, 90, 90)), std::logic_error);
    EXPECT_THROW(chips.cut(cv::Mat(240, 320, CV_8UC3), cv::Rect()), std::logic_error);
}

// A head rolled by 8 degrees either way: aligned by its landmarks or its eyes, the chip matches
// the upright face's chip; cut by the box alone it does not.
TEST(FaceChipTest, LandmarksAndEyesUndoHeadRoll)
{
    REQUIRE_FACEDATA();
    const cv::Mat upright = placeInFrame(loadFacedataImage("essex_faces94_female/Training/16/slbirc.1.jpg"));
    FaceDetector detector;
    FaceChip byLandmarks;
    FaceChip byEyes{std::string(kChipEyeCascadePath)};
    FaceChip byBox{std::string()};
    detector.processFrame(upright);
    ASSERT_TRUE(detector.found());
    for (FaceChip* chips : {&byLandmarks, &byEyes}) {
        const bool landmarks = chips == &byLandmarks;
        SCOPED_TRACE(landmarks ? "landmarks" : "eyes");
        const cv::Mat reference = chips->cut(upright, detector.faceRect());
        ASSERT_EQ(chips->alignment(), landmarks ? FaceChip::Alignment::Landmarks : FaceChip::Alignment::Eyes);
        EXPECT_EQ(chips->lastLandmarks().has_value(), landmarks);
        const auto [left, right] = chips->lastEyes();
        EXPECT_GT(right.x - left.x, detector.faceRect().width / 4);
        for (const double degrees : {8.0, -8.0}) {
            SCOPED_TRACE(degrees);
            cv::Mat rolled;
            cv::warpAffine(upright, rolled, cv::getRotationMatrix2D(cv::Point2f(160, 120), degrees, 1.0),
                           upright.size());
            detector.processFrame(rolled);
            ASSERT_TRUE(detector.found());
            EXPECT_LT(meanDiff(chips->cut(rolled, detector.faceRect()), reference), kMaxAlignedDiff);
            EXPECT_TRUE(chips->aligned());
            EXPECT_GT(meanDiff(byBox.cut(rolled, detector.faceRect()), reference), kMaxAlignedDiff);
        }
        detector.processFrame(upright);
    }
}

// Landmarks that do not fit the face box (eyes as far apart as the box is wide: the net sees a
// face in the tall box's square) fall back to the box transform.
TEST(FaceChipTest, ImplausibleLandmarksFallBackToTheBox)
{
    REQUIRE_FACEDATA();
    const cv::Mat frame = placeInFrame(loadFacedataImage("essex_faces94_female/Training/16/slbirc.1.jpg"));
    FaceDetector detector;
    detector.processFrame(frame);
    ASSERT_TRUE(detector.found());
    const cv::Rect face = detector.faceRect();
    const cv::Rect narrow(face.x + face.width / 2 - 15, face.y, 30, face.height);
    FaceChip byLandmarks;
    FaceChip byBox{std::string()};
    const cv::Mat chip = byLandmarks.cut(frame, narrow);
    EXPECT_EQ(byLandmarks.alignment(), FaceChip::Alignment::Box);
    EXPECT_FALSE(byLandmarks.lastLandmarks().has_value());
    EXPECT_EQ(cv::norm(chip, byBox.cut(frame, narrow), cv::NORM_INF), 0.0);
    byLandmarks.cut(frame, face);
    EXPECT_EQ(byLandmarks.alignment(), FaceChip::Alignment::Landmarks);
}

// The least-squares similarity recovers a known rotation, scale and shift from three points,
// maps two points exactly, and splits the error of points that no similarity fits.
TEST(FaceChipTest, SimilarityTransformFitsPoints)
{
    const double angle = 0.3, scale = 1.7;
    const cv::Matx23d known(scale * std::cos(angle), -scale * std::sin(angle), 12.0, scale * std::sin(angle),
                            scale * std::cos(angle), -5.0);
    const std::vector<cv::Point2d> from = {{10, 20}, {40, 22}, {26, 60}};
    std::vector<cv::Point2d> to;
    for (const cv::Point2d& p : from)
        to.push_back(known * cv::Vec3d(p.x, p.y, 1.0));
    const cv::Matx23d fitted = similarityTransform(from, to);
    for (int i = 0; i < 6; ++i)
        EXPECT_NEAR(fitted.val[i], known.val[i], 1e-9) << i;
    const cv::Matx23d eyes = similarityTransform({{3, 4}, {9, 1}}, {kChipLeftEye, kChipRightEye});
    EXPECT_LT(cv::norm(cv::Point2d(eyes * cv::Vec3d(9, 1, 1)) - cv::Point2d(kChipRightEye)), 1e-9);
    // A square's corners onto a wider rectangle's: the scale is the mean stretch, not either one.
    const cv::Matx23d stretch =
        similarityTransform({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, {{0, 0}, {4, 0}, {4, 2}, {0, 2}});
    EXPECT_NEAR(stretch(0, 0), 1.5, 1e-9);
    EXPECT_NEAR(stretch(1, 0), 0.0, 1e-9);
}
