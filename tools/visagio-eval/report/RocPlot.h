#pragma once

#include "report/Metrics.h"

#include <opencv2/core.hpp>

#include <optional>
#include <string>
#include <vector>

namespace eval {

// Draws ROC curves of several methods into one picture: false accept rate on a logarithmic
// axis (0.01 % to 100 %), share of the owner's faces accepted on a linear one.
class RocPlot
{
public:
    struct Curve
    {
        std::string label;
        std::vector<RocPoint> points;
        std::optional<RocPoint> marker; // an operating point to mark, e.g. the program's own
    };

    explicit RocPlot(std::string title);

    void add(Curve curve);
    // Ensures: a BGR picture of the axes, the curves (in the order added) and their legend.
    cv::Mat draw() const;
    // Throws: std::runtime_error("cannot write image: <path>").
    void write(const std::string& path) const;

private:
    cv::Point2d toPixel(double far, double tar) const;
    void drawAxes(cv::Mat& image) const;
    void drawCurve(cv::Mat& image, const Curve& curve, const cv::Scalar& colour) const;
    void drawLegend(cv::Mat& image) const;

    std::string title;
    std::vector<Curve> curves;
};

} // namespace eval
