#include "LivenessFeatures.h"

#include <opencv2/imgproc.hpp>

#include <array>
#include <stdexcept>

namespace {
// The sides the face box is scaled to, finest first.
constexpr int kCropSides[kLivenessScales] = {64, 32};

// The bin of each 8-bit pattern: uniform patterns (at most two 0/1 changes around the circle)
// get bins 0-57 in code order, all others share bin 58.
std::array<int, 256> uniformBins()
{
    std::array<int, 256> bins{};
    int next = 0;
    for (int code = 0; code < 256; ++code) {
        int changes = 0;
        for (int bit = 0; bit < 8; ++bit)
            changes += ((code >> bit) & 1) != ((code >> ((bit + 1) % 8)) & 1);
        bins[code] = changes <= 2 ? next++ : kLbpBins - 1;
    }
    return bins;
}
// Y, Cr, Cb, H, S and V of a BGR image.
std::vector<cv::Mat> colourChannels(const cv::Mat& bgr)
{
    cv::Mat ycrcb;
    cv::Mat hsv;
    cv::cvtColor(bgr, ycrcb, cv::COLOR_BGR2YCrCb);
    cv::cvtColor(bgr, hsv, cv::COLOR_BGR2HSV);
    std::vector<cv::Mat> channels;
    cv::split(ycrcb, channels);
    std::vector<cv::Mat> hsvChannels;
    cv::split(hsv, hsvChannels);
    channels.insert(channels.end(), hsvChannels.begin(), hsvChannels.end());
    return channels;
}
} // namespace

std::vector<float> uniformLbpHistogram(const cv::Mat& channel)
{
    static const std::array<int, 256> bins = uniformBins();
    // The 8 neighbours, clockwise from the top left.
    static const int dy[8] = {-1, -1, -1, 0, 1, 1, 1, 0};
    static const int dx[8] = {-1, 0, 1, 1, 1, 0, -1, -1};
    std::vector<float> histogram(kLbpBins, 0.0f);
    for (int y = 1; y + 1 < channel.rows; ++y) {
        for (int x = 1; x + 1 < channel.cols; ++x) {
            const uchar centre = channel.at<uchar>(y, x);
            int code = 0;
            for (int k = 0; k < 8; ++k)
                code |= (channel.at<uchar>(y + dy[k], x + dx[k]) >= centre) << k;
            histogram[bins[code]] += 1.0f;
        }
    }
    const float pixels = float((channel.rows - 2) * (channel.cols - 2));
    for (float& count : histogram)
        count /= pixels;
    return histogram;
}

std::vector<float> livenessFeatures(const cv::Mat& frame, const cv::Rect& face)
{
    const cv::Rect inside = face & cv::Rect(0, 0, frame.cols, frame.rows);
    if (frame.type() != CV_8UC3 || inside.width < 3 || inside.height < 3)
        throw std::logic_error("liveness needs a BGR frame and a face box in it");
    std::vector<float> features;
    features.reserve(kLivenessFeatureCount);
    for (int side : kCropSides) {
        cv::Mat crop;
        cv::resize(frame(inside), crop, cv::Size(side, side), 0, 0, cv::INTER_AREA);
        for (const cv::Mat& channel : colourChannels(crop)) {
            const std::vector<float> histogram = uniformLbpHistogram(channel);
            features.insert(features.end(), histogram.begin(), histogram.end());
        }
    }
    return features;
}
