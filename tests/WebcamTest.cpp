#include "Webcam.h"

#include "FaceGeometry.h"
#include "FaceVideos.h"
#include "ModelFiles.h"
#include "TestData.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {
const char* const kQueryError = "Webcam: Can't query frame from webcam";

cv::Mat scaled(const cv::Mat& frame, cv::Size size)
{
    cv::Mat result;
    cv::resize(frame, result, size, 0, 0, cv::INTER_LINEAR);
    return result;
}

cv::Mat mirrored(const cv::Mat& frame)
{
    cv::Mat result;
    cv::flip(frame, result, 1);
    return result;
}
} // namespace

// Videos of distinct, left-right asymmetric frames in a temporary folder. Expected frames are
// the file's own frames as OpenCV decodes them, so comparisons are exact. The camera stand-in
// runs unpaced: no test waits for real time.
class WebcamTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qunsetenv("VISAGIO_CAMERA");
        qputenv("VISAGIO_CAMERA_PACE", "0");
    }

    void TearDown() override
    {
        qunsetenv("VISAGIO_CAMERA");
        qunsetenv("VISAGIO_CAMERA_PACE");
    }

    // `count` frames of `size`, starting at face-free frame number `first`.
    QString video(const QString& name, int count, int first, cv::Size size = kFrameSize, double fps = 25.0)
    {
        std::vector<cv::Mat> frames;
        for (int i = 0; i < count; ++i)
            frames.push_back(scaled(faceFreeFrame(first + i), size));
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeVideoFile(path, frames, fps)) << path.toStdString();
        return path;
    }

    static std::vector<cv::Mat> decoded(const QString& path)
    {
        std::vector<cv::Mat> frames;
        cv::VideoCapture capture(path.toStdString());
        cv::Mat frame;
        while (capture.read(frame))
            frames.push_back(frame.clone());
        return frames;
    }

    void useStandIn(const QString& path) { qputenv("VISAGIO_CAMERA", path.toLocal8Bit()); }

    QTemporaryDir dir;
    Webcam webcam;
};

TEST_F(WebcamTest, FileModePlaysTheListInOrderSkippingUnreadableFiles)
{
    const QString first = video("first.avi", 3, 0);
    const QString second = video("second.avi", 2, 10);
    const QString absent = dir.filePath("absent.avi");
    const std::vector<cv::Mat> a = decoded(first);
    const std::vector<cv::Mat> b = decoded(second);
    ASSERT_EQ(a.size(), 3u);
    ASSERT_EQ(b.size(), 2u);

    // The first file fails: start says so, yet the rest of the list still plays.
    ASSERT_FALSE(webcam.start({absent, first, absent, second}));
    EXPECT_TRUE(webcam.isFileMode());
    EXPECT_EQ(webcam.fileList(), QStringList({absent, first, absent, second}));
    // No frame at each change of file and after the last: - a0 a1 a2 - - b0 b1 - -
    const std::vector<cv::Mat> expected = {cv::Mat(), a[0], a[1], a[2], cv::Mat(),
                                           cv::Mat(), b[0], b[1], cv::Mat(), cv::Mat()};
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("query " + std::to_string(i));
        const cv::Mat frame = webcam.queryFrame(kFrameSize);
        if (expected[i].empty()) {
            EXPECT_TRUE(frame.empty());
        } else {
            EXPECT_EQ(frame.type(), CV_8UC3);
            EXPECT_TRUE(sameImage(frame, expected[i]));
        }
    }
}

// Each frame is checked only after all four queries: a frame must stay valid past the next.
TEST_F(WebcamTest, FileFramesAreScaledToTheRequestedSizeNotMirroredAndKept)
{
    const QString path = video("small.avi", 4, 20, cv::Size(160, 120));
    const std::vector<cv::Mat> source = decoded(path);
    ASSERT_EQ(source.size(), 4u);
    ASSERT_TRUE(webcam.start({path}));
    const cv::Size sizes[] = {kFrameSize, cv::Size(160, 120), cv::Size(100, 80), cv::Size(321, 239)};
    std::vector<cv::Mat> frames;
    for (const cv::Size& size : sizes)
        frames.push_back(webcam.queryFrame(size));
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE("size " + std::to_string(sizes[i].width) + " x " + std::to_string(sizes[i].height));
        EXPECT_EQ(frames[i].type(), CV_8UC3);
        EXPECT_TRUE(sameImage(frames[i], scaled(source[i], sizes[i])));
        EXPECT_FALSE(sameImage(frames[i], mirrored(scaled(source[i], sizes[i]))));
    }
}

