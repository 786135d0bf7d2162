#include "ImageNormalizer.h"

#include <QImage>
#include <QStringList>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <string>
#include <vector>

namespace {
// A mode outside the three: the luma is left as split, so only the colour conversion acts.
constexpr int kModePassThrough = 7;

struct Rgb
{
    int r, g, b;
};

bool operator==(const Rgb& x, const Rgb& y)
{
    return x.r == y.r && x.g == y.g && x.b == y.b;
}

std::ostream& operator<<(std::ostream& out, const Rgb& c)
{
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

// One row of pixels, one per colour.
cv::Mat bgrRow(const std::vector<Rgb>& colours)
{
    cv::Mat image(1, int(colours.size()), CV_8UC3);
    for (size_t i = 0; i < colours.size(); ++i)
        image.at<cv::Vec3b>(0, int(i)) = cv::Vec3b(uchar(colours[i].b), uchar(colours[i].g), uchar(colours[i].r));
    return image;
}

Rgb bgrAt(const cv::Mat& image, int x, int y = 0)
{
    const cv::Vec3b p = image.at<cv::Vec3b>(y, x);
    return {p[2], p[1], p[0]};
}

QImage toQImage(const cv::Mat& bgr, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(bgr.cols, bgr.rows, format);
    for (int y = 0; y < bgr.rows; ++y)
        for (int x = 0; x < bgr.cols; ++x) {
            const cv::Vec3b p = bgr.at<cv::Vec3b>(y, x);
            image.setPixel(x, y, qRgb(p[2], p[1], p[0]));
        }
    return image;
}

cv::Mat toMat(const QImage& image)
{
    cv::Mat bgr(image.height(), image.width(), CV_8UC3);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            bgr.at<cv::Vec3b>(y, x) = cv::Vec3b(uchar(qBlue(p)), uchar(qGreen(p)), uchar(qRed(p)));
        }
    return bgr;
}

cv::Mat greyImage(const cv::Mat1b& values)
{
    cv::Mat bgr;
    cv::cvtColor(values, bgr, cv::COLOR_GRAY2BGR);
    return bgr;
}

bool sameImage(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0.0;
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
    ImageNormalizer logOnly(ImageNormalizer::ModeLog);
    return bgrAt(logOnly.normalize(bgrRow({{luma, luma, luma}}), 1), 0).g;
}

// Collects the debug lines written during the life of the object.
class DebugLog
{
public:
    DebugLog() { previous = qInstallMessageHandler(&DebugLog::handle); lines().clear(); }
    ~DebugLog() { qInstallMessageHandler(previous); }
    static QStringList& lines()
    {
        static QStringList all;
        return all;
    }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message) { lines() << message; }
    QtMessageHandler previous;
};
} // namespace

class ImageNormalizerTest : public ::testing::Test
{
};

TEST_F(ImageNormalizerTest, ColourRoundTripIsExactForGreysAndSlightlyLossyForColours)
{
    std::vector<Rgb> colours = {{255, 0, 0}, {200, 150, 100}};
    std::vector<Rgb> expected = {{254, 0, 0}, {200, 150, 99}};
    for (int v = 0; v <= 255; ++v) {
        colours.push_back({v, v, v});
        expected.push_back({v, v, v});
    }
    ImageNormalizer passThrough(kModePassThrough);
    const cv::Mat source = bgrRow(colours);
    const cv::Mat fromMat = passThrough.normalize(source, 1);
    const cv::Mat fromQt = toMat(passThrough.normalize(toQImage(source), 1));
    ASSERT_EQ(fromMat.size(), source.size());
    ASSERT_EQ(fromMat.type(), CV_8UC3);
    for (size_t i = 0; i < colours.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "colour " << colours[i]);
        EXPECT_EQ(bgrAt(fromMat, int(i)), expected[i]);
        EXPECT_EQ(bgrAt(fromQt, int(i)), expected[i]);
    }
}

TEST_F(ImageNormalizerTest, LogModeTruncatesOnTheWayBack)
{
    // Single-precision logs come back just under the integer, which truncation drops; only
    // lumas of the form 2^k - 1 survive.
    const std::vector<std::pair<int, int>> cases = {{2, 1}, {4, 3}, {8, 7}, {0, 0}, {1, 1}, {3, 3}, {7, 7},
                                                    {15, 15}, {31, 31}, {63, 63}, {127, 127}, {255, 255}};
    std::vector<Rgb> colours;
    for (const auto& c : cases)
        colours.push_back({c.first, c.first, c.first});
    ImageNormalizer logOnly(ImageNormalizer::ModeLog);
    const cv::Mat fromMat = logOnly.normalize(bgrRow(colours), 1);
    const cv::Mat fromQt = toMat(logOnly.normalize(toQImage(bgrRow(colours)), 1));
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("luma " + std::to_string(cases[i].first));
        const int y = cases[i].second;
        EXPECT_EQ(bgrAt(fromMat, int(i)), (Rgb{y, y, y}));
        EXPECT_EQ(bgrAt(fromQt, int(i)), (Rgb{y, y, y}));
    }
}

