#include "TestData.h"

#include "FaceGeometry.h"
#include "FaceVideos.h"

#include <QDir>
#include <QFileInfo>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>

QString facedataDir()
{
    const QByteArray fromEnv = qgetenv("VISAGIO_FACEDATA");
    return fromEnv.isEmpty() ? QString(VISAGIO_FACEDATA_DEFAULT) : QString::fromLocal8Bit(fromEnv);
}

bool facedataAvailable()
{
    return QFileInfo(QDir(facedataDir()).filePath("INVENTORY.md")).exists();
}

bool runningInCi()
{
    return qgetenv("CI") == "true";
}

QString runDir()
{
    return QString(VISAGIO_RUN_DIR);
}

QString demoDir()
{
    return QString(VISAGIO_DEMO_DIR);
}

QString sourceDir()
{
    return QString(VISAGIO_SOURCE_DIR);
}

cv::Mat loadFacedataImage(const QString& relativePath)
{
    return cv::imread(QDir(facedataDir()).filePath(relativePath).toStdString(), cv::IMREAD_COLOR);
}

cv::Mat placeInFrame(const cv::Mat& photo, int height, int dx, int dy)
{
    cv::Mat frame(kFrameSize, CV_8UC3, cv::Scalar::all(0));
    const double scale = double(height > 0 ? height : kFrameHeight) / photo.rows;
    cv::Mat scaled;
    cv::resize(photo, scaled, cv::Size(), scale, scale, cv::INTER_LINEAR);
    const int x = (frame.cols - scaled.cols) / 2 + dx;
    const int y = (frame.rows - scaled.rows) / 2 + dy;
    // Copy only the part of the scaled photograph that falls inside the frame.
    const cv::Rect target = cv::Rect(x, y, scaled.cols, scaled.rows) & cv::Rect(cv::Point(), kFrameSize);
    if (target.area() > 0)
        scaled(target - cv::Point(x, y)).copyTo(frame(target));
    return frame;
}

bool sameImage(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() && a.type() == b.type() && (a.empty() || cv::norm(a, b, cv::NORM_INF) == 0.0);
}

bool sameImages(const std::vector<cv::Mat>& a, const std::vector<cv::Mat>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), sameImage);
}

QImage toQImage(const cv::Mat& bgr, QImage::Format format)
{
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    return QImage(rgb.data, rgb.cols, rgb.rows, int(rgb.step), QImage::Format_RGB888).convertToFormat(format);
}

cv::Mat toBgr(const QImage& image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    cv::Mat bgr;
    cv::cvtColor(cv::Mat(rgb.height(), rgb.width(), CV_8UC3, const_cast<uchar*>(rgb.bits()), size_t(rgb.bytesPerLine())),
                 bgr, cv::COLOR_RGB2BGR);
    return bgr;
}
