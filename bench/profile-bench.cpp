// Prints what an owner profile of 5 groups adds to the window's start-up: reading the groups
// from disk (OwnerProfile::load) and training the matcher on them once, as MainWindow does
// after building the matcher. Run it in the run directory (build/run), which holds the
// shipped model and foreign base; the groups are noise samples in a temporary profile, which
// costs the same to read and to train as faces.
//   cd build/run && ../bench/profile-bench
#include "Errors.h"
#include "FaceGeometry.h"
#include "FaceMatcher.h"
#include "OwnerProfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int kGroups = 5;
constexpr int kGroupSize = 100;
constexpr int kRounds = 3;
// What the profile may add to start-up at most.
constexpr double kLimitMs = 500.0;

void dropMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

std::vector<cv::Mat> noiseGroup(int seed)
{
    cv::RNG random(seed);
    std::vector<cv::Mat> group;
    for (int i = 0; i < kGroupSize; ++i) {
        cv::Mat sample(kSampleSize, CV_8UC1);
        random.fill(sample, cv::RNG::UNIFORM, 0, 256);
        group.push_back(sample);
    }
    return group;
}

// One start-up's profile work in milliseconds: {read, train}.
std::pair<double, double> loadAndTrain(const QString& folder)
{
    FaceMatcher matcher(kSampleSize.width, kSampleSize.height);
    QElapsedTimer clock;
    clock.start();
    OwnerProfile profile(folder, kSampleSize);
    const auto groups = profile.load();
    const double readMs = clock.nsecsElapsed() / 1e6;
    for (const auto& group : groups)
        matcher.addGroup(group.samples);
    matcher.train();
    return {readMs, clock.nsecsElapsed() / 1e6 - readMs};
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(dropMessages);
    QTemporaryDir temp;
    try {
        const QString folder = temp.filePath("profile");
        {
            OwnerProfile profile(folder, kSampleSize);
            for (int group = 0; group < kGroups; ++group)
                profile.addGroup(noiseGroup(group + 1));
        }
        double best = 1e300;
        for (int round = 0; round < kRounds; ++round) {
            const auto [readMs, trainMs] = loadAndTrain(folder);
            std::printf("round %d/%d: %d groups of %d read in %.1f ms, trained in %.1f ms, total %.1f ms\n",
                        round + 1, kRounds, kGroups, kGroupSize, readMs, trainMs, readMs + trainMs);
            best = std::min(best, readMs + trainMs);
        }
        std::printf("profile of %d groups adds %.0f ms to start-up (limit %.0f ms): %s\n", kGroups, best, kLimitMs,
                    best <= kLimitMs ? "within" : "OVER");
        return best <= kLimitMs ? 0 : 1;
    } catch (const e_default& error) {
        std::fprintf(stderr, "profile-bench: %s (run it in build/run)\n", error.message().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "profile-bench: %s (run it in build/run)\n", error.what());
    }
    return 1;
}