TEST_F(ImageNormalizerTest, RetinexOnAUniformImageEqualsLogMode)
{
    const Rgb colours[] = {{200, 150, 100}, {30, 30, 30}, {255, 255, 255}, {0, 0, 0}, {90, 200, 40}};
    const cv::Size sizes[] = {{64, 64}, {35, 45}, {20, 12}};
    ImageNormalizer logOnly(ImageNormalizer::ModeLog);
    ImageNormalizer retinex(ImageNormalizer::ModeRetinex);
    for (const Rgb& colour : colours) {
        for (const cv::Size& size : sizes) {
            for (int iterations : {1, 3}) {
                SCOPED_TRACE(testing::Message() << colour << " " << size << " iterations " << iterations);
                const cv::Mat image(size, CV_8UC3, cv::Scalar(colour.b, colour.g, colour.r));
                EXPECT_TRUE(sameImage(retinex.normalize(image, iterations), logOnly.normalize(image, 1)));
            }
        }
    }
}

TEST_F(ImageNormalizerTest, RetinexWithoutIterationsGivesAFlatImageAtTheBrightestLuma)
{
    const cv::Mat image = greyImage(randomGreys(cv::Size(48, 40), 20, 199, 5));
    const int flat = throughLog(199);
    ImageNormalizer retinex(ImageNormalizer::ModeRetinex);
    for (int iterations : {0, -1, -5}) {
        SCOPED_TRACE("iterations " + std::to_string(iterations));
        const cv::Mat result = retinex.normalize(image, iterations);
        EXPECT_TRUE(sameImage(result, cv::Mat(image.size(), CV_8UC3, cv::Scalar::all(flat))));
    }
}

TEST_F(ImageNormalizerTest, PyramidDepthIsTheLargestCommonPowerOfTwo)
{
    struct Case { int width, height, depth; };
    const Case cases[] = {{64, 64, 6}, {35, 45, 0}, {48, 64, 4}, {12, 18, 1}, {320, 240, 4},
                          {96, 96, 5}, {1, 1, 0},   {0, 10, 0},  {10, 0, 0},  {80, 45, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        EXPECT_EQ(ImageNormalizer::pyramidDepth(c.width, c.height), c.depth);
    }
}

TEST_F(ImageNormalizerTest, CoarseLevelsCarryLightAcrossTheImage)
{
    // A bright patch in the top-left corner of a dark image, one iteration. A single full
    // resolution level (35 x 45) moves information a few pixels only, so the far corner stays
    // at the brightest value; the 64 x 64 pyramid, whose top level is one cell, carries the
    // patch's brightness to the far corner and darkens it.
    const int brightest = throughLog(250);
    ImageNormalizer retinex(ImageNormalizer::ModeRetinex);
    for (const cv::Size& size : {cv::Size(35, 45), cv::Size(64, 64)}) {
        SCOPED_TRACE(testing::Message() << size);
        cv::Mat1b values(size, uchar(40));
        values(cv::Rect(0, 0, 4, 4)).setTo(250);
        const cv::Mat result = retinex.normalize(greyImage(values), 1);
        const int farCorner = bgrAt(result, size.width - 1, size.height - 1).g;
        if (ImageNormalizer::pyramidDepth(size.width, size.height) == 0)
            EXPECT_EQ(farCorner, brightest);
        else
            EXPECT_LT(farCorner, brightest);
    }
}

TEST_F(ImageNormalizerTest, RetinexEvensOutUnevenLighting)
{
    // A random texture lit at a quarter strength on the left and fully on the right: after
    // a few retinex iterations the two halves are much closer in brightness. (More iterations
    // let the estimate settle back towards the picture's own ratios.)
    const cv::Size size(64, 48);
    cv::Mat1b values = randomGreys(size, 100, 250, 11);
    values(cv::Rect(0, 0, 32, 48)) /= 4;
    const cv::Mat result = ImageNormalizer(ImageNormalizer::ModeRetinex).normalize(greyImage(values), 2);
    cv::Mat1b resultGrey;
    cv::cvtColor(result, resultGrey, cv::COLOR_BGR2GRAY);
    const double before = cv::mean(values(cv::Rect(32, 0, 32, 48)))[0] / cv::mean(values(cv::Rect(0, 0, 32, 48)))[0];
    const double after = cv::mean(resultGrey(cv::Rect(32, 0, 32, 48)))[0] / cv::mean(resultGrey(cv::Rect(0, 0, 32, 48)))[0];
    EXPECT_GT(before, 3.5);
    EXPECT_LT(after, 2.5);
}

TEST_F(ImageNormalizerTest, NonSquareImagesKeepTheirGeometry)
{
    // A dark block in a bright image stays where it is, in both orientations.
    for (const cv::Size& size : {cv::Size(64, 32), cv::Size(32, 64), cv::Size(45, 35)}) {
        SCOPED_TRACE(testing::Message() << size);
        cv::Mat1b values(size, uchar(220));
        const cv::Rect block(size.width - 12, 4, 8, 6);
        values(block).setTo(30);
        const cv::Mat result = ImageNormalizer(ImageNormalizer::ModeRetinex).normalize(greyImage(values), 3);
        cv::Mat1b resultGrey;
        cv::cvtColor(result, resultGrey, cv::COLOR_BGR2GRAY);
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x)
                ASSERT_EQ(resultGrey(y, x) < 120, block.contains(cv::Point(x, y))) << "pixel " << x << ", " << y;
    }
}

