#include "Webcam.h"

#include "FaceGeometry.h"

#include <QDebug>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio/registry.hpp>

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace {
constexpr int kCameraIndex = 0;
// Frame rate assumed for a stand-in video that does not state its own.
constexpr double kFallbackFps = 25.0;
const char* const kPaceVariable = "VISAGIO_CAMERA_PACE";
const char* const kQueryError = "Webcam: Can't query frame from webcam";

std::string localPath(const QString& path)
{
    return path.toLocal8Bit().toStdString();
}

// Video files are read through FFmpeg, which reads every common container and codec. Letting
// OpenCV probe all its backends instead makes GStreamer scan its plugins on every file that
// fails to open, which only adds noise and leaks inside the system libraries.
int fileBackend()
{
    return cv::videoio_registry::hasBackend(cv::CAP_FFMPEG) ? cv::CAP_FFMPEG : cv::CAP_ANY;
}

// Cameras through Video4Linux where OpenCV has it, for the same reason: on a machine without a
// camera the other backends' probing (GStreamer, USB enumeration) leaks and prints noise.
int cameraBackend()
{
    return cv::videoio_registry::hasBackend(cv::CAP_V4L2) ? cv::CAP_V4L2 : cv::CAP_ANY;
}

// Requested size first, then the mirror: a camera that ignores 320 x 240 still yields
// frames of the size the caller works with.
cv::Mat mirrored(const cv::Mat& frame, cv::Size size)
{
    cv::Mat result;
    if (frame.size() == size) {
        cv::flip(frame, result, 1);
    } else {
        cv::Mat scaled;
        cv::resize(frame, scaled, size, 0, 0, cv::INTER_LINEAR);
        cv::flip(scaled, result, 1);
    }
    return result;
}
} // namespace

Webcam::Webcam() = default;

Webcam::~Webcam()
{
    stop();
}

bool Webcam::start(const QStringList& list)
{
    files = list;
    fromFiles = !files.isEmpty();
    standInPath.clear();
    const bool opened = fromFiles ? openFile(0) : openCamera();
    if (!opened)
        qDebug() << "capture error";
    return opened;
}

void Webcam::stop()
{
    if (capture.isOpened())
        capture.release();
}

cv::Mat Webcam::queryFrame(cv::Size size)
{
    if (fromFiles)
        return nextFileFrame(size);
    cv::Mat frame;
    if (!readCameraFrame(frame))
        throw std::runtime_error(kQueryError);
    return mirrored(frame, size);
}

bool Webcam::isFileMode() const
{
    return fromFiles;
}

const QStringList& Webcam::fileList() const
{
    return files;
}

bool Webcam::openCamera()
{
    const QString standIn = QString::fromLocal8Bit(qgetenv(kStandInVariable));
    if (!standIn.isEmpty())
        return openStandIn(standIn);
    capture.open(kCameraIndex, cameraBackend());
    // A camera may refuse either size; the query scales what it delivers.
    capture.set(cv::CAP_PROP_FRAME_HEIGHT, double(kFrameHeight)); // the window's frame size
    capture.set(cv::CAP_PROP_FRAME_WIDTH, double(kFrameWidth));
    return capture.isOpened();
}

bool Webcam::openStandIn(const QString& path)
{
    qDebug() << "camera stand-in:" << path;
    standInPath = path;
    if (!capture.open(localPath(path), fileBackend()))
        return false;
    const double fps = capture.get(cv::CAP_PROP_FPS);
    const std::chrono::duration<double> period(1.0 / (fps > 0.0 ? fps : kFallbackFps));
    standInPeriod = std::chrono::duration_cast<std::chrono::steady_clock::duration>(period);
    standInPaced = qgetenv(kPaceVariable) != "0";
    standInDue = std::chrono::steady_clock::now();
    return true;
}

bool Webcam::openFile(int index)
{
    fileIndex = index;
    return capture.open(localPath(files.at(index)), fileBackend());
}

bool Webcam::readCameraFrame(cv::Mat& frame)
{
    if (!capture.isOpened())
        return false;
    if (standInPath.isEmpty())
        return capture.read(frame) && !frame.empty();
    waitForStandInFrame();
    if (capture.read(frame) && !frame.empty())
        return true;
    // The stand-in video has ended: a camera never runs out, so start it again.
    return capture.open(localPath(standInPath), fileBackend()) && capture.read(frame) && !frame.empty();
}

cv::Mat Webcam::nextFileFrame(cv::Size size)
{
    cv::Mat frame;
    if (capture.isOpened() && capture.read(frame) && !frame.empty()) {
        cv::Mat result;
        cv::resize(frame, result, size, 0, 0, cv::INTER_LINEAR);
        return result;
    }
    // This file is finished (or never opened): move on. Past the last file every query
    // yields nothing until the source is started again.
    if (fileIndex < files.size())
        ++fileIndex;
    if (fileIndex < files.size()) {
        capture.release();
        openFile(fileIndex);
    }
    return cv::Mat();
}

void Webcam::waitForStandInFrame()
{
    if (!standInPaced)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now < standInDue)
        std::this_thread::sleep_until(standInDue);
    // A caller that falls behind gets the next frame one period after its late query,
    // not a burst of overdue frames.
    standInDue = std::max(standInDue, now) + standInPeriod;
}
