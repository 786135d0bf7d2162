#include "FaceChip.h"

#include "FaceDetector.h"
#include "TestData.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <stdexcept>

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
    EXPECT_FALSE(chips.alignedByEyes());
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
    FaceChip chips;
    const cv::Mat chip = chips.cut(cv::Mat(240, 320, CV_8UC3, cv::Scalar::all(255)), cv::Rect(250, -40, 120, 120));
    ASSERT_EQ(chip.size(), cv::Size(150, 150));
    ASSERT_EQ(chip.type(), CV_8UC3);
    EXPECT_EQ(chip.at<cv::Vec3b>(0, 149), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(chip.at<cv::Vec3b>(149, 0), cv::Vec3b(255, 255, 255));
    EXPECT_THROW(chips.cut(cv::Mat(240, 320, CV_8UC1), cv::Rect(0, 0, 90, 90)), std::logic_error);
    EXPECT_THROW(chips.cut(cv::Mat(240, 320, CV_8UC3), cv::Rect()), std::logic_error);
}

// A head rolled by 8 degrees either way: aligned by its eyes, the chip matches the upright
// face's chip; cut by the box alone it does not.
TEST(FaceChipTest, EyesUndoHeadRoll)
{
    REQUIRE_FACEDATA();
    const cv::Mat upright = placeInFrame(loadFacedataImage("essex_faces94_female/Training/16/slbirc.1.jpg"));
    FaceDetector detector;
    FaceChip byEyes;
    FaceChip byBox{std::string()};
    detector.processFrame(upright);
    ASSERT_TRUE(detector.found());
    const cv::Mat reference = byEyes.cut(upright, detector.faceRect());
    ASSERT_TRUE(byEyes.alignedByEyes());
    const auto [left, right] = byEyes.lastEyes();
    EXPECT_GT(right.x - left.x, detector.faceRect().width / 4);
    for (const double degrees : {8.0, -8.0}) {
        SCOPED_TRACE(degrees);
        cv::Mat rolled;
        cv::warpAffine(upright, rolled, cv::getRotationMatrix2D(cv::Point2f(160, 120), degrees, 1.0), upright.size());
        detector.processFrame(rolled);
        ASSERT_TRUE(detector.found());
        EXPECT_LT(meanDiff(byEyes.cut(rolled, detector.faceRect()), reference), kMaxAlignedDiff);
        EXPECT_TRUE(byEyes.alignedByEyes());
        EXPECT_GT(meanDiff(byBox.cut(rolled, detector.faceRect()), reference), kMaxAlignedDiff);
    }
}
