// The face-resnet's costs, one thread, on a 320 x 240 face video: the verification tick
// (detect, judge liveness, find the landmarks and cut the chip, embed, score) beside detection
// alone, and the shares of the liveness check and the chip in it; training one group of 100
// chips after its collection; start-up of the matcher with a profile of 5 saved groups (the
// network built, the stored embeddings read, the template made); the memory of both networks.
//
// Run it in the build's run directory (it reads ./haarcascades/, ./face-resnet/,
// ./face-landmarks/ and ./liveness/):
//   resnet-bench [--frames N]

#include "ChipGeometry.h"
#include "Errors.h"
#include "FaceChip.h"
#include "FaceDetector.h"
#include "FaceGeometry.h"
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
constexpr double kTickGoalMs = 16.0;
constexpr double kTrainGoalMs = 250.0;
constexpr double kStartGoalMs = 1000.0;
constexpr double kMemoryGoalMb = 64.0;
constexpr double kLivenessGoalMs = 5.0;
constexpr double kChipGoalMs = 3.0;

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
    std::vector<double> chip;
    std::vector<double> tick;
    EnrolmentGroup group;
};

// The verification tick on every frame with a face; the first 100 chips become a group as the
// window collects it (mirror-averaged embeddings).
TickTimes verificationTicks(ResnetMatcher& matcher, FaceChip& chips, int frames)
{
    Webcam webcam;
    if (!webcam.start({}))
        throw std::runtime_error("cannot open the face video");
    FaceDetector detector;
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
        const auto cutting = Clock::now();
        const cv::Mat chip = chips.cut(frame, detector.faceRect());
        times.chip.push_back(elapsedMs(cutting));
        matcher.verify(matcher.embed(chip, false));
        times.tick.push_back(elapsedMs(start));
        times.detect.push_back(detectMs);
        if (int(times.group.chips.size()) < kGroupSize) {
            times.group.samples.push_back(cv::Mat(kSampleSize, CV_8UC1, cv::Scalar(128)));
            times.group.chips.push_back(chip);
            times.group.embeddings.push_back(matcher.embed(chip, true));
        }
    }
    times.group.embeddingModel = matcher.modelKey();
    times.group.chipAligner = kChipAligner;
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
        FaceChip chips;
        const long memoryLoaded = residentKb();
        const TickTimes times = verificationTicks(matcher, chips, frames);
        const long memoryRun = residentKb();
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
        const double memoryMb = (memoryLoaded - memoryBefore) / 1024.0;
        const double runMemoryMb = (memoryRun - memoryBefore) / 1024.0;
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
        std::printf("both networks: %.1f MiB resident loaded, %.1f MiB after the ticks (goal %.0f MiB: %s)\n", memoryMb,
                    runMemoryMb, kMemoryGoalMb, verdict(runMemoryMb, kMemoryGoalMb));
        const double cut = median(times.chip);
        std::printf("chip (landmark net and cut): median %.2f ms a face (goal %.0f ms: %s), %.1f %% of the tick\n", cut,
                    kChipGoalMs, verdict(cut, kChipGoalMs), tick > 0 ? 100.0 * cut / tick : 0.0);
        return 0;
    } catch (const e_default& error) {
        std::fprintf(stderr, "resnet-bench: %s (run it in build/run)\n", error.message().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "resnet-bench: %s (run it in build/run)\n", error.what());
    }
    return 1;
}
