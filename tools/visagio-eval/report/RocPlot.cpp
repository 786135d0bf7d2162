#include "report/RocPlot.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace eval {

namespace {
constexpr int kWidth = 760;
constexpr int kHeight = 560;
constexpr int kLeft = 70;
constexpr int kRight = 20;
constexpr int kTop = 56;
constexpr int kBottom = 60;
// The axis spans 10^-4 ... 10^0; rates below it are drawn at its left edge.
constexpr int kFirstDecade = -4;
constexpr double kFont = 0.45;
constexpr int kLegendLine = 20;
const cv::Scalar kInk(40, 40, 40);
const cv::Scalar kGrid(225, 225, 225);
const cv::Scalar kChance(170, 170, 170);
// Distinct colours (BGR) for up to six curves.
const cv::Scalar kColours[] = {{40, 40, 220}, {200, 120, 30}, {60, 160, 60}, {0, 140, 255},
                               {130, 130, 130}, {170, 60, 170}};

cv::Scalar colourOf(std::size_t index)
{
    return kColours[index % (sizeof(kColours) / sizeof(kColours[0]))];
}

void text(cv::Mat& image, const std::string& words, cv::Point at, const cv::Scalar& colour = kInk)
{
    cv::putText(image, words, at, cv::FONT_HERSHEY_SIMPLEX, kFont, colour, 1, cv::LINE_AA);
}

std::string decadeLabel(int decade)
{
    static const char* const labels[] = {"0.01%", "0.1%", "1%", "10%", "100%"};
    return labels[decade - kFirstDecade];
}
} // namespace

RocPlot::RocPlot(std::string title) : title(std::move(title))
{
}

void RocPlot::add(Curve curve)
{
    curves.push_back(std::move(curve));
}

cv::Point2d RocPlot::toPixel(double far, double tar) const
{
    const double lowest = std::pow(10.0, kFirstDecade);
    const double x = (std::log10(std::max(far, lowest)) - kFirstDecade) / -kFirstDecade;
    const double plotWidth = kWidth - kLeft - kRight;
    const double plotHeight = kHeight - kTop - kBottom;
    return {kLeft + x * plotWidth, kTop + (1.0 - tar) * plotHeight};
}

void RocPlot::drawAxes(cv::Mat& image) const
{
    for (int decade = kFirstDecade; decade <= 0; ++decade) {
        const cv::Point2d bottom = toPixel(std::pow(10.0, decade), 0.0);
        cv::line(image, bottom, toPixel(std::pow(10.0, decade), 1.0), kGrid, 1, cv::LINE_AA);
        text(image, decadeLabel(decade), cv::Point(int(bottom.x) - 18, int(bottom.y) + 18));
    }
    for (int tenth = 0; tenth <= 10; tenth += 2) {
        const cv::Point2d left = toPixel(0.0, tenth / 10.0);
        cv::line(image, left, toPixel(1.0, tenth / 10.0), kGrid, 1, cv::LINE_AA);
        text(image, std::to_string(tenth * 10) + "%", cv::Point(int(left.x) - 42, int(left.y) + 5));
    }
    cv::rectangle(image, toPixel(0.0, 1.0), toPixel(1.0, 0.0), kInk, 1, cv::LINE_AA);
    for (int step = 1; step < 200; step += 2) {
        const double a = std::pow(10.0, kFirstDecade * (1.0 - step / 200.0));
        const double b = std::pow(10.0, kFirstDecade * (1.0 - (step + 1) / 200.0));
        cv::line(image, toPixel(a, a), toPixel(b, b), kChance, 1, cv::LINE_AA);
    }
    text(image, "false accept rate (impostor faces accepted), log scale",
         cv::Point(kLeft + 120, kHeight - 18));
    text(image, "owner faces accepted", cv::Point(8, kTop - 10));
    int baseline = 0;
    const cv::Size size = cv::getTextSize(title, cv::FONT_HERSHEY_SIMPLEX, kFont, 1, &baseline);
    text(image, title, cv::Point((kWidth - size.width) / 2, 22));
}

// The staircase of operating points: each step is drawn as its two straight runs.
void RocPlot::drawCurve(cv::Mat& image, const Curve& curve, const cv::Scalar& colour) const
{
    for (std::size_t k = 1; k < curve.points.size(); ++k) {
        const RocPoint& a = curve.points[k - 1];
        const RocPoint& b = curve.points[k];
        cv::line(image, toPixel(a.far, a.tar), toPixel(b.far, b.tar), colour, 2, cv::LINE_AA);
    }
    if (curve.marker)
        cv::circle(image, toPixel(curve.marker->far, curve.marker->tar), 6, colour, 2, cv::LINE_AA);
}

// In the upper left, where a ROC curve on a logarithmic FAR axis rarely goes.
void RocPlot::drawLegend(cv::Mat& image) const
{
    const cv::Point2d corner = toPixel(0.0, 1.0);
    const int height = kLegendLine * static_cast<int>(curves.size()) + 8;
    const cv::Point topLeft(int(corner.x) + 8, int(corner.y) + 8);
    const cv::Point bottomRight(topLeft.x + 390, topLeft.y + height);
    cv::rectangle(image, topLeft, bottomRight, cv::Scalar(255, 255, 255), cv::FILLED);
    cv::rectangle(image, topLeft, bottomRight, kGrid, 1);
    for (std::size_t k = 0; k < curves.size(); ++k) {
        const int y = topLeft.y + 16 + kLegendLine * static_cast<int>(k);
        cv::line(image, cv::Point(topLeft.x + 8, y - 4), cv::Point(topLeft.x + 36, y - 4), colourOf(k), 2,
                 cv::LINE_AA);
        if (curves[k].marker)
            cv::circle(image, cv::Point(topLeft.x + 22, y - 4), 5, colourOf(k), 2, cv::LINE_AA);
        text(image, curves[k].label, cv::Point(topLeft.x + 44, y));
    }
}

cv::Mat RocPlot::draw() const
{
    cv::Mat image(kHeight, kWidth, CV_8UC3, cv::Scalar(255, 255, 255));
    drawAxes(image);
    for (std::size_t k = curves.size(); k-- > 0;)
        drawCurve(image, curves[k], colourOf(k));
    drawLegend(image);
    return image;
}

void RocPlot::write(const std::string& path) const
{
    const std::vector<int> compression = {cv::IMWRITE_PNG_COMPRESSION, 9};
    if (!cv::imwrite(path, draw(), compression))
        throw std::runtime_error("cannot write image: " + path);
}

} // namespace eval