TEST_F(WebcamTest, StartOnAnUnreadableFileReturnsFalse)
{
    const QString garbage = dir.filePath("garbage.avi");
    ASSERT_TRUE(writeBytes(garbage, QByteArray(4096, 'x')));
    for (const QString& path : {dir.filePath("absent.avi"), garbage, dir.path()}) {
        SCOPED_TRACE(path.toStdString());
        Webcam source;
        EXPECT_FALSE(source.start({path}));
        EXPECT_TRUE(source.isFileMode());
        // Nothing to play: no frame, and no error either.
        EXPECT_TRUE(source.queryFrame(kFrameSize).empty());
        EXPECT_TRUE(source.queryFrame(kFrameSize).empty());
    }
}

TEST_F(WebcamTest, CameraWithoutCaptureThrows)
{
    // Never started, and started on a missing stand-in: camera mode with nothing open.
    for (int i = 0; i < 2; ++i) {
        try {
            webcam.queryFrame(kFrameSize);
            ADD_FAILURE() << "no exception";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), kQueryError);
        }
        EXPECT_FALSE(webcam.isFileMode());
        useStandIn(dir.filePath("absent.avi"));
        EXPECT_FALSE(webcam.start({}));
    }
}

TEST_F(WebcamTest, StandInLoopsScalesAndMirrorsLikeACamera)
{
    for (const cv::Size size : {kFrameSize, cv::Size(160, 120)}) {
        SCOPED_TRACE(size.width);
        const QString path = video(QString("camera-%1.avi").arg(size.width), 3, 60, size);
        const std::vector<cv::Mat> source = decoded(path);
        ASSERT_EQ(source.size(), 3u);
        useStandIn(path);
        Webcam camera;
        ASSERT_TRUE(camera.start({}));
        EXPECT_FALSE(camera.isFileMode());
        EXPECT_TRUE(camera.fileList().isEmpty());
        // Three rounds of the three frames: the video starts again where it ends.
        for (int i = 0; i < 9; ++i) {
            SCOPED_TRACE("query " + std::to_string(i));
            const cv::Mat frame = camera.queryFrame(kFrameSize);
            ASSERT_EQ(frame.type(), CV_8UC3);
            EXPECT_TRUE(sameImage(frame, mirrored(scaled(source[size_t(i) % 3], kFrameSize))));
        }
    }
}

// Paced, a query waits until the stand-in's next frame is due: at 10 frames a second five
// queries take at least 0.4 s, and a caller that fell behind gets the next frame at once but
// the one after only a period later. Unpaced, a 1-frame-a-second stand-in does not hold the
// caller back. Only lower bounds are timed, but for the generous unpaced one.
TEST_F(WebcamTest, StandInKeepsItsFrameRateUnlessPacingIsOff)
{
    using Clock = std::chrono::steady_clock;
    const auto secondsSince = [](Clock::time_point start) {
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    qputenv("VISAGIO_CAMERA_PACE", "1");
    useStandIn(video("paced.avi", 3, 100, kFrameSize, 10.0));
    ASSERT_TRUE(webcam.start({}));
    Clock::time_point start = Clock::now();
    for (int i = 0; i < 5; ++i)
        ASSERT_FALSE(webcam.queryFrame(kFrameSize).empty());
    EXPECT_GE(secondsSince(start), 0.4);
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    start = Clock::now();
    webcam.queryFrame(kFrameSize);
    webcam.queryFrame(kFrameSize);
    EXPECT_GE(secondsSince(start), 0.1);

    qputenv("VISAGIO_CAMERA_PACE", "0");
    useStandIn(video("slow.avi", 3, 110, kFrameSize, 1.0));
    Webcam unpaced;
    ASSERT_TRUE(unpaced.start({}));
    start = Clock::now();
    for (int i = 0; i < 5; ++i)
        ASSERT_FALSE(unpaced.queryFrame(kFrameSize).empty());
    EXPECT_LT(secondsSince(start), 2.0);  // paced, at least 4 s
}

TEST_F(WebcamTest, StoppedCameraThrowsAndRestartOnFilesPlaysThem)
{
    const QString cameraPath = video("camera.avi", 2, 80);
    const QString filePath = video("test.avi", 2, 90);
    const std::vector<cv::Mat> files = decoded(filePath);
    useStandIn(cameraPath);
    ASSERT_TRUE(webcam.start({}));
    ASSERT_FALSE(webcam.queryFrame(kFrameSize).empty());
    webcam.stop();
    EXPECT_THROW(webcam.queryFrame(kFrameSize), std::runtime_error);
    webcam.stop();  // stopping twice does nothing

    // As the video test does: stop the camera, play the files, unmirrored.
    ASSERT_TRUE(webcam.start({filePath}));
    EXPECT_TRUE(sameImage(webcam.queryFrame(kFrameSize), files[0]));
    EXPECT_TRUE(sameImage(webcam.queryFrame(kFrameSize), files[1]));
    EXPECT_TRUE(webcam.queryFrame(kFrameSize).empty());

    // And back to the camera: mirrored frames from the stand-in's start.
    webcam.stop();
    ASSERT_TRUE(webcam.start({}));
    EXPECT_TRUE(sameImage(webcam.queryFrame(kFrameSize), mirrored(decoded(cameraPath)[0])));
}
