#pragma once

#include <QStringList>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <chrono>

// The only source of pictures: either camera device 0, whose frames come back mirrored like a
// looking glass, or a list of video files played once in list order, whose frames come back
// scaled to the requested size and unmirrored.
//
// Camera stand-in: when the environment variable VISAGIO_CAMERA names a video file, starting
// on the camera opens that file instead of device 0 and treats it as a camera: frames are
// scaled to the requested size, mirrored, delivered at the video's own frame rate (a query
// waits until the next frame is due) and the video starts again from its beginning when it
// ends. VISAGIO_CAMERA_PACE=0 switches the waiting off, so tests and benchmarks run as fast as
// the file decodes.
class Webcam
{
public:
    // The environment variable naming the camera stand-in.
    static constexpr const char* kStandInVariable = "VISAGIO_CAMERA";

    // Ensures: nothing is open; camera mode with an empty file list.
    Webcam();
    ~Webcam();

    Webcam(const Webcam&) = delete;
    Webcam& operator=(const Webcam&) = delete;

    // Requires: the source is stopped (call stop() before restarting a running source).
    // Ensures:  an empty list selects camera mode and opens device 0 (or the stand-in) asking
    //           for 320 x 240; a non-empty list selects file mode and opens its first file.
    //           Returns true when a capture is open; otherwise logs "capture error".
    bool start(const QStringList& files);

    // Ensures: the capture is closed; the mode and the file list are kept.
    void stop();

    // Ensures: a new 8-bit frame of `size` with the channel count of the delivered frame,
    //          owned by the caller. File mode: an empty Mat when this call has no frame to
    //          give (between two files, after the last one, nothing open).
    // Throws:  std::runtime_error("Webcam: Can't query frame from webcam") in camera mode when
    //          no frame can be taken.
    cv::Mat queryFrame(cv::Size size);

    // True when the last start() received a non-empty list.
    bool isFileMode() const;
    // The list given to the last start(); empty for the camera.
    const QStringList& fileList() const;

private:
    bool openCamera();
    bool openStandIn(const QString& path);
    bool openFile(int index);
    bool readCameraFrame(cv::Mat& frame);
    cv::Mat nextFileFrame(cv::Size size);
    void waitForStandInFrame();

    cv::VideoCapture capture;
    int fileIndex = 0;
    QStringList files;
    bool fromFiles = false;

    // Camera stand-in state: the file standing in, and the time its next frame is due.
    QString standInPath;
    bool standInPaced = false;
    std::chrono::steady_clock::duration standInPeriod{};
    std::chrono::steady_clock::time_point standInDue;
};
