#include "FaceGeometry.h"
#include "FaceVector.h"
#include "ModelFiles.h"
#include "RandomSource.h"

#include <QColor>
#include <QImage>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <vector>

namespace {

constexpr int kWidth = kSampleWidth;
constexpr int kHeight = kSampleHeight;
constexpr int kValues = kWidth * kHeight;

cv::Mat randomSample(unsigned seed, int low = 1, int high = 256, int type = CV_8UC1)
{
    cv::Mat image(kHeight, kWidth, type);
    cv::RNG rng(seed);
    rng.fill(image, cv::RNG::UNIFORM, low, high);
    return image;
}

// Mean and (population) standard deviation of the values.
cv::Scalar meanAndDeviation(const std::vector<float>& v)
{
    cv::Scalar mean, deviation;
    cv::meanStdDev(v, mean, deviation);
    return {mean[0], deviation[0]};
}

// The next value of a generator after `draws` draws from its start.
int valueAfter(int draws)
{
    RandomSource random;
    for (int i = 0; i < draws; ++i)
        random.next();
    return random.next();
}

// The ellipse of FaceGeometry.h blanks only the corners of a sample.
TEST(FaceMaskTest, EllipseBlanksOnlyTheCornersInEveryChannel)
{
    const cv::Mat mask = createFaceMask(kSampleSize, 1);
    ASSERT_EQ(mask.type(), CV_8UC1);
    const std::vector<cv::Point> outside = {{0, 0}, {34, 0}, {0, 44}, {34, 44}, {7, 44}, {0, 10}};
    for (const cv::Point& p : outside)
        EXPECT_EQ(mask.at<uchar>(p), 0) << p;
    const std::vector<cv::Point> inside = {{17, 0}, {17, 44}, {17, 18}, {0, 18}, {34, 18}, {5, 18}, {29, 18}};
    for (const cv::Point& p : inside)
        EXPECT_EQ(mask.at<uchar>(p), 255) << p;
    // The lower corners are larger than the upper ones.
    const int upperBlank = kWidth * 10 - cv::countNonZero(mask.rowRange(0, 10));
    const int lowerBlank = kWidth * 10 - cv::countNonZero(mask.rowRange(kHeight - 10, kHeight));
    EXPECT_GT(lowerBlank, upperBlank);
    EXPECT_GT(upperBlank, 0);

    // Colour masks repeat it in three channels; a fourth stays blank.
    for (int channels : {3, 4}) {
        SCOPED_TRACE(channels);
        const cv::Mat colour = createFaceMask(kSampleSize, channels);
        ASSERT_EQ(colour.channels(), channels);
        std::vector<cv::Mat> planes;
        cv::split(colour, planes);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(cv::countNonZero(planes[c] != mask), 0) << "channel " << c;
        if (channels == 4) {
            EXPECT_EQ(cv::countNonZero(planes[3]), 0);
        }
    }
}

// Standardised, with exact zeros where the ellipse blanks the sample (in place) and where a
// pixel inside it is black (it takes the mean); faces without spread give zeros. Only channel 0
// of a colour sample is read: see FaceMatcherTest.OnlyChannelZeroOfAColourSampleCounts.
TEST(MaskedFaceVectorTest, StandardisedWithExactZerosWhereBlankedOrBlack)
{
    const cv::Mat mask = createFaceMask(kSampleSize, 1);
    cv::Mat image = randomSample(1);
    image.at<uchar>(20, 17) = 0;
    const cv::Mat original = image.clone();
    const std::vector<float> v = maskedFaceVector(image, mask);
    ASSERT_EQ(int(v.size()), kValues);
    EXPECT_NEAR(meanAndDeviation(v)[0], 0.0, 1e-5);
    EXPECT_NEAR(meanAndDeviation(v)[1], 1.0, 1e-5);
    EXPECT_EQ(v[20 * kWidth + 17], 0.0f);
    EXPECT_NE(v[20 * kWidth + 16], 0.0f);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const bool blanked = mask.at<uchar>(y, x) == 0;
            if (blanked) {
                EXPECT_EQ(v[y * kWidth + x], 0.0f) << x << "," << y;
                EXPECT_EQ(image.at<uchar>(y, x), 0) << "masked in place " << x << "," << y;
            } else {
                EXPECT_EQ(image.at<uchar>(y, x), original.at<uchar>(y, x));
            }
        }
    // Brighter pixels stay brighter; converting twice gives the same vector.
    for (int x = 1; x < kWidth; ++x) {
        const int left = original.at<uchar>(18, x - 1), right = original.at<uchar>(18, x);
        EXPECT_EQ(left < right, v[18 * kWidth + x - 1] < v[18 * kWidth + x]) << x;
    }
    EXPECT_EQ(maskedFaceVector(image, mask), v);
    for (int level : {0, 120}) {
        cv::Mat flat(kSampleSize, CV_8UC1, cv::Scalar(level));
        EXPECT_EQ(maskedFaceVector(flat, mask), std::vector<float>(kValues, 0.0f)) << level;
    }
}

