#include "ImageNormalizer.h"

#include <QDebug>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <ctime>

namespace {
// Integer YCbCr in 16.16 fixed point: luma weights 0.299, 0.587, 0.114; chroma scales
// 0.564 (Cb) and 0.713 (Cr); the way back 1.402 (R from Cr), 0.344 and 0.714 (G from Cb and
// Cr), 1.772 (B from Cb). The chroma planes carry an offset of 128, which the clamping bounds
// of the way back absorb.
constexpr int kLumaRed = 19595;
constexpr int kLumaGreen = 38470;
constexpr int kLumaBlue = 7471;
constexpr int kCbScale = 36962;
constexpr int kCrScale = 46727;
constexpr int kRedFromCr = 91881;
constexpr int kGreenFromCb = 22544;
constexpr int kGreenFromCr = 46793;
constexpr int kBlueFromCb = 116129;
constexpr int kFixedShift = 16;
constexpr int kChromaOffset = 128;

// Luma in the log domain: log2(Y + 1) / 8, so that 255 maps to 1.
constexpr double kLogScale = 0.125;
constexpr double kLogRange = 8.0;
// Brightness shifts are amount x 128, limited to one full half-range either way.
constexpr float kBrightnessStep = 128.0f;

// The eight neighbour directions of a retinex iteration, (row offset, column offset), in the
// order they are applied.
constexpr int kDirections[8][2] = {{-1, 0}, {-1, 1}, {0, 1}, {1, 1}, {1, 0}, {1, -1}, {0, -1}, {-1, -1}};

int clampChroma(int value)
{
    if (value > 127)
        return 255;
    if (value < -128)
        return 0;
    return value + kChromaOffset;
}

int greatestCommonDivisor(int a, int b)
{
    if (a == 0 || b == 0)
        return 0;
    while (b != 0) {
        const int rest = a % b;
        a = b;
        b = rest;
    }
    return a;
}

// Means of the s x s blocks of `plane` (sums in double, stored as float).
cv::Mat1f blockMeans(const cv::Mat1f& plane, int s)
{
    if (s == 1)
        return plane.clone();
    cv::Mat1f means(plane.rows / s, plane.cols / s);
    for (int r = 0; r < means.rows; ++r) {
        for (int c = 0; c < means.cols; ++c) {
            double sum = 0.0;
            for (int i = 0; i < s; ++i)
                for (int j = 0; j < s; ++j)
                    sum += plane(r * s + i, c * s + j);
            means(r, c) = float(sum / (double(s) * s));
        }
    }
    return means;
}

// One retinex direction: ratio-product with the neighbour at (a, b), reset at mx, and the
// average with the current estimate. Cells whose neighbour lies outside keep their estimate.
void retinexDirection(cv::Mat1f& op, const cv::Mat1f& rr, int a, int b, float mx)
{
    cv::Mat1f ip(op.size());
    for (int r = 0; r < op.rows; ++r) {
        for (int c = 0; c < op.cols; ++c) {
            const int nr = r + a;
            const int nc = c + b;
            if (nr < 0 || nr >= op.rows || nc < 0 || nc >= op.cols) {
                ip(r, c) = op(r, c);
                continue;
            }
            float product = op(nr, nc) + rr(r, c);
            product = product - rr(nr, nc);
            ip(r, c) = std::min(product, mx);
        }
    }
    for (int r = 0; r < op.rows; ++r)
        for (int c = 0; c < op.cols; ++c)
            op(r, c) = (op(r, c) + ip(r, c)) * 0.5f;
}

// Each cell repeated into a 2 x 2 block.
cv::Mat1f doubled(const cv::Mat1f& op)
{
    cv::Mat1f result(op.rows * 2, op.cols * 2);
    for (int r = 0; r < result.rows; ++r)
        for (int c = 0; c < result.cols; ++c)
            result(r, c) = op(r / 2, c / 2);
    return result;
}

void logElapsed(std::clock_t start)
{
    const long elapsedMs = long((std::clock() - start) * 1000 / CLOCKS_PER_SEC);
    qDebug() << elapsedMs << "msec per frame normalization";
}
} // namespace

ImageNormalizer::ImageNormalizer(int mode)
    : mode(mode)
{
}

cv::Mat ImageNormalizer::normalize(const cv::Mat& image, int iterations)
{
    const std::clock_t start = std::clock();
    CV_Assert(image.empty() || image.type() == CV_8UC3);
    width = image.cols;
    height = image.rows;
    cv::Mat target(height, width, image.type());
    splitColour(image);
    processLuma(iterations);
    mergeColour(target);
    logElapsed(start);
    return target;
}

QImage ImageNormalizer::normalize(const QImage& image, int iterations)
{
    const std::clock_t start = std::clock();
    width = image.width();
    height = image.height();
    QImage target(image.size(), image.format());
    splitColour(image);
    processLuma(iterations);
    mergeColour(target);
    logElapsed(start);
    return target;
}

QImage ImageNormalizer::adjustBrightness(const QImage& image, float amount)
{
    width = image.width();
    height = image.height();
    QImage target(image.size(), image.format());
    splitColour(image);
    const float delta = std::clamp(amount * kBrightnessStep, -kBrightnessStep, kBrightnessStep);
    for (std::uint8_t& luma : lumaPlane)
        luma = std::uint8_t(std::clamp(int(luma + delta), 0, 255));
    mergeColour(target);
    return target;
}

