#include "LivenessFaces.h"

#include "FaceGeometry.h"
#include "FacedataIndex.h"
#include "FolderListing.h"
#include "LivenessFeatures.h"
#include "PhotoFramer.h"
#include "ProgressBar.h"
#include "SampleCutter.h"
#include "SessionZoom.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {
struct SessionFolder
{
    fs::path dir;
    bool live;
};

std::vector<SessionFolder> sessionFolders(const fs::path& people, bool live)
{
    if (!fs::is_directory(people))
        throw std::runtime_error("liveness data folder not found: " + people.string());
    std::vector<SessionFolder> sessions;
    for (const fs::path& person : sortedEntries(people, true))
        for (const fs::path& session : sortedEntries(person, true))
            sessions.push_back({session, live});
    return sessions;
}

cv::Mat compressed(const cv::Mat& frame, int quality)
{
    std::vector<uchar> bytes;
    cv::imencode(".jpg", frame, bytes, {cv::IMWRITE_JPEG_QUALITY, quality});
    return cv::imdecode(bytes, cv::IMREAD_COLOR);
}

LivenessFace faceOf(const cv::Mat& frame, const cv::Rect& box, std::string person, std::string session, int index)
{
    LivenessFace face;
    face.person = std::move(person);
    face.session = std::move(session);
    face.live = true;
    face.frame = index;
    face.light = FaceLight::measure(frame, box);
    face.features = livenessFeatures(frame, box);
    return face;
}

// The frame as the camera delivers it: JPEG-compressed first when jpegQuality is set.
cv::Mat delivered(const cv::Mat& frame, int jpegQuality)
{
    return jpegQuality > 0 ? compressed(frame, jpegQuality) : frame;
}

void addSession(const SessionFolder& session, int jpegQuality, SampleCutter& cutter, LivenessFaceSet& set)
{
    std::vector<cv::Mat> frames;
    for (const fs::path& file : sortedEntries(session.dir, false)) {
        cv::Mat frame = PhotoFramer::load(file.string());
        frames.push_back(delivered(frame, jpegQuality));
    }
    set.frames += static_cast<int>(frames.size());
    const SessionZoom cut = SessionZoom::choose(frames, cutter);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        if (cut.samples[k].empty())
            continue;
        LivenessFace face = faceOf(SessionZoom::zoomed(frames[k], cut.zoom), cut.faceBoxes[k],
                                   session.dir.parent_path().filename().string(), session.dir.filename().string(),
                                   static_cast<int>(k));
        face.live = session.live;
        set.faces.push_back(std::move(face));
    }
}
} // namespace

LivenessFaceSet LivenessFaceSet::load(const std::string& facedata, int jpegQuality)
{
    const fs::path root(facedata);
    std::vector<SessionFolder> sessions = sessionFolders(root / "nuaa_attack" / "photo", false);
    for (const fs::path& live : {root / "nuaa_attack" / "live", root / "nuaa_webcam" / "people"}) {
        const std::vector<SessionFolder> more = sessionFolders(live, true);
        sessions.insert(sessions.end(), more.begin(), more.end());
    }
    SampleCutter cutter(SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade());
    LivenessFaceSet set;
    ProgressBar progress("liveness sessions", static_cast<int>(sessions.size()));
    for (std::size_t k = 0; k < sessions.size(); ++k) {
        addSession(sessions[k], jpegQuality, cutter, set);
        progress.update(static_cast<long>(k + 1));
    }
    progress.finish();
    return set;
}

LivenessFaceSet LivenessFaceSet::loadEssex(const std::string& facedata, int jpegQuality)
{
    const std::vector<FacePhoto> essex = FacedataIndex(facedata).essexPeople();
    const std::vector<std::string> people = personsOf(essex);
    SampleCutter cutter(SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade());
    LivenessFaceSet set;
    ProgressBar progress("essex", long(essex.size()));
    for (std::size_t k = 0; k < essex.size(); ++k) {
        const cv::Mat image = PhotoFramer::load(essex[k].path);
        FramePlacement placement;
        ++set.frames;
        if (cutter.findPlacement(essex[k], image, placement)) {
            const cv::Mat frame = delivered(PhotoFramer::compose(image, placement), jpegQuality);
            const auto rank = std::find(people.begin(), people.end(), essex[k].person) - people.begin();
            const char* half = 2 * rank < long(people.size()) ? "essex-a" : "essex-b";
            if (!cutter.cutFrame(frame).empty())
                set.faces.push_back(faceOf(frame, cutter.lastFace(), half, essex[k].person, int(k)));
        }
        progress.update(long(k + 1));
    }
    progress.finish();
    return set;
}

LivenessFaceSet LivenessFaceSet::loadVideos(const std::string& facedata, int jpegQuality)
{
    const FacedataIndex index(facedata);
    SampleCutter cutter(SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade());
    LivenessFaceSet set;
    for (const char* video : kLiveVideos) {
        cv::VideoCapture capture(index.videoPath(video));
        cv::Mat raw;
        for (int k = 0; capture.read(raw) && !raw.empty(); ++k) {
            cv::Mat frame;
            cv::resize(raw, frame, cv::Size(kFrameWidth, kFrameHeight), 0, 0, cv::INTER_LINEAR);
            frame = delivered(frame, jpegQuality);
            ++set.frames;
            if (!cutter.cutFrame(frame).empty())
                set.faces.push_back(faceOf(frame, cutter.lastFace(), std::string("video/") + video, "", k));
        }
    }
    return set;
}

LivenessFaceSet LivenessFaceSet::loadTraining(const std::string& facedata, int jpegQuality)
{
    LivenessFaceSet set = load(facedata, jpegQuality);
    set.append(loadEssex(facedata, jpegQuality));
    return set;
}

void LivenessFaceSet::append(const LivenessFaceSet& other)
{
    faces.insert(faces.end(), other.faces.begin(), other.faces.end());
    frames += other.frames;
}

std::vector<std::string> LivenessFaceSet::people() const
{
    std::set<std::string> names;
    for (const LivenessFace& face : faces)
        names.insert(face.person);
    return {names.begin(), names.end()};
}
