#include "FaceGeometry.h"
#include "ImageNormalizer.h"
#include "TestData.h"

#include <QImage>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <string>
#include <vector>

namespace {
// A mode outside the three: the luma is left as split, so only the colour conversion acts.
constexpr int kModePassThrough = 7;

// One row of pixels, one per colour (B, G, R).
cv::Mat bgrRow(const std::vector<cv::Vec3b>& colours)
{
    return cv::Mat(colours, true).reshape(0, 1);
}

cv::Mat greyImage(const cv::Mat1b& values)
{
    cv::Mat bgr;
    cv::cvtColor(values, bgr, cv::COLOR_GRAY2BGR);
    return bgr;
}

cv::Mat1b greyOf(const cv::Mat& bgr)
{
    cv::Mat1b grey;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    return grey;
}

// Random grey values in [low, high], the same on every call with the same seed.
cv::Mat1b randomGreys(cv::Size size, int low, int high, uint64 seed)
{
    cv::Mat1b values(size);
    cv::RNG(seed).fill(values, cv::RNG::UNIFORM, low, high + 1);
    return values;
}

// The value one luma takes through the log domain and back.
int throughLog(int luma)
{
    return ImageNormalizer(ImageNormalizer::ModeLog).normalize(bgrRow({cv::Vec3b::all(uchar(luma))}), 1).at<cv::Vec3b>(0)[1];
}
} // namespace

// The colour conversion alone is exact for greys and slightly lossy for colours. The log mode
// truncates on the way back: single-precision logs come back just under the integer, so only
// lumas of the form 2^k - 1 survive.
TEST(ImageNormalizerTest, ColourRoundTripAndLogModeValues)
{
    std::vector<cv::Vec3b> colours = {{0, 0, 255}, {100, 150, 200}};
    std::vector<cv::Vec3b> expected = {{0, 0, 254}, {99, 150, 200}};
    for (int v = 0; v <= 255; ++v) {
        colours.push_back(cv::Vec3b::all(uchar(v)));
        expected.push_back(cv::Vec3b::all(uchar(v)));
    }
    const cv::Mat passed = ImageNormalizer(kModePassThrough).normalize(bgrRow(colours), 1);
    ASSERT_EQ(passed.size(), cv::Size(int(colours.size()), 1));
    ASSERT_EQ(passed.type(), CV_8UC3);
    for (size_t i = 0; i < colours.size(); ++i)
        EXPECT_EQ(passed.at<cv::Vec3b>(int(i)), expected[i]) << "colour " << colours[i];

    const std::vector<std::pair<int, int>> lumas = {{2, 1}, {4, 3}, {8, 7}, {0, 0}, {1, 1}, {3, 3}, {7, 7},
                                                    {15, 15}, {31, 31}, {63, 63}, {127, 127}, {255, 255}};
    for (const auto& luma : lumas)
        EXPECT_EQ(throughLog(luma.first), luma.second) << "luma " << luma.first;
}

// Retinex of a uniform image is the log mode's result; without iterations it is a flat image
// at the brightest luma.
TEST(ImageNormalizerTest, RetinexOfFlatImagesAndWithoutIterations)
{
    ImageNormalizer logOnly(ImageNormalizer::ModeLog);
    ImageNormalizer retinex(ImageNormalizer::ModeRetinex);
    for (const cv::Vec3b& colour : {cv::Vec3b(100, 150, 200), cv::Vec3b::all(30), cv::Vec3b::all(255),
                                    cv::Vec3b::all(0), cv::Vec3b(40, 200, 90)})
        for (const cv::Size& size : {cv::Size(64, 64), kSampleSize, cv::Size(20, 12)})
            for (int iterations : {1, 3}) {
                SCOPED_TRACE(testing::Message() << colour << " " << size << " iterations " << iterations);
                const cv::Mat image(size, CV_8UC3, cv::Scalar(colour[0], colour[1], colour[2]));
                EXPECT_TRUE(sameImage(retinex.normalize(image, iterations), logOnly.normalize(image, 1)));
            }

    const cv::Mat image = greyImage(randomGreys(cv::Size(48, 40), 20, 199, 5));
    for (int iterations : {0, -1, -5})
        EXPECT_TRUE(sameImage(retinex.normalize(image, iterations),
                              cv::Mat(image.size(), CV_8UC3, cv::Scalar::all(throughLog(199)))))
            << "iterations " << iterations;
}

