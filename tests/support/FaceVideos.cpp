#include "FaceVideos.h"

#include "FaceGeometry.h"

#include <QDir>
#include <QFileInfo>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <random>

namespace {
constexpr int kShapesPerFrame = 6;
} // namespace

cv::Mat faceFreeFrame(int index)
{
    std::mt19937 random(unsigned(index) + 1u);
    const int grain = 2 << (index % 5);
    cv::Mat noise(kFrameSize.height / grain + 1, kFrameSize.width / grain + 1, CV_8UC3);
    cv::RNG rng(uint64(index) + 1u);
    rng.fill(noise, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(256));
    cv::Mat frame;
    cv::resize(noise, frame, kFrameSize, 0, 0, cv::INTER_CUBIC);
    for (int k = 0; k < kShapesPerFrame; ++k) {
        const cv::Point corner(int(random() % kFrameWidth), int(random() % kFrameHeight));
        const cv::Scalar colour(random() % 256, random() % 256, random() % 256);
        if (k % 2 == 0)
            cv::circle(frame, corner, 10 + int(random() % 60), colour, cv::FILLED);
        else
            cv::rectangle(frame, corner, corner + cv::Point(20 + int(random() % 80), 20 + int(random() % 80)),
                          colour, cv::FILLED);
    }
    return frame;
}

QString writeEmptyVideo(const QString& dir, const QString& name, int frames, double fps)
{
    std::vector<cv::Mat> video;
    for (int i = 0; i < frames; ++i)
        video.push_back(faceFreeFrame(i));
    const QString path = QDir(dir).filePath(name);
    return writeVideoFile(path, video, fps) ? path : QString();
}

bool writeVideoFile(const QString& path, const std::vector<cv::Mat>& frames, double fps)
{
    if (frames.empty())
        return false;
    cv::VideoWriter writer(path.toLocal8Bit().toStdString(), cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), fps,
                           frames.front().size());
    if (!writer.isOpened())
        return false;
    for (const cv::Mat& frame : frames)
        writer.write(frame);
    writer.release();
    return QFileInfo(path).size() > 0;
}
