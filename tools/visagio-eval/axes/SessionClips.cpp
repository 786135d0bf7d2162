#include "axes/SessionClips.h"

#include "FolderListing.h"
#include "Parallel.h"
#include "PhotoFramer.h"
#include "SequentialOpenCv.h"

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
// Zooms tried in turn on a session: a user sitting up to twice as near.
constexpr double kZoomLadder[] = {1.0, 1.25, 1.5, 1.75, 2.0};
// A zoom is enough once the detector finds a face in this share of the session's frames.
constexpr double kEnoughFaceShare = 0.5;

// One thread's camera: the window's detector and sample cut, and with embeddings its chips
// and network.
struct ClipCamera
{
    explicit ClipCamera(bool embed)
        : cutter(SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade()),
          embedding(embed ? std::make_unique<EmbeddingStage>(SampleCutter::defaultEyeCascade()) : nullptr)
    {
    }

    SampleCutter cutter;
    std::unique_ptr<EmbeddingStage> embedding;
};

// Every frame's sample at `zoom` (empty without a face), with the face's box in `faceBoxes`.
std::vector<cv::Mat> cutAll(const std::vector<cv::Mat>& frames, double zoom, SampleCutter& cutter, int& faces,
                            std::vector<cv::Rect>& faceBoxes)
{
    std::vector<cv::Mat> ticks;
    faceBoxes.clear();
    faces = 0;
    for (const cv::Mat& frame : frames) {
        ticks.push_back(cutter.cutFrame(SessionClips::zoomed(frame, zoom)));
        faceBoxes.push_back(cutter.lastFace());
        faces += ticks.back().empty() ? 0 : 1;
    }
    return ticks;
}

// The ticks' single embeddings, and the group's mirror-averaged ones: the group is the clip's
// faces in order, looped, so each face is embedded once and its embedding repeated likewise.
void embedClip(SessionClip& clip, const std::vector<cv::Mat>& frames, const std::vector<cv::Rect>& faceBoxes,
               EmbeddingStage& stage)
{
    std::vector<Embedding> mirrored;
    for (std::size_t k = 0; k < clip.ticks.size(); ++k) {
        if (clip.ticks[k].empty()) {
            clip.tickEmbeddings.emplace_back();
            continue;
        }
        const cv::Mat chip = stage.cutChip(SessionClips::zoomed(frames[k], clip.zoom), faceBoxes[k]);
        clip.tickEmbeddings.push_back(stage.embedChip(chip, false));
        if (mirrored.size() < clip.group.size())
            mirrored.push_back(stage.embedChip(chip, true));
    }
    for (std::size_t g = 0; g < clip.group.size(); ++g)
        clip.groupEmbeddings.push_back(mirrored[g % mirrored.size()]);
}

// Without `stage` the clip carries no embeddings.
SessionClip loadClip(const fs::path& dir, SampleCutter& cutter, EmbeddingStage* stage, int groupSize)
{
    SessionClip clip;
    clip.person = dir.parent_path().filename().string();
    clip.session = dir.filename().string();
    std::vector<cv::Mat> frames;
    for (const fs::path& file : sortedEntries(dir, false))
        frames.push_back(PhotoFramer::load(file.string()));
    clip.frameCount = static_cast<int>(frames.size());
    std::vector<cv::Rect> faceBoxes;
    for (double zoom : kZoomLadder) {
        int faces = 0;
        std::vector<cv::Rect> boxes;
        std::vector<cv::Mat> ticks = cutAll(frames, zoom, cutter, faces, boxes);
        if (zoom == kZoomLadder[0])
            clip.facesAsRecorded = faces;
        if (clip.ticks.empty() || faces > clip.faces) {
            clip.ticks = std::move(ticks);
            faceBoxes = std::move(boxes);
            clip.faces = faces;
            clip.zoom = zoom;
        }
        if (faces >= kEnoughFaceShare * clip.frameCount)
            break;
    }
    clip.group = SessionClips::loopedGroup(clip.ticks, groupSize, clip.groupRounds);
    if (stage)
        embedClip(clip, frames, faceBoxes, *stage);
    return clip;
}

// The session folders <person>/<session> in name order.
std::vector<fs::path> sessionFolders(const std::string& peopleDir)
{
    if (!fs::is_directory(peopleDir))
        throw std::runtime_error("session folder not found: " + peopleDir);
    std::vector<fs::path> sessions;
    for (const fs::path& person : sortedEntries(peopleDir, true))
        for (const fs::path& session : sortedEntries(person, true))
            sessions.push_back(session);
    if (sessions.empty())
        throw std::runtime_error("no sessions in " + peopleDir);
    return sessions;
}
} // namespace

std::vector<SessionClip> SessionClips::load(const std::string& peopleDir, SampleCutter& cutter, int groupSize)
{
    std::vector<SessionClip> clips;
    for (const fs::path& session : sessionFolders(peopleDir))
        clips.push_back(loadClip(session, cutter, nullptr, groupSize));
    return clips;
}

std::vector<SessionClip> SessionClips::load(const std::string& peopleDir, int groupSize, bool embed, int threads,
                                            EmbeddingStats& stats)
{
    const std::vector<fs::path> sessions = sessionFolders(peopleDir);
    const SequentialOpenCv sequential;
    std::vector<std::unique_ptr<ClipCamera>> cameras;
    for (int t = 0; t < std::max(threads, 1); ++t)
        cameras.push_back(std::make_unique<ClipCamera>(embed));
    std::vector<SessionClip> clips(sessions.size());
    Parallel::forEach(sessions.size(), threads, "sessions", [&](std::size_t t, std::size_t k) {
        clips[k] = loadClip(sessions[k], cameras[t]->cutter, cameras[t]->embedding.get(), groupSize);
    });
    for (const auto& camera : cameras)
        if (camera->embedding)
            stats.add(camera->embedding->stats());
    return clips;
}

cv::Mat SessionClips::zoomed(const cv::Mat& frame, double zoom)
{
    if (zoom <= 1.0)
        return frame;
    const cv::Size inner(static_cast<int>(frame.cols / zoom), static_cast<int>(frame.rows / zoom));
    const cv::Rect centre((frame.cols - inner.width) / 2, (frame.rows - inner.height) / 2, inner.width, inner.height);
    cv::Mat result;
    cv::resize(frame(centre), result, frame.size(), 0, 0, cv::INTER_LINEAR);
    return result;
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

std::string SessionClips::markdown(const std::vector<SessionClip>& clips)
{
    std::ostringstream out;
    out << "| person | session | frames | faces found as recorded | zoom used | faces found at that zoom | "
           "enrolment group of 100 |\n|---|---|---|---|---|---|---|\n";
    for (const SessionClip& clip : clips) {
        out << "| " << clip.person << " | " << clip.session << " | " << clip.frameCount << " | "
            << clip.facesAsRecorded << " | " << std::setprecision(3) << clip.zoom << " | " << clip.faces << " | ";
        if (clip.group.empty())
            out << "none (no face) |\n";
        else if (clip.groupRounds > 1)
            out << "the " << clip.faces << " faces looped " << clip.groupRounds << " times |\n";
        else
            out << "first " << clip.group.size() << " faces |\n";
    }
    return out.str();
}

} // namespace eval