int ImageNormalizer::pyramidDepth(int width, int height)
{
    const int g = greatestCommonDivisor(width, height);
    int p = 1;
    while (p * 2 <= g)
        p *= 2;
    while (p > 1 && (height % p != 0 || width % p != 0))
        p /= 2;
    int depth = 0;
    while ((1 << depth) < p)
        ++depth;
    return depth;
}

void ImageNormalizer::allocatePlanes()
{
    const size_t size = size_t(width) * size_t(height);
    lumaPlane.assign(size, 0);
    crPlane.assign(size, 0);
    cbPlane.assign(size, 0);
}

void ImageNormalizer::splitColour(const cv::Mat& image)
{
    allocatePlanes();
    for (int y = 0; y < height; ++y) {
        const cv::Vec3b* row = image.ptr<cv::Vec3b>(y);
        for (int x = 0; x < width; ++x)
            splitPixel(y * width + x, row[x][2], row[x][1], row[x][0]);
    }
}

void ImageNormalizer::splitColour(const QImage& image)
{
    allocatePlanes();
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = image.pixel(x, y);
            splitPixel(y * width + x, qRed(pixel), qGreen(pixel), qBlue(pixel));
        }
    }
}

void ImageNormalizer::splitPixel(int index, int red, int green, int blue)
{
    const int luma = (kLumaRed * red + kLumaGreen * green + kLumaBlue * blue) >> kFixedShift;
    const int cb = ((blue - luma) * kCbScale) >> kFixedShift;
    const int cr = ((red - luma) * kCrScale) >> kFixedShift;
    lumaPlane[index] = std::uint8_t(luma);
    cbPlane[index] = std::uint8_t(clampChroma(cb));
    crPlane[index] = std::uint8_t(clampChroma(cr));
}

void ImageNormalizer::mergeColour(cv::Mat& target) const
{
    for (int y = 0; y < height; ++y) {
        cv::Vec3b* row = target.ptr<cv::Vec3b>(y);
        for (int x = 0; x < width; ++x) {
            int red = 0, green = 0, blue = 0;
            mergePixel(y * width + x, red, green, blue);
            row[x] = cv::Vec3b(std::uint8_t(blue), std::uint8_t(green), std::uint8_t(red));
        }
    }
}

void ImageNormalizer::mergeColour(QImage& target) const
{
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int red = 0, green = 0, blue = 0;
            mergePixel(y * width + x, red, green, blue);
            target.setPixel(x, y, qRgba(red, green, blue, 255));
        }
    }
}

void ImageNormalizer::mergePixel(int index, int& red, int& green, int& blue) const
{
    const int luma = lumaPlane[index];
    const int cb = cbPlane[index];
    const int cr = crPlane[index];
    // The offset chroma goes in as stored; the bounds below subtract its contribution.
    const int r = luma + ((cr * kRedFromCr) >> kFixedShift);
    const int g = luma - ((cb * kGreenFromCb + cr * kGreenFromCr) >> kFixedShift);
    const int b = luma + ((cb * kBlueFromCb) >> kFixedShift);
    red = r > 434 ? 255 : (r <= 178 ? 0 : r - 179);
    green = g > 120 ? 255 : (g < -135 ? 0 : g + 135);
    blue = b > 481 ? 255 : (b < 226 ? 0 : b - 226);
}

void ImageNormalizer::processLuma(int iterations)
{
    if (lumaPlane.empty())
        return;
    switch (mode) {
    case ModeRetinex:
        toLog();
        retinex(iterations);
        fromLog();
        break;
    case ModeLog:
        toLog();
        fromLog();
        break;
    case ModeEqualize:
        equalize();
        break;
    default:
        break;
    }
}

void ImageNormalizer::toLog()
{
    logPlane.resize(lumaPlane.size());
    for (size_t i = 0; i < lumaPlane.size(); ++i)
        logPlane[i] = float(std::log2(lumaPlane[i] + 1.0) * kLogScale);
}

void ImageNormalizer::fromLog()
{
    lumaPlane.resize(logPlane.size());
    for (size_t i = 0; i < logPlane.size(); ++i)
        lumaPlane[i] = std::uint8_t(int(std::trunc(std::pow(2.0, kLogRange * logPlane[i]) - 1.0)));
}

void ImageNormalizer::equalize()
{
    const cv::Mat luma(height, width, CV_8UC1, lumaPlane.data());
    cv::Mat equalised;
    cv::equalizeHist(luma, equalised);
    std::copy(equalised.datastart, equalised.dataend, lumaPlane.begin());
}

void ImageNormalizer::retinex(int iterations)
{
    const cv::Mat1f plane(height, width, logPlane.data());
    const int depth = pyramidDepth(width, height);
    const float mx = *std::max_element(logPlane.begin(), logPlane.end());
    cv::Mat1f op(height >> depth, width >> depth, mx);
    for (int level = 0; level <= depth; ++level) {
        const cv::Mat1f rr = blockMeans(plane, 1 << (depth - level));
        for (int i = 0; i < iterations; ++i)
            for (const auto& direction : kDirections)
                retinexDirection(op, rr, direction[0], direction[1], mx);
        if (level < depth)
            op = doubled(op);
    }
    std::copy(op.begin(), op.end(), logPlane.begin());
}