class PhotoFaceVectorTest : public ::testing::Test
{
protected:
    // A dark face of random levels 50 ... 150.
    static QImage darkPhoto(unsigned seed) { return noisePhoto(kWidth, kHeight, seed, 50, 151); }

    static void setGrey(QImage& photo, int x, int y, int level)
    {
        photo.setPixel(x, y, qRgb(level, level, level));
    }

    RandomSource random;
};

TEST_F(PhotoFaceVectorTest, GreyIsElevenSixteenFiveThirtySeconds)
{
    QImage colour(kWidth, kHeight, QImage::Format_RGB32);
    QImage grey(kWidth, kHeight, QImage::Format_RGB32);
    cv::RNG rng(7);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int r = rng.uniform(0, 256), g = rng.uniform(0, 256), b = rng.uniform(0, 256);
            colour.setPixel(x, y, qRgb(r, g, b));
            const int level = (11 * r + 16 * g + 5 * b) >> 5;
            grey.setPixel(x, y, qRgb(level, level, level));
        }
    RandomSource other;
    EXPECT_EQ(photoFaceVector(colour, false, 255, random), photoFaceVector(grey, false, 255, other));
}

TEST_F(PhotoFaceVectorTest, WithoutTrimmingOnlyTheOutsideTakesTheMeanAndFlatFacesGiveZeros)
{
    QImage photo = darkPhoto(8);
    setGrey(photo, 0, 18, 250); // on the ellipse (q exactly 1): keeps its value
    setGrey(photo, 0, 17, 250); // just outside
    const std::vector<float> v = photoFaceVector(photo, false, 255, random);
    ASSERT_EQ(int(v.size()), kValues);
    EXPECT_GT(v[18 * kWidth + 0], 1.0f);
    EXPECT_EQ(v[17 * kWidth + 0], 0.0f);
    EXPECT_EQ(v[0], 0.0f);
    EXPECT_EQ(v[44 * kWidth + 34], 0.0f);
    EXPECT_NEAR(meanAndDeviation(v)[1], 1.0, 0.05);
    EXPECT_EQ(random.next(), valueAfter(0));

    // Faces with nothing to standardise give zeros; a face trimmed away draws nothing.
    QImage flat(kWidth, kHeight, QImage::Format_RGB32);
    flat.fill(qRgb(100, 100, 100));
    EXPECT_EQ(photoFaceVector(flat, false, 255, random), std::vector<float>(kValues, 0.0f));
    flat.fill(qRgb(250, 250, 250));
    EXPECT_EQ(photoFaceVector(flat, true, 210, random), std::vector<float>(kValues, 0.0f));
    EXPECT_EQ(random.next(), valueAfter(1));
}

TEST_F(PhotoFaceVectorTest, TrimmingReplacesLightRowEndsWithMeanAndNoise)
{
    QImage photo = darkPhoto(9);
    const int firstRow = 15, lastRow = 20;
    for (int y = firstRow; y <= lastRow; ++y) {
        setGrey(photo, 0, y, 210); // light: not below the threshold
        setGrey(photo, 1, y, 230);
        for (int x = 32; x < kWidth; ++x)
            setGrey(photo, x, y, 240);
        setGrey(photo, 31, y, 209); // dark: stops the run
    }
    for (int x = 0; x < kWidth; ++x)
        setGrey(photo, x, 25, 250); // light throughout: the mean, no draws
    setGrey(photo, 10, 30, 60);
    setGrey(photo, 11, 30, 140);

    const std::vector<float> v = photoFaceVector(photo, true, 210, random);
    // Exactly three draws for each row with a light end, none for the light row.
    const int draws = 3 * (lastRow - firstRow + 1);
    EXPECT_EQ(random.next(), valueAfter(draws));

    for (int x = 0; x < kWidth; ++x)
        EXPECT_EQ(v[25 * kWidth + x], 0.0f) << "light row, column " << x;
    // Two known dark pixels give the spread that standardised the vector.
    const double s = (140.0 - 60.0) / (double(v[30 * kWidth + 11]) - double(v[30 * kWidth + 10]));
    RandomSource replay;
    for (int y = firstRow; y <= lastRow; ++y) {
        EXPECT_EQ(v[y * kWidth + 0], 0.0f) << "row " << y;
        EXPECT_EQ(v[y * kWidth + 1], 0.0f) << "row " << y;
        EXPECT_NE(v[y * kWidth + 31], 0.0f) << "row " << y;
        for (int x = kWidth - 1; x >= 32; --x) {
            const int noise = replay.next() % 100 - 50;
            EXPECT_NEAR(v[y * kWidth + x] * s, noise, 1e-3) << x << "," << y;
        }
    }
}

TEST(RandomSourceTest, ClassicSequenceFromTheFixedStart)
{
    RandomSource random;
    const std::vector<int> expected = {16838, 5758, 10113, 17515, 31051, 5627, 23010, 7419};
    for (int value : expected)
        EXPECT_EQ(random.next(), value);
    random.seed(1);
    EXPECT_EQ(random.next(), 16838);
}

} // namespace
