#include "FaceVector.h"

#include "FaceGeometry.h"
#include "TanTriggs.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <utility>

namespace {
// The photograph path tests the ellipse in single precision.
constexpr float kCentreXf = float(kEllipseCentreX);
constexpr float kCentreYf = float(kEllipseCentreY);
constexpr float kAxisXf = float(kEllipseAxisX);
constexpr float kAxisYDivisorf = float(kEllipseAxisYDivisor);
// A pixel counts for the mean when it is brighter than this (8-bit: any non-black pixel).
constexpr double kCountedLevel = 0.01;
// Background noise of a trimmed photograph: (r mod 100) - 50, that is -50 ... +49.
constexpr int kNoiseSpan = 100;
constexpr float kNoiseOffset = 50.0f;

std::vector<float> zeros(int count)
{
    return std::vector<float>(std::size_t(count), 0.0f);
}

// Channel 0 of an 8-bit image, row-major, as floats.
std::vector<float> firstChannel(const cv::Mat& image)
{
    std::vector<float> values;
    values.reserve(image.total());
    const int channels = image.channels();
    for (int y = 0; y < image.rows; ++y) {
        const uchar* row = image.ptr<uchar>(y);
        for (int x = 0; x < image.cols; ++x)
            values.push_back(float(row[x * channels]));
    }
    return values;
}

// Grey levels of a photograph: (11 R + 16 G + 5 B) >> 5.
std::vector<float> photoGrey(const QImage& image)
{
    std::vector<float> values;
    values.reserve(std::size_t(image.width()) * std::size_t(image.height()));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            values.push_back(float((11 * qRed(pixel) + 16 * qGreen(pixel) + 5 * qBlue(pixel)) >> 5));
        }
    return values;
}

// q of the face ellipse for pixel (x, y) of a W x H photograph, in single precision.
float ellipseLevel(int x, int y, int width, int height)
{
    const float a = kAxisXf * float(width);
    const float b = float(height) / kAxisYDivisorf;
    const float dx = (float(x) - kCentreXf * float(width)) / a;
    const float dy = (float(y) - kCentreYf * float(height)) / b;
    return dx * dx + dy * dy;
}

// Sum and count of the pixels the mean of a photograph face is taken over.
void photoMeanTerms(const std::vector<float>& values, int width, int height, bool trimBackground,
                    int threshold, float& sum, int& count)
{
    sum = 0.0f;
    count = 0;
    for (int y = 0; y < height; ++y) {
        const float* row = values.data() + std::size_t(y) * width;
        if (!trimBackground) {
            for (int x = 0; x < width; ++x)
                if (ellipseLevel(x, y, width, height) < 1.0f) {
                    sum += row[x];
                    ++count;
                }
            continue;
        }
        int left = 0;
        while (left < width && !(row[left] < float(threshold)))
            ++left;
        int right = width - 1;
        while (right >= 0 && !(row[right] < float(threshold)))
            --right;
        for (int x = left; x <= right; ++x) {
            sum += row[x];
            ++count;
        }
    }
}

// Replaces the light run at the start of each row by the mean and the light run at its end by
// the mean plus noise, one draw a pixel, rows top to bottom.
void trimRows(std::vector<float>& values, int width, int height, int threshold, float mean,
              RandomSource& random)
{
    for (int y = 0; y < height; ++y) {
        float* row = values.data() + std::size_t(y) * width;
        for (int x = 0; x < width && !(row[x] < float(threshold)); ++x)
            row[x] = mean;
        for (int x = width - 1; x >= 0 && !(row[x] < float(threshold)); --x)
            row[x] = float(random.next() % kNoiseSpan) + mean - kNoiseOffset;
    }
}

} // namespace

cv::Mat createFaceMask(cv::Size size, int channels)
{
    cv::Mat mask(size, CV_8UC(channels), cv::Scalar::all(0));
    const int w = mask.cols;
    const int h = mask.rows;
    const cv::Point centre(int(w * kEllipseCentreX), int(h * kEllipseCentreY));
    const cv::Size axes(int(w * kEllipseAxisX), int(h / kEllipseAxisYDivisor));
    cv::ellipse(mask, centre, axes, 0.0, 0.0, 360.0, cv::Scalar(255, 255, 255, 0), cv::FILLED,
                cv::LINE_8, 0);
    return mask;
}

std::vector<float> maskedFaceVector(cv::Mat& image, const cv::Mat& mask)
{
    cv::bitwise_and(image, mask, image);
    std::vector<float> values = firstChannel(image);
    const int n = int(values.size());
    float sum = 0.0f;
    int count = 0;
    for (float v : values)
        if (v > kCountedLevel) {
            sum += v;
            ++count;
        }
    if (count == 0)
        return zeros(n); // nothing inside the face: no mean to standardise by
    const float mean = sum / float(count);
    for (float& v : values)
        if (v < kCountedLevel)
            v = mean;
    double squares = 0.0;
    for (float v : values) {
        const float d = v - mean;
        squares += double(d * d);
    }
    const double s = std::sqrt(squares / n);
    if (!(s > 0.0))
        return zeros(n); // a face of one level has no spread to standardise by
    for (float& v : values)
        v = float(double(v - mean) / s);
    return values;
}

std::vector<float> faceVector(cv::Mat& image, const cv::Mat& mask, LightNormalisation light)
{
    if (light == LightNormalisation::None)
        return maskedFaceVector(image, mask);
    cv::bitwise_and(image, mask, image);
    cv::Mat grey;
    cv::Mat greyMask;
    cv::extractChannel(image, grey, 0);
    cv::extractChannel(mask, greyMask, 0);
    cv::Mat normalised = TanTriggs::normaliseFace(grey, greyMask);
    return maskedFaceVector(normalised, greyMask);
}

std::vector<float> photoFaceVector(const QImage& image, bool trimBackground, int threshold,
                                   RandomSource& random, LightNormalisation light)
{
    const int width = image.width();
    const int height = image.height();
    std::vector<float> values = photoGrey(image);
    const int n = int(values.size());
    float sum = 0.0f;
    int count = 0;
    photoMeanTerms(values, width, height, trimBackground, threshold, sum, count);
    if (count == 0)
        return zeros(n); // every row trimmed away (or nothing inside the ellipse): no draws
    const float mean = sum / float(count);
    if (trimBackground)
        trimRows(values, width, height, threshold, mean, random);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (ellipseLevel(x, y, width, height) > 1.0f)
                values[std::size_t(y) * width + x] = mean;
    if (light != LightNormalisation::None) {
        cv::Mat grey;
        cv::Mat(height, width, CV_32F, values.data()).convertTo(grey, CV_8U);
        return faceVector(grey, createFaceMask(grey.size(), 1), light);
    }
    float squares = 0.0f;
    for (float v : values) {
        const float d = v - mean;
        squares += d * d;
    }
    const float s = std::sqrt(squares / float(n));
    if (!(s > 0.0f) || !std::isfinite(s))
        return zeros(n);
    for (float& v : values)
        v = (v - mean) / s;
    return values;
}

void mirrorFaceVector(std::vector<float>& vector, cv::Size size)
{
    for (int y = 0; y < size.height; ++y) {
        float* row = vector.data() + std::size_t(y) * std::size_t(size.width);
        for (int x = 0; x < size.width / 2; ++x)
            std::swap(row[x], row[size.width - 1 - x]);
    }
}
