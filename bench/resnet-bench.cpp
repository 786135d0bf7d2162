// The face-resnet's costs, one thread, on a 320 x 240 face video: the verification tick
// (detect, judge liveness, cut the chip, embed, score) beside detection alone, and the
// liveness check's share of it; training one group of 100
// chips after its collection; start-up of the matcher with a profile of 5 saved groups (the
// network built, the stored embeddings read, the template made); the network's memory; the
// 68-point landmark network's time a face on the detector's box, and its memory.
//
// Run it in the build's run directory (it reads ./haarcascades/, ./face-resnet/,
// ./face-landmarks/ and ./liveness/):
//   resnet-bench [--frames N]

#include "Errors.h"
#include "FaceChip.h"
#include "FaceDetector.h"
#include "FaceGeometry.h"
#include "FaceLandmarks.h"
#include "FaceVideo.h"
#include "LivenessCheck.h"
#include "OwnerProfile.h"
#include "ResnetMatcher.h"
#include "RunFolder.h"
#include "Webcam.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <opencv2/core.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kDefaultFrames = 200;
constexpr int kGroupSize = 100;
constexpr int kSavedGroups = 5;
// The goals the figures are printed against.
constexpr double kTickGoalMs = 33.0;
constexpr double kTrainGoalMs = 250.0;
constexpr double kStartGoalMs = 1000.0;
constexpr double kMemoryGoalMb = 64.0;
constexpr double kLivenessGoalMs = 5.0;
constexpr double kLandmarksGoalMs = 3.0;

double elapsedMs(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

const char* verdict(double value, double goal)
{
    return value <= goal ? "within" : "OVER";
}

void dropMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

struct TickTimes
{
    std::vector<double> detect;
    std::vector<double> liveness;
    std::vector<double> landmarks;
    std::vector<double> tick;
    EnrolmentGroup group;
};

// The verification tick on every frame with a face; the first 100 chips become a group as the
// window collects it (mirror-averaged embeddings). The landmarks are timed on the same faces,
// outside the tick.
TickTimes verificationTicks(ResnetMatcher& matcher, FaceLandmarks& landmarks, int frames)
{
    Webcam webcam;
    if (!webcam.start({}))
        throw std::runtime_error("cannot open the face video");
    FaceDetector detector;
    FaceChip chips;
    const LivenessCheck liveness;
    TickTimes times;
    for (int i = 0; i < frames; ++i) {
        const cv::Mat frame = webcam.queryFrame(kFrameSize);
        const auto start = Clock::now();
        detector.processFrame(frame);
        const double detectMs = elapsedMs(start);
        if (!detector.found())
            continue;
        const auto judged = Clock::now();
        liveness.judge(frame, detector.faceRect());
        times.liveness.push_back(elapsedMs(judged));
        const cv::Mat chip = chips.cut(frame, detector.faceRect());
        matcher.verify(matcher.embed(chip, false));
        times.tick.push_back(elapsedMs(start));
        times.detect.push_back(detectMs);
        const auto located = Clock::now();
        landmarks.locate(frame, detector.faceRect());
        times.landmarks.push_back(elapsedMs(located));
        if (int(times.group.chips.size()) < kGroupSize) {
            times.group.samples.push_back(cv::Mat(kSampleSize, CV_8UC1, cv::Scalar(128)));
            times.group.chips.push_back(chip);
            times.group.embeddings.push_back(matcher.embed(chip, true));
        }
    }
    times.group.embeddingModel = matcher.modelKey();
    return times;
}

double startWithSavedGroups(const QString& folder)
{
    QElapsedTimer clock;
    clock.start();
    ResnetMatcher matcher(kResnetFolder);
    OwnerProfile profile(folder, kSampleSize);
    for (const EnrolmentGroup& group : profile.load(true))
        matcher.addGroup(group.embeddings);
    matcher.train();
    return clock.nsecsElapsed() / 1e6;
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(dropMessages);
    try {
        const int frames = argc > 2 && QString(argv[1]) == "--frames" ? QString(argv[2]).toInt() : kDefaultFrames;
        cv::setNumThreads(1);
        QTemporaryDir dir;
        qputenv("VISAGIO_CAMERA", makeFaceVideo(dir.path()).toLocal8Bit());
        qputenv("VISAGIO_CAMERA_PACE", "0");

        const long memoryBefore = residentKb();
        ResnetMatcher matcher(kResnetFolder);
        const long memoryAfter = residentKb();
        FaceLandmarks landmarks(kLandmarksFolder);
        landmarks.locate(cv::Mat(kFrameSize, CV_8UC3, cv::Scalar::all(0)), cv::Rect(100, 60, 120, 120));
        const long landmarksKb = residentKb() - memoryAfter;  // built and run once
        const TickTimes times = verificationTicks(matcher, landmarks, frames);
        if (int(times.group.chips.size()) < kGroupSize)
            throw std::runtime_error("the face video gave fewer than 100 faces");

        const auto start = Clock::now();
        matcher.addGroup(times.group.embeddings);
        matcher.train();
        const double trainMs = elapsedMs(start);

        {
            OwnerProfile profile(dir.filePath("profile"), kSampleSize);
            for (int g = 0; g < kSavedGroups; ++g)
                profile.addGroup(times.group);
        }
        const double startMs = startWithSavedGroups(dir.filePath("profile"));

        const double tick = median(times.tick);
        const double detect = median(times.detect);
        const double memoryMb = (memoryAfter - memoryBefore) / 1024.0;
        std::printf("verification tick: median %.1f ms over %zu faces (goal %.0f ms: %s), %.1f x detection alone "
                    "(%.1f ms)\n", tick, times.tick.size(), kTickGoalMs, verdict(tick, kTickGoalMs),
                    detect > 0 ? tick / detect : 0.0, detect);
        const double live = median(times.liveness);
        std::printf("liveness check: median %.2f ms a face (goal %.0f ms: %s), %.1f %% of the tick\n", live,
                    kLivenessGoalMs, verdict(live, kLivenessGoalMs), tick > 0 ? 100.0 * live / tick : 0.0);
        std::printf("training one group of %d after collection: %.2f ms (goal %.0f ms: %s)\n", kGroupSize, trainMs,
                    kTrainGoalMs, verdict(trainMs, kTrainGoalMs));
        std::printf("matcher start with %d saved groups: %.0f ms (goal %.0f ms: %s)\n", kSavedGroups, startMs,
                    kStartGoalMs, verdict(startMs, kStartGoalMs));
        std::printf("network memory: %.1f MiB resident (goal %.0f MiB: %s)\n", memoryMb, kMemoryGoalMb,
                    verdict(memoryMb, kMemoryGoalMb));
        const double located = median(times.landmarks);
        std::printf("landmark net: median %.2f ms a face (goal %.0f ms: %s), %.1f MiB resident\n", located,
                    kLandmarksGoalMs, verdict(located, kLandmarksGoalMs), landmarksKb / 1024.0);
        return 0;
    } catch (const e_default& error) {
        std::fprintf(stderr, "resnet-bench: %s (run it in build/run)\n", error.message().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "resnet-bench: %s (run it in build/run)\n", error.what());
    }
    return 1;
}
