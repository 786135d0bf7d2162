// chip-fit: fits the face-resnet's chip cut (FaceChip) on the calibration faces and measures
// what its alignment is worth to the network.

#include "CalibrationFaces.h"
#include "ChipEer.h"
#include "CommandLine.h"
#include "EyeFit.h"
#include "LandmarkFit.h"
#include "FacedataIndex.h"
#include "SampleCutter.h"
#include "ToolMain.h"

#include <QLoggingCategory>

#include <cstdio>
#include <string>

namespace {

constexpr const char* kDefaultFacedata = "../shared/facedata";

const char* const kUsage = R"(usage: chip-fit [options]

Runs the window's face detector on the calibration faces (Essex faces94 female at native
size, lfw_min10 people A-J at 250 x 250) and FaceChip's eye search in each face box, then
prints:
  1. the median eye midpoint (x, y) and eye distance as fractions of the face box over the
     faces whose eye pair was found: FaceChip's box transform constants;
  2. the share of faces whose eye pair was found, and the time of one cut();
  3. with the landmark network: the median mouth centre on a chip that puts the landmarks'
     eye centres on the chip's (FaceChip's mouth target), the eye distance by the box width
     (FaceChip's sanity range), the share of faces FaceChip aligns by their landmarks, the
     nose tip's median height between eyes and mouth (HeadPose's frontal pitch), and the time
     of one cut();
  4. on lfw_min10 A-J, the equal error rates of same-person and different-person pairs by
     the cosine and Euclidean distance of the face-resnet's embeddings, for chips cut by the
     box transform alone, by the eyes where found or by the landmarks where plausible, without
     mirror averaging, averaged with the mirror image on both sides, or on the enrolled side
     only.

Options:
  --facedata DIR          the face data folder (default: $VISAGIO_FACEDATA, else
                          ../shared/facedata)
  --cascade FILE          face cascade (default: ./haarcascades/haarcascade.xml when present,
                          else Debian's haarcascade_frontalface_alt2.xml)
  --eye-cascade FILE      eye cascade (default: the run folder's, else Debian's
                          haarcascade_eye.xml)
  --resnet DIR            the face-resnet's folder (default: the source tree's
                          data/models/face-resnet)
  --landmarks DIR         the landmark network's folder (default: the source tree's
                          data/models/face-landmarks)
  --no-eer                steps 1 to 3 only
  --threads N             threads embedding faces (default 2)
  --genuine-per-person N  same-person pairs drawn per person at most (default 100)
  --impostor-pairs N      different-person pairs (default 20000)
  --seed N                seed of the pair draw (default 1)
  --help                  this text
)";

void printFit(const EyeFit& fit)
{
    std::printf("\n%-6s %6s %6s %7s   %-22s %-22s %-22s\n", "set", "faces", "pairs", "found", "eye mid x (spread)",
                "eye mid y (spread)", "eye distance (spread)");
    for (const char* set : {"essex", "lfw", ""}) {
        const EyeFit::Summary s = fit.summary(set);
        std::printf("%-6s %6d %6d %6.1f%%   %.3f (%.3f)          %.3f (%.3f)          %.3f (%.3f)\n",
                    *set ? set : "all", s.faces, s.pairs, s.faces ? 100.0 * s.pairs / s.faces : 0.0, s.midX, s.spreadX,
                    s.midY, s.spreadY, s.distance, s.spreadDistance);
    }
    std::printf("cut() %.2f ms processor time a chip (eye search included, one thread)\n", fit.cutMilliseconds());
}

void printLandmarkFit(const LandmarkFit& fit)
{
    const LandmarkFit::Summary s = fit.summary();
    std::printf("\nlandmarks: %d faces, %d (%.1f%%) aligned by them\n", s.faces, s.plausible,
                s.faces ? 100.0 * s.plausible / s.faces : 0.0);
    std::printf("mouth on the eye-aligned chip: x %.1f (%.1f), y %.1f (%.1f) px\n", s.mouthX, s.spreadX, s.mouthY,
                s.spreadY);
    std::printf("eye distance by the box width: median %.3f, 99 %% within %.3f-%.3f\n", s.eyeDistance,
                s.eyeDistanceLow, s.eyeDistanceHigh);
    std::printf("nose tip at %.3f of the eye-to-mouth height\n", s.noseShare);
    std::printf("cut() %.2f ms processor time a chip (the network included, one thread)\n", fit.cutMilliseconds());
}

void printEer(const std::vector<BoxedFace>& faces, const CommandLine& line)
{
    std::vector<BoxedFace> lfw;
    for (const BoxedFace& face : faces)
        if (face.set == "lfw")
            lfw.push_back(face);
    ChipEer::Options options;
    options.resnetFolder = line.text("resnet", VISAGIO_RESNET_SOURCE);
    options.eyeCascade = line.text("eye-cascade", SampleCutter::defaultChipEyeCascade());
    options.landmarksFolder = line.text("landmarks", VISAGIO_LANDMARKS_SOURCE);
    options.threads = int(line.number("threads", 2));
    options.genuinePerPerson = int(line.number("genuine-per-person", 100));
    options.impostorPairs = int(line.number("impostor-pairs", 20000));
    options.seed = unsigned(line.number("seed", 1));
    const ChipEer eer(lfw, options);
    std::printf("\nlfw_min10 A-J (calibration people, not an evaluation figure): %zu faces, %.1f %% aligned by "
                "eyes, %.1f %% by landmarks; %d genuine, %d impostor pairs; %.1f ms an embedding (wall clock)\n",
                lfw.size(), 100.0 * eer.eyeShare(), 100.0 * eer.landmarkShare(), eer.genuineCount(), eer.impostorCount(), eer.embedMilliseconds());
    std::printf("%-32s %10s %10s\n", "chips", "cosine", "Euclidean");
    for (const ChipEer::Row& row : eer.table())
        std::printf("%-32s %9.2f%% %9.2f%%\n", row.name.c_str(), 100.0 * row.cosineEer, 100.0 * row.euclideanEer);
}

int run(int argc, char** argv)
{
    const CommandLine line(argc, argv, {"help", "no-eer"});
    if (line.has("help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    line.allowOnly({"help", "facedata", "cascade", "eye-cascade", "resnet", "landmarks", "no-eer", "threads", "genuine-per-person",
                    "impostor-pairs", "seed"});
    // The detector's and the chip's notes on cascades would interleave with the progress.
    QLoggingCategory::setFilterRules("default.debug=false");
    const FacedataIndex index(FacedataIndex::locate(line.text("facedata"), kDefaultFacedata));
    int missed = 0;
    const std::vector<BoxedFace> faces =
        calibrationFaces(index, line.text("cascade", SampleCutter::defaultFaceCascade()), missed);
    std::printf("%zu calibration faces, %d photographs without a face\n", faces.size(), missed);
    printFit(EyeFit(faces, line.text("eye-cascade", SampleCutter::defaultChipEyeCascade())));
    printLandmarkFit(LandmarkFit(faces, QString::fromStdString(line.text("landmarks", VISAGIO_LANDMARKS_SOURCE))));
    if (!line.has("no-eer"))
        printEer(faces, line);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return runTool("chip-fit", [&] { return run(argc, argv); });
}