TEST_F(ImageNormalizerTest, EqualizeModeEqualisesTheLumaHistogram)
{
    // Grey images keep their colour through the conversion, so the result is the histogram
    // equalisation of the image itself (35 columns: rows are not 4-byte aligned).
    const cv::Mat1b values = randomGreys(cv::Size(35, 45), 100, 130, 3);
    cv::Mat1b equalised;
    cv::equalizeHist(values, equalised);
    ImageNormalizer equalizer(ImageNormalizer::ModeEqualize);
    EXPECT_TRUE(sameImage(equalizer.normalize(greyImage(values), 1), greyImage(equalised)));
    EXPECT_TRUE(sameImage(toMat(equalizer.normalize(toQImage(greyImage(values)), 1)), greyImage(equalised)));
}

TEST_F(ImageNormalizerTest, BothEntryPointsAgreeInEveryMode)
{
    cv::Mat image(24, 32, CV_8UC3);
    cv::RNG(17).fill(image, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
    for (int mode : {0, 1, 2, kModePassThrough}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        ImageNormalizer normalizer(mode);
        for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32}) {
            const QImage result = normalizer.normalize(toQImage(image, format), 2);
            EXPECT_EQ(result.format(), format);
            EXPECT_EQ(result.size(), QSize(32, 24));
            EXPECT_TRUE(sameImage(toMat(result), normalizer.normalize(image, 2)));
        }
    }
}

TEST_F(ImageNormalizerTest, ReusedPlanesFollowTheImageSize)
{
    // One instance, images of changing size: each result matches a fresh instance's.
    ImageNormalizer reused(ImageNormalizer::ModeRetinex);
    for (const cv::Size& size : {cv::Size(64, 64), cv::Size(35, 45), cv::Size(8, 4), cv::Size(64, 64)}) {
        SCOPED_TRACE(testing::Message() << size);
        cv::Mat image(size, CV_8UC3);
        cv::RNG(size.area()).fill(image, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
        EXPECT_TRUE(sameImage(reused.normalize(image, 2), ImageNormalizer(ImageNormalizer::ModeRetinex).normalize(image, 2)));
    }
}

TEST_F(ImageNormalizerTest, AdjustBrightnessShiftsTheLumaAndSaturates)
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
            const QImage result = normalizer.adjustBrightness(toQImage(bgrRow({{100, 100, 100}, {200, 200, 200}})), c.amount);
            EXPECT_EQ(result.format(), QImage::Format_RGB32);
            EXPECT_EQ(result.pixel(0, 0), qRgb(c.dark, c.dark, c.dark));
            EXPECT_EQ(result.pixel(1, 0), qRgb(c.light, c.light, c.light));
        }
    }
}

TEST_F(ImageNormalizerTest, EmptyImagesGiveEmptyImages)
{
    for (int mode : {0, 1, 2, kModePassThrough}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        ImageNormalizer normalizer(mode);
        const cv::Mat result = normalizer.normalize(cv::Mat(0, 0, CV_8UC3), 3);
        EXPECT_TRUE(result.empty());
        EXPECT_EQ(result.type(), CV_8UC3);
        EXPECT_TRUE(normalizer.normalize(cv::Mat(), 3).empty());
        EXPECT_TRUE(normalizer.normalize(QImage(), 3).isNull());
        EXPECT_TRUE(normalizer.adjustBrightness(QImage(), 0.5f).isNull());
    }
}

TEST_F(ImageNormalizerTest, NormalizeLogsItsTimeAndAdjustBrightnessLogsNothing)
{
    const DebugLog log;
    ImageNormalizer normalizer(ImageNormalizer::ModeLog);
    normalizer.normalize(cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(9)), 1);
    normalizer.normalize(toQImage(cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(9))), 1);
    normalizer.adjustBrightness(toQImage(cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(9))), 0.1f);
    ASSERT_EQ(DebugLog::lines().size(), 2);
    for (const QString& line : DebugLog::lines())
        EXPECT_TRUE(QRegExp("\\d+ msec per frame normalization").exactMatch(line)) << line.toStdString();
}

TEST_F(ImageNormalizerTest, ImagesThatAreNotEightBitColourAreRejected)
{
    ImageNormalizer normalizer(ImageNormalizer::ModeLog);
    EXPECT_THROW(normalizer.normalize(cv::Mat(4, 4, CV_8UC1, cv::Scalar(1)), 1), cv::Exception);
    EXPECT_THROW(normalizer.normalize(cv::Mat(4, 4, CV_16UC3, cv::Scalar::all(1)), 1), cv::Exception);
}