// The pyramid is as deep as the largest common power of two of the sides. A bright patch in
// the top-left corner of a dark image, one iteration: a single full-resolution level (35 x 45)
// moves information a few pixels only, so the far corner stays at the brightest value; the
// 64 x 64 pyramid, whose top level is one cell, carries the patch's light there and darkens it.
TEST(ImageNormalizerTest, CoarseLevelsOfTheLargestCommonPowerOfTwoCarryLight)
{
    struct Case { int width, height, depth; };
    const Case cases[] = {{64, 64, 6}, {35, 45, 0}, {48, 64, 4}, {12, 18, 1}, {320, 240, 4},
                          {96, 96, 5}, {1, 1, 0},   {0, 10, 0},  {10, 0, 0},  {80, 45, 0}};
    for (const Case& c : cases)
        EXPECT_EQ(ImageNormalizer::pyramidDepth(c.width, c.height), c.depth) << c.width << " x " << c.height;

    const int brightest = throughLog(250);
    ImageNormalizer retinex(ImageNormalizer::ModeRetinex);
    for (const cv::Size& size : {kSampleSize, cv::Size(64, 64)}) {
        cv::Mat1b values(size, uchar(40));
        values(cv::Rect(0, 0, 4, 4)).setTo(250);
        const int farCorner = retinex.normalize(greyImage(values), 1).at<cv::Vec3b>(size.height - 1, size.width - 1)[1];
        if (size == kSampleSize)
            EXPECT_EQ(farCorner, brightest);
        else
            EXPECT_LT(farCorner, brightest);
    }
}

// A random texture lit at a quarter strength on the left and fully on the right: after a few
// retinex iterations the halves are much closer in brightness (more iterations let the
// estimate settle back towards the picture's own ratios). A dark block in a bright image stays
// where it is, in both orientations.
TEST(ImageNormalizerTest, RetinexEvensOutLightingAndKeepsTheGeometry)
{
    ImageNormalizer retinex(ImageNormalizer::ModeRetinex);
    cv::Mat1b values = randomGreys(cv::Size(64, 48), 100, 250, 11);
    values(cv::Rect(0, 0, 32, 48)) /= 4;
    const cv::Mat1b result = greyOf(retinex.normalize(greyImage(values), 2));
    const auto ratio = [](const cv::Mat1b& image) {
        return cv::mean(image(cv::Rect(32, 0, 32, 48)))[0] / cv::mean(image(cv::Rect(0, 0, 32, 48)))[0];
    };
    EXPECT_GT(ratio(values), 3.5);
    EXPECT_LT(ratio(result), 2.5);

    for (const cv::Size& size : {cv::Size(64, 32), cv::Size(32, 64), cv::Size(45, 35)}) {
        SCOPED_TRACE(testing::Message() << size);
        cv::Mat1b block(size, uchar(220));
        const cv::Rect dark(size.width - 12, 4, 8, 6);
        block(dark).setTo(30);
        const cv::Mat1b evened = greyOf(retinex.normalize(greyImage(block), 3));
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x)
                ASSERT_EQ(evened(y, x) < 120, dark.contains(cv::Point(x, y))) << "pixel " << x << ", " << y;
    }
}

