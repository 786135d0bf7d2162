// resnet-calibrate: fits the face-resnet's lock constants (the distance and its scale) on the
// calibration people, same-room strangers first, and writes the model's calibration file.

#include "CalibrationFit.h"
#include "ChipEmbedder.h"
#include "CommandLine.h"
#include "FacedataIndex.h"
#include "ToolMain.h"

#include <QDir>
#include <opencv2/core.hpp>

#include <cstdio>
#include <iostream>

namespace {
constexpr const char* kDefaultFacedata = "../shared/facedata";
// Same-room strangers pass the per-face threshold at most this often (Essex, one studio)...
constexpr double kDefaultFar = 0.001;
// ...and the threshold lies halfway between that distance and the one within which this share
// of the same-room owners' faces lie.
constexpr double kOwnerShare = 0.99;
// LFW calibration people: names A to J (K to Z is the evaluation split).
constexpr char kFirstCalibrationName = 'A';
constexpr char kLastCalibrationName = 'J';

const char* const kUsage = R"(usage: resnet-calibrate [options]

Embeds the calibration faces as the window does (the window's detector, the face chip, the
network) and fits the lock's constants for the face-resnet: for the cosine and the Euclidean
distance, the distance at which same-room strangers (Essex faces94, one studio) pass at most
--far of the time and the one within which 99 % of the same-room owners' faces lie; the
threshold is halfway between them, and is checked on LFW photographs of people A-J. The distance
that accepts more of the owners' faces at its threshold (the shares on Essex and on LFW added)
wins; its scale puts the per-face threshold (0.99) at that distance. The calibration file is written with --out.

Options:
  --resnet DIR     the network's folder (default: face-resnet/ of the working folder)
  --facedata DIR   the face data folder (default: $VISAGIO_FACEDATA, else ../shared/facedata)
  --far F          the same-room strangers' pass rate to fit for (default 0.001)
  --out FILE       write the calibration here
  --help           this text
)";

struct Fit
{
    ResnetCalibration::Distance kind;
    const char* name;
    float threshold = 0.0f;
    double essexOwners = 0.0;
    double lfwOwners = 0.0;
    double lfwStrangers = 0.0;
};

Fit fitDistance(ResnetCalibration::Distance kind, const char* name, const PeopleEmbeddings& essex,
                const PeopleEmbeddings& lfw, double far)
{
    Fit fit{kind, name};
    const TrialDistances room = ownerTrials(essex, kind);
    const TrialDistances photos = ownerTrials(lfw, kind);
    fit.threshold = marginThreshold(room.owners, room.strangers, kOwnerShare, far);
    fit.essexOwners = shareBelow(room.owners, fit.threshold);
    fit.lfwOwners = shareBelow(photos.owners, fit.threshold);
    fit.lfwStrangers = shareBelow(photos.strangers, fit.threshold);
    std::printf("%-9s strangers' edge %.4f, threshold %.4f  same-room strangers %.2f %% of %zu, owners %.1f %% of %zu;"
                "  photographs: strangers %.2f %% of %zu, owners %.1f %% of %zu\n",
                name, thresholdAtFar(room.strangers, far), fit.threshold, 100.0 * shareBelow(room.strangers, fit.threshold), room.strangers.size(),
                100.0 * fit.essexOwners, room.owners.size(), 100.0 * fit.lfwStrangers, photos.strangers.size(),
                100.0 * fit.lfwOwners, photos.owners.size());
    return fit;
}

int run(int argc, char** argv)
{
    const CommandLine line(argc, argv);
    line.allowOnly({"help", "resnet", "facedata", "far", "out"});
    if (line.has("help")) {
        std::cout << kUsage;
        return 0;
    }
    cv::setNumThreads(1);
    const FacedataIndex index(FacedataIndex::locate(line.text("facedata"), kDefaultFacedata));
    ChipEmbedder embedder(line.text("resnet", "face-resnet/"));
    int missed = 0;
    const PeopleEmbeddings essex = embedder.embedPhotos(index.essexPeople(), "essex", missed);
    std::printf("essex: %zu people, %d photographs without a face\n", essex.size(), missed);
    const PeopleEmbeddings lfw = embedder.embedPhotos(
        index.lfwPeople("lfw_min10", kFirstCalibrationName, kLastCalibrationName), "lfw A-J", missed);
    std::printf("lfw A-J: %zu people, %d photographs without a face\n", lfw.size(), missed);

    const double far = line.number("far", kDefaultFar);
    const Fit cosine = fitDistance(ResnetCalibration::Distance::Cosine, "cosine", essex, lfw, far);
    const Fit euclidean = fitDistance(ResnetCalibration::Distance::Euclidean, "euclidean", essex, lfw, far);
    const auto owners = [](const Fit& fit) { return fit.essexOwners + fit.lfwOwners; };
    const Fit& chosen = owners(euclidean) > owners(cosine) ? euclidean : cosine;

    ResnetCalibration calibration;
    calibration.modelSha256 = embedder.network().sha256();
    calibration.distance = chosen.kind;
    calibration.scale = scaleForThreshold(chosen.threshold);
    std::printf("chosen: %s, distance_scale %.6g\n", chosen.name, double(calibration.scale));
    if (line.has("out"))
        calibration.write(QString::fromStdString(line.text("out")));
    return 0;
}
}  // namespace

int main(int argc, char** argv)
{
    return runTool("resnet-calibrate", [&] { return run(argc, argv); });
}
