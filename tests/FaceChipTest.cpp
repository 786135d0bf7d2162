#include "FaceChip.h"

#include "FaceDetector.h"
#include "TestData.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <stdexcept>

namespace {
const cv::Point2f kChipLeftEye(47.5f, 46.6f);
const cv::Point2f kChipRightEye(100.5f, 46.6f);
constexpr float kEyeTolerance = 0.5f;  // pixels of the chip
constexpr double kMaxAlignedDiff = 12; // mean grey difference of two chips of the same face

// The centre of darkness of a chip region on a mid-grey ground, as a chip point.
cv::Point2f darkCentre(const cv::Mat& chip, const cv::Rect& region)
{
    cv::Mat grey;
    cv::cvtColor(chip(region), grey, cv::COLOR_BGR2GRAY);
    const cv::Moments m = cv::moments(cv::Scalar::all(128) - grey);
    return cv::Point2f(float(m.m10 / m.m00), float(m.m01 / m.m00)) + cv::Point2f(region.tl());
}

// A black dot of radius 2 centred at a sub-pixel point.
void dot(cv::Mat& frame, const cv::Point2f& at)
{
    constexpr int kShift = 4;
    cv::circle(frame, cv::Point(cvRound(at.x * 16), cvRound(at.y * 16)), 2 * 16, cv::Scalar::all(0), cv::FILLED,
               cv::LINE_AA, kShift);
}

double meanDiff(const cv::Mat& a, const cv::Mat& b)
{
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    const cv::Scalar perChannel = cv::mean(diff);
    return (perChannel[0] + perChannel[1] + perChannel[2]) / 3;
}
} // namespace

// Without an eye cascade the box transform puts where it expects the eyes onto the chip's eyes.
TEST(FaceChipTest, BoxTransformMapsExpectedEyesOntoChipEyes)
{
    FaceChip chips{std::string()};
    const cv::Rect face(110, 50, 120, 120);
    cv::Mat frame(240, 320, CV_8UC3, cv::Scalar::all(128));
    chips.cut(frame, face);
    const auto [left, right] = chips.lastEyes();
    EXPECT_TRUE(face.contains(left) && face.contains(right) && left.x < right.x);
    dot(frame, left);
    dot(frame, right);
    const cv::Mat chip = chips.cut(frame, face);
    EXPECT_FALSE(chips.alignedByEyes());
    EXPECT_LT(cv::norm(darkCentre(chip, cv::Rect(0, 0, 75, 100)) - kChipLeftEye), kEyeTolerance);
    EXPECT_LT(cv::norm(darkCentre(chip, cv::Rect(75, 0, 75, 100)) - kChipRightEye), kEyeTolerance);
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

// A head rolled by 8 degrees: aligned by its eyes, the chip matches the upright face's chip;
// cut by the box alone it does not.
TEST(FaceChipTest, EyesUndoHeadRoll)
{
    REQUIRE_FACEDATA();
    const cv::Mat upright = placeInFrame(loadFacedataImage("essex_faces94_female/Training/13/mbutle.1.jpg"));
    cv::Mat rolled;
    cv::warpAffine(upright, rolled, cv::getRotationMatrix2D(cv::Point2f(160, 120), 8, 1.0), upright.size());
    FaceDetector detector;
    FaceChip byEyes;
    FaceChip byBox{std::string()};
    detector.processFrame(upright);
    ASSERT_TRUE(detector.found());
    const cv::Mat reference = byEyes.cut(upright, detector.faceRect());
    ASSERT_TRUE(byEyes.alignedByEyes());
    detector.processFrame(rolled);
    ASSERT_TRUE(detector.found());
    const cv::Mat aligned = byEyes.cut(rolled, detector.faceRect());
    ASSERT_TRUE(byEyes.alignedByEyes());
    EXPECT_LT(meanDiff(aligned, reference), kMaxAlignedDiff);
    EXPECT_GT(meanDiff(byBox.cut(rolled, detector.faceRect()), reference), kMaxAlignedDiff);
}
