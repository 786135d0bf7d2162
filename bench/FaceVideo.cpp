#include "FaceVideo.h"

#include "FaceGeometry.h"

#include <QDir>
#include <QFile>
#include <QTextStream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <stdexcept>
#include <string>

namespace {
constexpr int kVideoFrames = 100;
constexpr double kVideoFps = 25.0;
const char* const kPhotoDir = "essex_faces94_female/Training/13";
const char* const kFacedataBesideSources = "../../../shared/facedata";
constexpr long kPageKb = 4;

// The photograph filling the frame height, centred in a black frame.
cv::Mat framed(const cv::Mat& photo)
{
    cv::Mat frame(kFrameSize, CV_8UC3, cv::Scalar::all(0));
    cv::Mat scaled;
    const double scale = double(kFrameSize.height) / photo.rows;
    cv::resize(photo, scaled, cv::Size(), scale, scale, cv::INTER_LINEAR);
    const cv::Point offset((frame.cols - scaled.cols) / 2, 0);
    const cv::Rect target = cv::Rect(offset, scaled.size()) & cv::Rect(cv::Point(), kFrameSize);
    scaled(target - offset).copyTo(frame(target));
    return frame;
}
} // namespace

QString makeFaceVideo(const QString& dir)
{
    QString facedata = QString::fromLocal8Bit(qgetenv("VISAGIO_FACEDATA"));
    if (facedata.isEmpty())
        facedata = QDir::current().absoluteFilePath(kFacedataBesideSources);
    const QDir photos(QDir(facedata).filePath(kPhotoDir));
    const QStringList names = photos.entryList({"*.jpg"}, QDir::Files, QDir::Name);
    if (names.isEmpty())
        throw std::runtime_error("no video given and no photographs in " + photos.path().toStdString());
    const QString path = QDir(dir).filePath("face.avi");
    cv::VideoWriter writer(path.toStdString(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), kVideoFps, kFrameSize);
    for (int i = 0; i < kVideoFrames; ++i)
        writer.write(framed(cv::imread(photos.filePath(names[i % names.size()]).toStdString())));
    return path;
}

long residentKb()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    long pages = 0;
    long resident = 0;
    QTextStream(&statm) >> pages >> resident;
    return resident * kPageKb;
}