TEST(ImageNormalizerTest, EqualizeModeSpreadsTheLumaOverTheRange)
{
    // A grey sample of levels 100 ... 130 (35 columns: rows are not 4-byte aligned) is spread
    // over the whole range, in the same order, and stays grey.
    const cv::Mat1b values = randomGreys(kSampleSize, 100, 130, 3);
    const cv::Mat result = ImageNormalizer(ImageNormalizer::ModeEqualize).normalize(greyImage(values), 1);
    double lowest = 0, highest = 0;
    cv::minMaxLoc(result.reshape(1), &lowest, &highest);
    EXPECT_LE(lowest, 10);
    EXPECT_EQ(highest, 255);
    for (int x = 1; x < kSampleWidth; ++x) {
        const cv::Vec3b left = result.at<cv::Vec3b>(20, x - 1), right = result.at<cv::Vec3b>(20, x);
        EXPECT_EQ(right, cv::Vec3b::all(right[0])) << right;
        EXPECT_EQ(values(20, x - 1) < values(20, x), left[1] < right[1]) << x;
    }
}

// Both entry points agree in every mode, for either QImage format, and one instance reused on
// images of changing size gives what a fresh instance gives. Empty images give empty images;
// images that are not 8-bit colour are rejected.
TEST(ImageNormalizerTest, BothEntryPointsAgreeReusedInstancesFollowTheSizeAndEmptyGivesEmpty)
{
    for (int mode : {0, 1, 2, kModePassThrough}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        ImageNormalizer reused(mode);
        for (const cv::Size& size : {cv::Size(32, 24), cv::Size(64, 64), kSampleSize, cv::Size(8, 4)}) {
            cv::Mat image(size, CV_8UC3);
            cv::RNG(size.area()).fill(image, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
            const cv::Mat expected = ImageNormalizer(mode).normalize(image, 2);
            EXPECT_TRUE(sameImage(reused.normalize(image, 2), expected)) << size;
            for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32}) {
                const QImage result = reused.normalize(toQImage(image, format), 2);
                EXPECT_EQ(result.format(), format);
                EXPECT_TRUE(sameImage(toBgr(result), expected)) << size;
            }
        }
        const cv::Mat empty = reused.normalize(cv::Mat(0, 0, CV_8UC3), 3);
        EXPECT_TRUE(empty.empty());
        EXPECT_EQ(empty.type(), CV_8UC3);
        EXPECT_TRUE(reused.normalize(cv::Mat(), 3).empty());
        EXPECT_TRUE(reused.normalize(QImage(), 3).isNull());
        EXPECT_TRUE(reused.adjustBrightness(QImage(), 0.5f).isNull());
        EXPECT_THROW(reused.normalize(cv::Mat(4, 4, CV_8UC1, cv::Scalar(1)), 1), cv::Exception);
        EXPECT_THROW(reused.normalize(cv::Mat(4, 4, CV_16UC3, cv::Scalar::all(1)), 1), cv::Exception);
    }
}

TEST(ImageNormalizerTest, AdjustBrightnessShiftsTheLumaAndSaturates)
{
    struct Case { float amount; int dark, light; };
    // Lumas 100 and 200; the shift is amount x 128, truncated, limited to +-128.
    const Case cases[] = {{0.0f, 100, 200}, {1.0f, 228, 255},  {2.0f, 228, 255}, {-1.0f, 0, 72},
                          {-5.0f, 0, 72},   {0.5f, 164, 255},  {-0.3f, 61, 161}};
    // The mode plays no part.
    for (int mode : {int(ImageNormalizer::ModeRetinex), kModePassThrough}) {
        ImageNormalizer normalizer(mode);
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " amount " << c.amount);
            const QImage result =
                normalizer.adjustBrightness(toQImage(bgrRow({cv::Vec3b::all(100), cv::Vec3b::all(200)})), c.amount);
            EXPECT_EQ(result.format(), QImage::Format_RGB32);
            EXPECT_EQ(result.pixel(0, 0), qRgb(c.dark, c.dark, c.dark));
            EXPECT_EQ(result.pixel(1, 0), qRgb(c.light, c.light, c.light));
        }
    }
}
