#include "axes/SessionClips.h"

#include "FolderListing.h"
#include "LivenessFeatures.h"
#include "Parallel.h"
#include "PhotoFramer.h"
#include "SequentialOpenCv.h"
#include "SessionZoom.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace eval {

namespace fs = std::filesystem;

namespace {
// One thread's camera: the window's detector and sample cut, and with embeddings its chips
// and network.
struct ClipCamera
{
    explicit ClipCamera(bool embed)
        : cutter(SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade()),
          embedding(embed ? std::make_unique<EmbeddingStage>() : nullptr)
    {
    }

    SampleCutter cutter;
    std::unique_ptr<EmbeddingStage> embedding;
};

// The ticks' single embeddings, and the group's mirror-averaged ones: the group is the clip's
// faces in order, looped, so each face is embedded once and its embedding repeated likewise.
void embedClip(SessionClip& clip, const std::vector<cv::Mat>& frames, const std::vector<cv::Rect>& faceBoxes,
               EmbeddingStage& stage)
{
    std::vector<Embedding> mirrored;
    for (std::size_t k = 0; k < clip.ticks.size(); ++k) {
        if (clip.ticks[k].empty()) {
            clip.tickEmbeddings.emplace_back();
            clip.tickPoses.emplace_back();
            continue;
        }
        const cv::Mat frame = SessionZoom::zoomed(frames[k], clip.zoom);
        const cv::Mat chip = stage.cutChip(frame, faceBoxes[k]);
        clip.tickEmbeddings.push_back(stage.embedChip(chip, false));
        clip.tickPoses.push_back(stage.lastPose());
        if (mirrored.size() < clip.group.size())
            mirrored.push_back(
                stage.embedChip(stage.groupChipsDiffer() ? stage.cutGroupChip(frame, faceBoxes[k]) : chip, true));
    }
    for (std::size_t g = 0; g < clip.group.size(); ++g)
        clip.groupEmbeddings.push_back(mirrored[g % mirrored.size()]);
}

// Each face's light and, when the liveness check would judge it, its features.
void measureLiveness(SessionClip& clip, const std::vector<cv::Mat>& frames, const std::vector<cv::Rect>& faceBoxes)
{
    for (std::size_t k = 0; k < clip.ticks.size(); ++k) {
        FaceLight::Problem light = FaceLight::Problem::None;
        std::vector<float> features;
        if (!clip.ticks[k].empty()) {
            const cv::Mat frame = SessionZoom::zoomed(frames[k], clip.zoom);
            light = FaceLight::measure(frame, faceBoxes[k]).problem();
            if (light == FaceLight::Problem::None)
                features = livenessFeatures(frame, faceBoxes[k]);
        }
        clip.tickLight.push_back(light);
        clip.tickLiveness.push_back(std::move(features));
    }
}

// Without `stage` the clip carries no embeddings.
SessionClip loadClip(const fs::path& dir, SampleCutter& cutter, EmbeddingStage* stage, int groupSize, bool liveness)
{
    SessionClip clip;
    clip.person = dir.parent_path().filename().string();
    clip.session = dir.filename().string();
    std::vector<cv::Mat> frames;
    for (const fs::path& file : sortedEntries(dir, false))
        frames.push_back(PhotoFramer::load(file.string()));
    clip.frameCount = static_cast<int>(frames.size());
    SessionZoom cut = SessionZoom::choose(frames, cutter);
    clip.facesAsRecorded = cut.facesAsRecorded;
    clip.faces = cut.faces;
    clip.zoom = cut.zoom;
    clip.ticks = std::move(cut.samples);
    const std::vector<cv::Rect> faceBoxes = std::move(cut.faceBoxes);
    clip.group = SessionClips::loopedGroup(clip.ticks, groupSize, clip.groupRounds);
    if (stage)
        embedClip(clip, frames, faceBoxes, *stage);
    if (liveness)
        measureLiveness(clip, frames, faceBoxes);
    return clip;
}

// The session folders <person>/<session> in name order, of `people` only when it names any.
std::vector<fs::path> sessionFolders(const std::string& peopleDir, const std::vector<std::string>& people)
{
    if (!fs::is_directory(peopleDir))
        throw std::runtime_error("session folder not found: " + peopleDir);
    std::vector<fs::path> sessions;
    for (const fs::path& person : sortedEntries(peopleDir, true)) {
        if (!people.empty() && std::find(people.begin(), people.end(), person.filename().string()) == people.end())
            continue;
        for (const fs::path& session : sortedEntries(person, true))
            sessions.push_back(session);
    }
    if (sessions.empty())
        throw std::runtime_error("no sessions in " + peopleDir);
    return sessions;
}
} // namespace

std::vector<SessionClip> SessionClips::load(const std::string& peopleDir, SampleCutter& cutter, int groupSize)
{
    std::vector<SessionClip> clips;
    for (const fs::path& session : sessionFolders(peopleDir, {}))
        clips.push_back(loadClip(session, cutter, nullptr, groupSize, false));
    return clips;
}

std::vector<SessionClip> SessionClips::load(const std::string& peopleDir, const Content& content, int threads,
                                            EmbeddingStats& stats)
{
    const std::vector<fs::path> sessions = sessionFolders(peopleDir, content.people);
    const SequentialOpenCv sequential;
    std::vector<std::unique_ptr<ClipCamera>> cameras;
    for (int t = 0; t < std::max(threads, 1); ++t)
        cameras.push_back(std::make_unique<ClipCamera>(content.embed));
    std::vector<SessionClip> clips(sessions.size());
    Parallel::forEach(sessions.size(), threads, "sessions", [&](std::size_t t, std::size_t k) {
        clips[k] = loadClip(sessions[k], cameras[t]->cutter, cameras[t]->embedding.get(), content.groupSize,
                            content.liveness);
    });
    for (const auto& camera : cameras)
        if (camera->embedding)
            stats.add(camera->embedding->stats());
    return clips;
}

std::vector<cv::Mat> SessionClips::loopedGroup(const std::vector<cv::Mat>& ticks, int groupSize, int& rounds)
{
    std::vector<cv::Mat> group;
    rounds = 0;
    const bool anyFace = std::any_of(ticks.begin(), ticks.end(), [](const cv::Mat& t) { return !t.empty(); });
    while (anyFace && static_cast<int>(group.size()) < groupSize) {
        ++rounds;
        for (const cv::Mat& tick : ticks)
            if (!tick.empty() && static_cast<int>(group.size()) < groupSize)
                group.push_back(tick);
    }
    return group;
}

std::string SessionClips::markdown(const std::vector<SessionClip>& clips, bool groups)
{
    std::ostringstream out;
    out << "| person | session | frames | faces found as recorded | zoom used | faces found at that zoom |"
        << (groups ? " enrolment group of 100 |\n|---|---|---|---|---|---|---|\n" : "\n|---|---|---|---|---|---|\n");
    for (const SessionClip& clip : clips) {
        out << "| " << clip.person << " | " << clip.session << " | " << clip.frameCount << " | "
            << clip.facesAsRecorded << " | " << std::setprecision(3) << clip.zoom << " | " << clip.faces << " |";
        if (!groups)
            out << "\n";
        else if (clip.group.empty())
            out << " none (no face) |\n";
        else if (clip.groupRounds > 1)
            out << " the " << clip.faces << " faces looped " << clip.groupRounds << " times |\n";
        else
            out << " first " << clip.group.size() << " faces |\n";
    }
    return out.str();
}

} // namespace eval
