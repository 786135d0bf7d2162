#include "TestData.h"

#include <QDir>
#include <QFileInfo>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

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
    cv::Mat frame(240, 320, CV_8UC3, cv::Scalar::all(0));
    const double scale = double(height) / photo.rows;
    cv::Mat scaled;
    cv::resize(photo, scaled, cv::Size(), scale, scale, cv::INTER_LINEAR);
    const int x = (frame.cols - scaled.cols) / 2 + dx;
    const int y = (frame.rows - scaled.rows) / 2 + dy;
    // Copy only the part of the scaled photograph that falls inside the frame.
    const cv::Rect target = cv::Rect(x, y, scaled.cols, scaled.rows) & cv::Rect(0, 0, 320, 240);
    if (target.area() > 0)
        scaled(target - cv::Point(x, y)).copyTo(frame(target));
    return frame;
}

bool writeVideo(const std::string& path, const std::vector<cv::Mat>& frames, double fps)
{
    cv::VideoWriter writer(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps, cv::Size(320, 240));
    if (!writer.isOpened())
        return false;
    for (const cv::Mat& frame : frames)
        writer.write(frame);
    return true;
}
