#include "PhotoFramer.h"

#include <QImage>
#include <QString>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <stdexcept>

namespace {
// Eyes of a face in a webcam picture sit a little above the frame centre.
constexpr float kEyeTargetY = 105.0f;
// Jitter ranges at amount 1: frame pixels, relative zoom, degrees.
constexpr double kJitterShift = 6.0;
constexpr double kJitterZoom = 0.05;
constexpr double kJitterTilt = 4.0;

cv::Mat fromQImage(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    cv::Mat view(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.bits()),
                 static_cast<size_t>(rgb.bytesPerLine()));
    cv::Mat bgr;
    cv::cvtColor(view, bgr, cv::COLOR_RGB2BGR);
    return bgr;
}
} // namespace

cv::Mat PhotoFramer::load(const std::string& path)
{
    cv::Mat photo = cv::imread(path, cv::IMREAD_COLOR);
    if (photo.empty()) {
        const QImage image(QString::fromStdString(path));
        if (!image.isNull())
            photo = fromQImage(image);
    }
    if (photo.empty())
        throw std::runtime_error("cannot read image: " + path);
    return photo;
}

FramePlacement PhotoFramer::fitHeight(const cv::Mat& photo, double fill)
{
    FramePlacement placement;
    placement.scale = fill * kFrameHeight / photo.rows;
    placement.anchor = cv::Point2f(photo.cols * 0.5f, photo.rows * 0.5f);
    return placement;
}

FramePlacement PhotoFramer::fromEyes(const std::vector<cv::Point2f>& landmarks, double eyeDistance)
{
    const cv::Point2f left = landmarks.at(0);
    const cv::Point2f right = landmarks.at(1);
    const double distance = std::max(1.0, cv::norm(right - left));
    FramePlacement placement;
    placement.scale = eyeDistance / distance;
    placement.anchor = (left + right) * 0.5f;
    placement.target = cv::Point2f(kFrameWidth * 0.5f, kEyeTargetY);
    return placement;
}

FramePlacement PhotoFramer::jittered(const FramePlacement& placement, std::mt19937& random, double amount)
{
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    const double dx = unit(random) * amount;
    const double dy = unit(random) * amount;
    const double zoom = unit(random) * amount;
    const double tilt = unit(random) * amount;
    return moved(placement, dx, dy, zoom, tilt);
}

FramePlacement PhotoFramer::moved(const FramePlacement& placement, double dx, double dy, double zoom, double tilt)
{
    FramePlacement result = placement;
    result.target.x += static_cast<float>(dx * kJitterShift);
    result.target.y += static_cast<float>(dy * kJitterShift);
    result.scale *= 1.0 + zoom * kJitterZoom;
    result.angle += tilt * kJitterTilt;
    return result;
}

cv::Mat PhotoFramer::transformOf(const FramePlacement& placement)
{
    cv::Mat transform = cv::getRotationMatrix2D(placement.anchor, placement.angle, placement.scale);
    transform.at<double>(0, 2) += placement.target.x - placement.anchor.x;
    transform.at<double>(1, 2) += placement.target.y - placement.anchor.y;
    return transform;
}

cv::Rect2f PhotoFramer::toPhoto(const cv::Rect& frameBox, const FramePlacement& placement)
{
    cv::Mat back;
    cv::invertAffineTransform(transformOf(placement), back);
    const std::vector<cv::Point2f> corners = {frameBox.tl(), cv::Point2f(frameBox.br().x, frameBox.y), frameBox.br(),
                                              cv::Point2f(frameBox.x, frameBox.br().y)};
    std::vector<cv::Point2f> mapped;
    cv::transform(corners, mapped, back);
    float left = mapped[0].x, right = mapped[0].x, top = mapped[0].y, bottom = mapped[0].y;
    for (const cv::Point2f& corner : mapped) {
        left = std::min(left, corner.x);
        right = std::max(right, corner.x);
        top = std::min(top, corner.y);
        bottom = std::max(bottom, corner.y);
    }
    return cv::Rect2f(left, top, right - left, bottom - top);
}

cv::Mat PhotoFramer::compose(const cv::Mat& photo, const FramePlacement& placement)
{
    cv::Mat frame;
    cv::warpAffine(photo, frame, transformOf(placement), kFrameSize, cv::INTER_LINEAR,
                   cv::BORDER_REPLICATE);
    return frame;
}
