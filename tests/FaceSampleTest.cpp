#include "FaceSample.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <string>

namespace {
// A grey crop (B = G = R) whose column x has the value step * x, or whose row y has it.
cv::Mat columnRamp(cv::Size size, int step)
{
    cv::Mat crop(size, CV_8UC3);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
            crop.at<cv::Vec3b>(y, x) = cv::Vec3b::all(uchar(step * x));
    return crop;
}

cv::Mat rowRamp(cv::Size size, int step)
{
    cv::Mat crop(size, CV_8UC3);
    for (int y = 0; y < size.height; ++y)
        crop.row(y).setTo(cv::Scalar::all(step * y));
    return crop;
}
} // namespace

class FaceSampleTest : public ::testing::Test
{
protected:
    cv::Mat sample{45, 35, CV_8UC1, cv::Scalar(0)};
};

TEST_F(FaceSampleTest, TallSampleKeepsTheMiddleColumnsOfTheSquare)
{
    // A 45 x 45 crop needs no scaling: the sample is columns 5 to 39 of its grey version.
    makeSample(columnRamp(cv::Size(45, 45), 5), sample);
    ASSERT_EQ(sample.size(), cv::Size(35, 45));
    for (int y : {0, 22, 44}) {
        for (int x = 0; x < 35; ++x) {
            SCOPED_TRACE("x " + std::to_string(x) + " y " + std::to_string(y));
            EXPECT_EQ(sample.at<uchar>(y, x), 5 * (x + 5));
        }
    }
}

TEST_F(FaceSampleTest, WideSampleKeepsTheMiddleRowsOfTheSquare)
{
    cv::Mat wide(35, 45, CV_8UC1, cv::Scalar(0));
    makeSample(rowRamp(cv::Size(45, 45), 5), wide);
    for (int y = 0; y < 35; ++y) {
        SCOPED_TRACE("row " + std::to_string(y));
        EXPECT_EQ(wide.at<uchar>(y, 0), 5 * (y + 5));
        EXPECT_EQ(wide.at<uchar>(y, 44), 5 * (y + 5));
    }
}

TEST_F(FaceSampleTest, CropsOfAnySizeAreStretchedToTheSquare)
{
    // Whatever the crop's size, the result is the centre cut of the crop stretched to 45 x 45.
    const cv::Mat crops[] = {columnRamp(cv::Size(90, 90), 2), columnRamp(cv::Size(150, 120), 1),
                             rowRamp(cv::Size(97, 181), 1)};
    for (const cv::Mat& crop : crops) {
        SCOPED_TRACE("crop " + std::to_string(crop.cols) + " x " + std::to_string(crop.rows));
        cv::Mat greyCrop;
        cv::cvtColor(crop, greyCrop, cv::COLOR_BGR2GRAY);
        cv::Mat square;
        cv::resize(greyCrop, square, cv::Size(45, 45), 0, 0, cv::INTER_LINEAR);
        makeSample(crop, sample);
        EXPECT_EQ(cv::norm(sample, square(cv::Rect(5, 0, 35, 45)), cv::NORM_INF), 0.0);
    }
}

TEST_F(FaceSampleTest, ColourIsReadInBgrOrder)
{
    struct Case { cv::Scalar bgr; int grey; };
    // Grey = 0.299 R + 0.587 G + 0.114 B, rounded.
    const Case cases[] = {{cv::Scalar(255, 0, 0), 29}, {cv::Scalar(0, 255, 0), 150}, {cv::Scalar(0, 0, 255), 76}};
    for (const Case& c : cases) {
        SCOPED_TRACE("expected grey " + std::to_string(c.grey));
        makeSample(cv::Mat(60, 60, CV_8UC3, c.bgr), sample);
        EXPECT_EQ(sample.at<uchar>(0, 0), c.grey);
        EXPECT_EQ(sample.at<uchar>(44, 34), c.grey);
    }
}

TEST_F(FaceSampleTest, TheSampleIsWrittenInPlace)
{
    // The caller's buffer is filled, not replaced: a sample that is a view into a larger
    // image writes through to it.
    cv::Mat canvas(50, 40, CV_8UC1, cv::Scalar(7));
    cv::Mat view = canvas(cv::Rect(2, 3, 35, 45));
    const uchar* buffer = view.data;
    makeSample(cv::Mat(45, 45, CV_8UC3, cv::Scalar::all(200)), view);
    EXPECT_EQ(view.data, buffer);
    EXPECT_EQ(canvas.at<uchar>(3, 2), 200);
    EXPECT_EQ(canvas.at<uchar>(47, 36), 200);
    EXPECT_EQ(canvas.at<uchar>(0, 0), 7);
    EXPECT_EQ(canvas.at<uchar>(49, 39), 7);
}

TEST_F(FaceSampleTest, WrongImagesAreRejected)
{
    const cv::Mat colourFace(60, 60, CV_8UC3, cv::Scalar::all(100));
    cv::Mat colourSample(45, 35, CV_8UC3);
    EXPECT_THROW(makeSample(colourFace, colourSample), cv::Exception);
    cv::Mat empty;
    EXPECT_THROW(makeSample(colourFace, empty), cv::Exception);
    EXPECT_THROW(makeSample(cv::Mat(60, 60, CV_8UC1, cv::Scalar(1)), sample), cv::Exception);
}
