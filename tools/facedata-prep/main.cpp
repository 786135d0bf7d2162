// facedata-prep: prepares what Visagio needs from the shared face data sets: face samples for
// training and calibrating the feature model, the foreign-face base, and camera stand-in videos.

#include "CommandLine.h"
#include "DemoSetWriter.h"
#include "DemoVideoMaker.h"
#include "FacedataIndex.h"
#include "ForeignBaseWriter.h"
#include "SampleCutter.h"
#include "ToolMain.h"
#include "YaleTrainingSamples.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <stdexcept>

namespace {

constexpr const char* kDefaultFacedata = "../shared/facedata";
constexpr unsigned kDefaultSeed = 5;
// With the matcher keeping about a fifth of these and half of the Yale faces, its cohort of
// foreign faces holds more than 500.
constexpr int kDefaultFeretCount = 2400;
constexpr const char* kYaleFolder = "/yaleB_cropped_48x42/pgm";

const char* const kUsage = R"(usage: facedata-prep MODE [options]

Modes:
  samples --set SET --out FILE [--copies N]
        Cuts 35 x 45 face samples as the window does (each photograph placed in a 320 x 240
        frame, the window's face detector, its sample cut) into a sample file for grbm-train.
        SET: mtfl (MTFL faces without lfw_min10 people), lfw-2to9, essex,
             lfw-calibration (lfw_min10 names A-J), lfw-evaluation (lfw_min10 names K-Z),
             yaleb-tune, yaleb-select (the two parts of the Yale B training half: people
             sorted by name, the first half; each 42 x 48 crop cut as the window cuts a
             detected face, without the detector).
        --copies N adds N copies of every photograph at slightly moved placements (default 0).
  foreign --out DIR [--feret-count N]
        Writes the foreign-face base DIR/foreignfaces/all/glasgow/ (Yale faces on a light
        background, framed for the fixed crop) and DIR/foreignfaces/all/feret/ with coords.txt
        (the first N MTFL faces of AFLW and net_7876, default 2400).
  demo --out DIR
        Writes the camera stand-in videos: DIR/owner-enrol.avi, DIR/verify/*.avi (strangers
        1-8, then the owner 9), DIR/extra/owner-other-room.avi.
  video --out FILE.avi (--clip VIDEO | --photos DIR)
        Makes a 320 x 240 MJPG video of one person from a video clip or a folder of photographs.

Options of every mode:
  --facedata DIR   the face data folder (default: $VISAGIO_FACEDATA, else ../shared/facedata)
  --cascade FILE   face cascade (default: ./haarcascades/haarcascade.xml when present, else
                   Debian's haarcascade_frontalface_alt2.xml)
  --seed N         seed of every random movement (default 5)
  --help           this text
)";

std::vector<FacePhoto> photosOfSet(const FacedataIndex& index, const std::string& set)
{
    if (set == "mtfl")
        return index.mtflFaces(true);
    if (set == "lfw-2to9")
        return index.lfwPeople("lfw_2to9");
    if (set == "essex")
        return index.essexPeople();
    if (set == "lfw-calibration")
        return index.lfwPeople("lfw_min10", 'A', 'J');
    if (set == "lfw-evaluation")
        return index.lfwPeople("lfw_min10", 'K', 'Z');
    throw std::invalid_argument("unknown sample set: " + set);
}


void runSamples(const CommandLine& line, const FacedataIndex& index, unsigned seed)
{
    const std::string set = line.required("set");
    const std::string out = line.required("out");
    if (set == "yaleb-tune" || set == "yaleb-select") {
        const SampleSet samples =
            YaleTrainingSamples::cut(YaleTrainingSamples::part(index.root() + kYaleFolder, set == "yaleb-tune"),
                                     static_cast<int>(line.number("copies", 0)), seed);
        samples.save(out);
        std::printf("%s: %d samples of %zu people -> %s\n", set.c_str(), samples.size(), samples.personNames().size(),
                    out.c_str());
        return;
    }
    const std::vector<FacePhoto> photos = photosOfSet(index, set);
    SampleCutter cutter(line.text("cascade", SampleCutter::defaultFaceCascade()), SampleCutter::defaultEyeCascade());
    int missed = 0;
    const SampleSet samples =
        cutter.cutPhotos(photos, static_cast<int>(line.number("copies", 0)), seed, set, missed);
    samples.save(out);
    std::printf("%s: %zu photographs, %d without a detected face (left out), %d samples of %zu people -> %s\n",
                set.c_str(), photos.size(), missed, samples.size(), samples.personNames().size(), out.c_str());
}

void runForeign(const CommandLine& line, const FacedataIndex& index)
{
    ForeignBaseWriter writer(line.required("out"));
    const std::vector<FacePhoto> yale = index.yaleFaces();
    const int glasgow = writer.writeGlasgow(yale, line.text("cascade", SampleCutter::defaultFaceCascade()));
    std::vector<FacePhoto> feret;
    const auto limit = static_cast<size_t>(line.number("feret-count", kDefaultFeretCount));
    for (const auto& photo : index.mtflFaces(true))
        if (photo.path.find("lfw_5590") == std::string::npos && feret.size() < limit)
            feret.push_back(photo);
    const int feretWritten = writer.writeFeret(feret);
    std::printf("glasgow: %d of %zu Yale photographs (no face found in the rest) -> %s\n", glasgow, yale.size(),
                writer.glasgowDir().c_str());
    std::printf("feret: %d of %zu MTFL photographs -> %s\n", feretWritten, feret.size(), writer.feretDir().c_str());
}

void runDemo(const CommandLine& line, const FacedataIndex& index, unsigned seed)
{
    DemoSetWriter writer(index, line.required("out"), line.text("cascade", SampleCutter::defaultFaceCascade()),
                         SampleCutter::defaultEyeCascade(), seed);
    std::printf("%-45s %-22s %7s %7s\n", "video", "person", "frames", "faces");
    for (const auto& video : writer.write())
        std::printf("%-45s %-22s %7d %7d\n", video.path.c_str(), video.person.c_str(), video.frames,
                    video.faceFrames);
}

void runVideo(const CommandLine& line, unsigned seed)
{
    const std::string out = line.required("out");
    std::vector<cv::Mat> frames;
    if (line.has("clip")) {
        frames = DemoVideoMaker::clipFrames(line.text("clip"));
    } else {
        std::vector<FacePhoto> photos;
        for (const auto& entry : std::filesystem::directory_iterator(line.required("photos")))
            if (entry.is_regular_file())
                photos.push_back({entry.path().string(), "", {}});
        std::sort(photos.begin(), photos.end(), [](const FacePhoto& a, const FacePhoto& b) { return a.path < b.path; });
        std::mt19937 random(seed);
        frames = DemoVideoMaker::photoFrames(photos, 8, random, line.text("cascade", SampleCutter::defaultFaceCascade()),
                                             SampleCutter::defaultEyeCascade());
    }
    if (frames.empty())
        throw std::runtime_error("no face found in any photograph");
    DemoVideoMaker::write(out, frames);
    std::printf("%zu frames -> %s\n", frames.size(), out.c_str());
}

int run(int argc, char** argv)
{
    const CommandLine line(argc, argv);
    if (line.has("help") || line.words().empty()) {
        std::fputs(kUsage, line.has("help") ? stdout : stderr);
        return line.has("help") ? 0 : 2;
    }
    line.allowOnly({"help", "facedata", "cascade", "seed", "set", "out", "copies", "feret-count", "clip", "photos"});
    const std::string mode = line.words().front();
    const auto seed = static_cast<unsigned>(line.number("seed", kDefaultSeed));
    if (mode == "video") {
        runVideo(line, seed);
        return 0;
    }
    const FacedataIndex index(FacedataIndex::locate(line.text("facedata"), kDefaultFacedata));
    if (mode == "samples")
        runSamples(line, index, seed);
    else if (mode == "foreign")
        runForeign(line, index);
    else if (mode == "demo")
        runDemo(line, index, seed);
    else
        throw std::invalid_argument("unknown mode: " + mode + " (see --help)");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    return runTool("facedata-prep", [&] { return run(argc, argv); });
}
