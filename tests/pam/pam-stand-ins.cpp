// pam-stand-ins OUT: what the face-login tests answer on. nuaa0004 enrols at the office webcam
// on his first day through the window (the face-resnet, the liveness check on) into OUT/profile;
// the camera stand-ins are OUT/owner.avi (his second day), stranger.avi (another man),
// photograph.avi (his printed photograph held to the webcam), faceless.avi, and darkening.avi
// (his second day, covered after its first frames). Exit 77 when the shared face data is missing
// outside CI, 1 on any failure.
#include "FaceVideos.h"
#include "FaceGeometry.h"
#include "LivenessCheck.h"
#include "MainWindow.h"
#include "ResnetMatcher.h"
#include "RunFolder.h"
#include "SessionVideo.h"
#include "TestData.h"
#include "WindowDriver.h"

#include <QApplication>
#include <QDir>
#include <QLoggingCategory>
#include <opencv2/videoio.hpp>

#include <cstdio>

namespace {
constexpr int kSkipped = 77;
constexpr int kMaxEnrolTicks = 20000;
// Frames of the owner before the lens is covered, and of darkness after.
constexpr int kLightFrames = 8;
constexpr int kDarkFrames = 60;

bool writeDarkening(const QString& owner, const QString& path)
{
    cv::VideoCapture video(owner.toStdString());
    std::vector<cv::Mat> frames;
    cv::Mat frame;
    while (int(frames.size()) < kLightFrames && video.read(frame))
        frames.push_back(frame.clone());
    if (frames.empty())
        return false;
    frames.resize(kLightFrames + kDarkFrames, cv::Mat(frames[0].size(), CV_8UC3, cv::Scalar::all(0)));
    return writeVideoFile(path, frames, 10.0);
}

bool enrolOwner(const QString& video, const QString& profile)
{
    qputenv("VISAGIO_CAMERA", video.toLocal8Bit());
    qputenv("VISAGIO_CAMERA_PACE", "0");
    MainWindow window(nullptr, std::make_unique<FaceMatcher>(kSampleWidth, kSampleHeight), QString(), profile,
                      std::make_unique<ResnetMatcher>(kResnetFolder), std::make_unique<LivenessCheck>());
    return enrolGroups(window, 1, kMaxEnrolTicks);
}
}  // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: pam-stand-ins OUT\n");
        return 1;
    }
    if (!facedataAvailable()) {
        std::fprintf(stderr, "shared face data missing at %s (set VISAGIO_FACEDATA)\n", qPrintable(facedataDir()));
        return runningInCi() ? 1 : kSkipped;
    }
    QLoggingCategory::setFilterRules("default.debug=false");
    const QString out = QDir(argv[1]).absolutePath();
    QDir::setCurrent(runDir());
    writeOwnerStandIns(out);
    const bool written = !writeEmptyVideo(out, "faceless.avi", 40, 10.0).isEmpty() &&
                         writeDarkening(out + "/owner.avi", out + "/darkening.avi");
    const bool enrolled = written && enrolOwner(out + "/enrol.avi", out + "/profile");
    QFile::remove(out + "/enrol.avi");
    if (!enrolled)
        std::fprintf(stderr, "pam-stand-ins: %s\n", written ? "the enrolment did not finish" : "a video was not written");
    return enrolled ? 0 : 1;
}
