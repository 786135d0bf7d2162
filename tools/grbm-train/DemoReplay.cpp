#include "DemoReplay.h"

#include "DemoSetWriter.h"
#include "DemoVideoMaker.h"
#include "SampleCutter.h"
#include "TanTriggsSamples.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {
std::vector<std::string> videosUnder(const fs::path& dir)
{
    std::vector<std::string> videos;
    if (!fs::is_directory(dir))
        return videos;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().extension() == ".avi")
            videos.push_back(entry.path().string());
    std::sort(videos.begin(), videos.end());
    return videos;
}

// The face samples of the frames (empty where no face was found), normalised as `light` says.
std::vector<cv::Mat> samplesOf(SampleCutter& cutter, const std::vector<cv::Mat>& frames, LightNormalisation light)
{
    const SampleSet::Change prepare = TanTriggsSamples::preparationFor(light);
    std::vector<cv::Mat> samples = cutter.cutFrames(frames);
    for (cv::Mat& sample : samples)
        if (prepare && !sample.empty())
            sample = prepare(sample);
    return samples;
}
} // namespace

std::vector<DemoReplay::Row> DemoReplay::run(const VerificationBench::FeatureMap& map, const RowMatrix& cohortVectors,
                                             std::optional<float> cohortTarget, LightNormalisation light,
                                             const std::string& demoDir, const std::string& faceCascade,
                                             const std::string& eyeCascade, unsigned seed)
{
    SampleCutter cutter(faceCascade, eyeCascade);
    std::vector<cv::Mat> cameraFrames;
    for (const auto& frame : DemoVideoMaker::read((fs::path(demoDir) / DemoSetWriter::ownerEnrolName()).string())) {
        cv::Mat mirrored;
        cv::flip(frame, mirrored, 1);
        cameraFrames.push_back(mirrored);
    }
    std::vector<cv::Mat> enrolment;
    for (const auto& sample : samplesOf(cutter, cameraFrames, light))
        if (!sample.empty())
            enrolment.push_back(sample);
    if (enrolment.size() < static_cast<size_t>(WindowSimulation::kGroupSize))
        throw std::runtime_error("the enrolment video has fewer than 100 face frames");
    const WindowSimulation simulation(map, enrolment, cohortVectors, cohortTarget, seed);
    std::vector<std::string> videos = videosUnder(fs::path(demoDir) / DemoSetWriter::verifyDir());
    for (const auto& extra : videosUnder(fs::path(demoDir) / "extra"))
        videos.push_back(extra);
    std::vector<Row> rows;
    for (const auto& video : videos)
        rows.push_back({fs::relative(video, demoDir).string(),
                        simulation.verify(samplesOf(cutter, DemoVideoMaker::read(video), light))});
    return rows;
}
