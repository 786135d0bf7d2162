#include "axes/SessionClips.h"

#include "FolderListing.h"
#include "PhotoFramer.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <filesystem>
#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace eval {

namespace fs = std::filesystem;

namespace {
// Zooms tried in turn on a session: a user sitting up to twice as near.
constexpr double kZoomLadder[] = {1.0, 1.25, 1.5, 1.75, 2.0};
// A zoom is enough once the detector finds a face in this share of the session's frames.
constexpr double kEnoughFaceShare = 0.5;

std::vector<cv::Mat> cutAll(const std::vector<cv::Mat>& frames, double zoom, SampleCutter& cutter, int& faces)
{
    std::vector<cv::Mat> ticks;
    faces = 0;
    for (const cv::Mat& frame : frames) {
        ticks.push_back(cutter.cutFrame(SessionClips::zoomed(frame, zoom)));
        faces += ticks.back().empty() ? 0 : 1;
    }
    return ticks;
}

SessionClip loadClip(const fs::path& dir, SampleCutter& cutter, int groupSize)
{
    SessionClip clip;
    clip.person = dir.parent_path().filename().string();
    clip.session = dir.filename().string();
    std::vector<cv::Mat> frames;
    for (const fs::path& file : sortedEntries(dir, false))
        frames.push_back(PhotoFramer::load(file.string()));
    clip.frameCount = static_cast<int>(frames.size());
    for (double zoom : kZoomLadder) {
        int faces = 0;
        std::vector<cv::Mat> ticks = cutAll(frames, zoom, cutter, faces);
        if (zoom == kZoomLadder[0])
            clip.facesAsRecorded = faces;
        if (clip.ticks.empty() || faces > clip.faces) {
            clip.ticks = std::move(ticks);
            clip.faces = faces;
            clip.zoom = zoom;
        }
        if (faces >= kEnoughFaceShare * clip.frameCount)
            break;
    }
    clip.group = SessionClips::loopedGroup(clip.ticks, groupSize, clip.groupRounds);
    return clip;
}
} // namespace

std::vector<SessionClip> SessionClips::load(const std::string& peopleDir, SampleCutter& cutter, int groupSize)
{
    if (!fs::is_directory(peopleDir))
        throw std::runtime_error("session folder not found: " + peopleDir);
    std::vector<SessionClip> clips;
    for (const fs::path& person : sortedEntries(peopleDir, true))
        for (const fs::path& session : sortedEntries(person, true))
            clips.push_back(loadClip(session, cutter, groupSize));
    if (clips.empty())
        throw std::runtime_error("no sessions in " + peopleDir);
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
