#include "FaceGeometry.h"
#include "FaceSample.h"

#include <gtest/gtest.h>

#include <string>

namespace {
// A grey crop (B = G = R) whose column x has the value step * x, or whose row y has it.
cv::Mat ramp(cv::Size size, int step, bool alongRows)
{
    cv::Mat crop(size, CV_8UC3);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x)
            crop.at<cv::Vec3b>(y, x) = cv::Vec3b::all(uchar(step * (alongRows ? y : x)));
    return crop;
}
} // namespace

// The crop is stretched to a square of the sample's longer side (45) and its middle kept: a
// tall sample keeps the middle columns, a wide one the middle rows. Stretching a ramp by s
// (linear interpolation at pixel centres) gives square pixel q the ramp at s (q + 0.5) - 0.5.
TEST(FaceSampleTest, TheMiddleOfTheStretchedSquareIsKept)
{
    const struct { cv::Size crop, sample; int step; bool alongRows; } cases[] = {
        {{kSampleHeight, kSampleHeight}, kSampleSize, 5, false},
        {{kSampleHeight, kSampleHeight}, {kSampleHeight, kSampleWidth}, 5, true},
        {{90, 90}, kSampleSize, 2, false},
        {{150, 120}, kSampleSize, 1, false},
        {{97, 181}, {kSampleHeight, kSampleWidth}, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.crop.width) + (c.alongRows ? " rows" : " columns"));
        cv::Mat sample(c.sample, CV_8UC1, cv::Scalar(0));
        makeSample(ramp(c.crop, c.step, c.alongRows), sample);
        ASSERT_EQ(sample.size(), c.sample);
        for (int y = 0; y < sample.rows; ++y)
            for (int x = 0; x < sample.cols; ++x) {
                const double s = double(c.alongRows ? c.crop.height : c.crop.width) / kSampleHeight;
                const int q = (c.alongRows ? y : x) + (kSampleHeight - kSampleWidth) / 2;
                ASSERT_NEAR(sample.at<uchar>(y, x), c.step * (s * (q + 0.5) - 0.5), 1.0) << x << "," << y;
            }
    }
}

// Colour is read in BGR order: a blue crop is the darkest grey, a green one the lightest.
TEST(FaceSampleTest, ColourIsReadInBgrOrder)
{
    int grey[3];
    for (int channel = 0; channel < 3; ++channel) {
        cv::Scalar colour(0, 0, 0);
        colour[channel] = 255;
        cv::Mat sample(kSampleSize, CV_8UC1, cv::Scalar(0));
        makeSample(cv::Mat(60, 60, CV_8UC3, colour), sample);
        grey[channel] = sample.at<uchar>(0, 0);
    }
    EXPECT_LT(grey[0], grey[2]);
    EXPECT_LT(grey[2], grey[1]);
}

// The caller's buffer is filled, not replaced: a sample that is a view into a larger image
// writes through to it. Colour samples, empty samples and grey crops are rejected.
TEST(FaceSampleTest, TheSampleIsWrittenInPlaceAndWrongImagesAreRejected)
{
    cv::Mat canvas(50, 40, CV_8UC1, cv::Scalar(7));
    cv::Mat view = canvas(cv::Rect(2, 3, kSampleWidth, kSampleHeight));
    const uchar* buffer = view.data;
    makeSample(cv::Mat(kSampleHeight, kSampleHeight, CV_8UC3, cv::Scalar::all(200)), view);
    EXPECT_EQ(view.data, buffer);
    EXPECT_EQ(canvas.at<uchar>(3, 2), 200);
    EXPECT_EQ(canvas.at<uchar>(47, 36), 200);
    EXPECT_EQ(canvas.at<uchar>(0, 0), 7);
    EXPECT_EQ(canvas.at<uchar>(49, 39), 7);

    const cv::Mat colourFace(60, 60, CV_8UC3, cv::Scalar::all(100));
    cv::Mat colourSample(kSampleSize, CV_8UC3);
    EXPECT_THROW(makeSample(colourFace, colourSample), cv::Exception);
    cv::Mat empty;
    EXPECT_THROW(makeSample(colourFace, empty), cv::Exception);
    cv::Mat sample(kSampleSize, CV_8UC1);
    EXPECT_THROW(makeSample(cv::Mat(60, 60, CV_8UC1, cv::Scalar(1)), sample), cv::Exception);
}
