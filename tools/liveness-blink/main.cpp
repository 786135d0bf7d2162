#include "CommandLine.h"
#include "EyeOpenness.h"
#include "FaceGeometry.h"
#include "FacedataIndex.h"
#include "FolderListing.h"
#include "LivenessFaces.h"
#include "PhotoFramer.h"
#include "SampleCutter.h"
#include "SessionZoom.h"
#include "ToolMain.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <numeric>

namespace fs = std::filesystem;

namespace {
const char* const kUsage = R"(usage: liveness-blink [options]

Measures an eye-blink cue against printed photographs on NUAA's live and photo sessions and the
shared live videos, each face found by the lock's detector, its eye band judged by each cue:
  open     open when Debian's open-eye cascade finds an eye, else closed
  pair     open when it finds two
  split    as open, but closed only where the split-eye cascades (they find closed eyes
           too) find an eye
  texture  closed when the band's vertical gradient drops below 0.8 of its neighbours'
A blink: open, 1 to 3 closed faces (videos: up to 0.4 s), open. Prints markdown tables: the
faces judged open / closed, blinks, and the share of windows of 15, 30, 60 faces (videos: 2
and 4 seconds) holding a blink; every cue pooled, then per session and video for --cue.

Options:
  --facedata DIR   the face data folder (default: $VISAGIO_FACEDATA, else ../shared/facedata)
  --cue NAME       the cue of the per-session tables (default open)
  --letterbox      pad video frames to 4:3 before scaling them to 320 x 240, instead of
                   stretching them as the camera stand-in does
  --help           this text
)";
const char* const kDefaultFacedata = "../shared/facedata";
// Debian's opencv-data: the run folder holds haarcascade_eye but not the
// split-eye cascades.
const char* const kCascadeFolder = "/usr/share/opencv4/haarcascades/";
const int kFaceWindows[] = {15, 30, 60};
const double kSecondWindows[] = {2.0, 4.0};
// A blink shuts the eyes for about 0.1 to 0.4 s: at most 3 NUAA faces (their
// file numbers step by a median 1 to 6 frames, the rate unknown) or 0.4 s of
// video; longer closures are not blinks.
constexpr int kMaxClosedFaces = 3;
constexpr double kMaxClosedSeconds = 0.4;
const std::pair<const char*, EyeCue> kCues[] = {{"open", EyeCue::OpenCascade},
                                                {"pair", EyeCue::BothEyes},
                                                {"split", EyeCue::SplitCascade},
                                                {"texture", EyeCue::Texture}};

// The faces of one session or video in capture order; `at` is each face's frame
// index.
struct Sequence
{
    std::string name;
    bool live = true;
    int frames = 0;
    double fps = 0.0; // 0 for NUAA's sessions, whose frame counts are not time
    std::vector<int> at;
    std::vector<EyeReading> readings;
};

// Zoomed and cut as LivenessFaceSet::load cuts a session (the videos too:
// stretched to 320 x 240 their faces are mostly below the detector's minimum).
void readFaces(Sequence& sequence, const std::vector<cv::Mat>& frames, SampleCutter& cutter, EyeOpenness& eyes)
{
    sequence.frames = int(frames.size());
    const SessionZoom cut = SessionZoom::choose(frames, cutter);
    for (std::size_t k = 0; k < frames.size(); ++k) {
        if (cut.samples[k].empty())
            continue;
        cv::Mat grey;
        cv::cvtColor(SessionZoom::zoomed(frames[k], cut.zoom), grey, cv::COLOR_BGR2GRAY);
        sequence.at.push_back(int(k));
        sequence.readings.push_back(eyes.read(grey, cut.faceBoxes[k]));
    }
    std::printf("%s: %d frames, %d faces as recorded, %d at zoom %.2f\n", sequence.name.c_str(), sequence.frames,
                cut.facesAsRecorded, cut.faces, cut.zoom);
}

Sequence readSession(const fs::path& dir, bool live, SampleCutter& cutter, EyeOpenness& eyes)
{
    Sequence sequence;
    sequence.name = dir.parent_path().filename().string() + " " + dir.filename().string() + (live ? " live" : " photo");
    sequence.live = live;
    std::vector<cv::Mat> frames;
    for (const fs::path& file : sortedEntries(dir, false))
        frames.push_back(PhotoFramer::load(file.string()));
    readFaces(sequence, frames, cutter, eyes);
    return sequence;
}

// The frame padded to 4:3 with its border pixels.
cv::Mat letterboxed(const cv::Mat& raw)
{
    const int width = std::max(raw.cols, raw.rows * kFrameWidth / kFrameHeight);
    const int height = std::max(raw.rows, width * kFrameHeight / kFrameWidth);
    cv::Mat padded;
    cv::copyMakeBorder(raw, padded, (height - raw.rows) / 2, (height - raw.rows + 1) / 2, (width - raw.cols) / 2,
                       (width - raw.cols + 1) / 2, cv::BORDER_REPLICATE);
    return padded;
}

Sequence readVideo(const std::string& path, const std::string& name, bool letterbox, SampleCutter& cutter,
                   EyeOpenness& eyes)
{
    cv::VideoCapture capture(path);
    Sequence sequence;
    sequence.name = name;
    sequence.fps = capture.get(cv::CAP_PROP_FPS);
    std::vector<cv::Mat> frames;
    for (cv::Mat raw; capture.read(raw) && !raw.empty();) {
        frames.emplace_back();
        cv::resize(letterbox ? letterboxed(raw) : raw, frames.back(), kFrameSize, 0, 0, cv::INTER_LINEAR);
    }
    std::printf("%s: %.0f x %.0f at %.1f fps\n", name.c_str(), capture.get(cv::CAP_PROP_FRAME_WIDTH),
                capture.get(cv::CAP_PROP_FRAME_HEIGHT), sequence.fps);
    readFaces(sequence, frames, cutter, eyes);
    return sequence;
}

// What one cue makes of sequences: counts, and per window length the windows
// and those holding a blink.
struct Tally
{
    int frames = 0, faces = 0, open = 0, closed = 0, blinks = 0;
    double seconds = 0.0;
    std::vector<long> windows, hits;

    void add(const Tally& other)
    {
        frames += other.frames, faces += other.faces, open += other.open, closed += other.closed;
        blinks += other.blinks, seconds += other.seconds;
        windows.resize(other.windows.size()), hits.resize(other.hits.size());
        for (std::size_t k = 0; k < windows.size(); ++k)
            windows[k] += other.windows[k], hits[k] += other.hits[k];
    }
    double hitShare(std::size_t k) const { return windows[k] > 0 ? 100.0 * hits[k] / windows[k] : 0.0; }
};

// Where blinks start (their first closed face's `at`): open, 1 to maxClosed
// closed, open again; faces not judged are passed over.
std::vector<int> blinkStarts(const std::vector<EyeState>& states, const std::vector<int>& at, int maxClosed)
{
    std::vector<int> starts;
    bool seenOpen = false;
    int closedRun = 0, runStart = 0;
    for (std::size_t k = 0; k < states.size(); ++k) {
        if (states[k] == EyeState::Closed) {
            runStart = closedRun++ == 0 ? at[k] : runStart;
        } else if (states[k] == EyeState::Open) {
            if (seenOpen && closedRun >= 1 && closedRun <= maxClosed)
                starts.push_back(runStart);
            seenOpen = true, closedRun = 0;
        }
    }
    return starts;
}

// Every window of `width` consecutive positions in [0, length), and those
// holding a blink start.
void countWindows(const std::vector<int>& starts, int length, int width, Tally& tally)
{
    const long windows = std::max(0, length - width + 1);
    long hits = 0;
    for (int first = 0; first < windows; ++first)
        hits += std::any_of(starts.begin(), starts.end(), [&](int s) { return s >= first && s < first + width; });
    tally.windows.push_back(windows), tally.hits.push_back(hits);
}

Tally tallyOf(const Sequence& sequence, EyeCue cue)
{
    const std::vector<EyeState> states = EyeOpenness::states(sequence.readings, cue);
    const bool timed = sequence.fps > 0;
    Tally tally;
    tally.frames = sequence.frames, tally.faces = int(states.size());
    tally.open = int(std::count(states.begin(), states.end(), EyeState::Open));
    tally.closed = int(std::count(states.begin(), states.end(), EyeState::Closed));
    tally.seconds = timed ? sequence.frames / sequence.fps : 0.0;
    // NUAA's windows count faces, the videos' frames.
    std::vector<int> faceOrder(states.size());
    std::iota(faceOrder.begin(), faceOrder.end(), 0);
    const int maxClosed = timed ? int(std::lround(kMaxClosedSeconds * sequence.fps)) : kMaxClosedFaces;
    const std::vector<int> starts = blinkStarts(states, timed ? sequence.at : faceOrder, maxClosed);
    tally.blinks = int(starts.size());
    if (timed)
        for (double seconds : kSecondWindows)
            countWindows(starts, sequence.frames, int(std::lround(seconds * sequence.fps)), tally);
    else
        for (int faces : kFaceWindows)
            countWindows(starts, tally.faces, faces, tally);
    return tally;
}

void printRow(const std::string& name, const Tally& t)
{
    std::printf("| %s | %d | %d | %d | %d | %d |", name.c_str(), t.frames, t.faces, t.open, t.closed, t.blinks);
    if (t.seconds > 0)
        std::printf(" %.1f | %.3f |", t.seconds, t.blinks / t.seconds);
    for (std::size_t k = 0; k < t.windows.size(); ++k)
        std::printf(t.windows[k] > 0 ? " %ld/%ld (%.1f %%) |" : " – |", t.hits[k], t.windows[k], t.hitShare(k));
    std::printf("\n");
}

// The live and the photo sequences pooled; with `print`, a row each sequence
// and pool.
std::pair<Tally, Tally> pooled(const std::vector<Sequence>& sequences, EyeCue cue, bool print)
{
    Tally live, photo;
    for (const Sequence& sequence : sequences) {
        const Tally tally = tallyOf(sequence, cue);
        (sequence.live ? live : photo).add(tally);
        if (print)
            printRow(sequence.name, tally);
    }
    if (print)
        printRow("**pooled live**", live);
    if (print && photo.faces > 0)
        printRow("**pooled photo**", photo);
    return {live, photo};
}

void printCues(const std::vector<Sequence>& sessions, const std::vector<Sequence>& videos, const EyeOpenness& eyes)
{
    std::printf("\n## Every cue pooled\n\n| cue | live faces closed | photo "
                "faces closed | live W=15 | W=30 | W=60 | "
                "photo W=15 | W=30 | W=60 | video blinks/s | video 2 s | 4 s | "
                "ms/face |\n"
                "|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const auto& [name, cue] : kCues) {
        const auto [live, photo] = pooled(sessions, cue, false);
        const Tally video = pooled(videos, cue, false).first;
        std::printf("| %s | %.1f %% | %.1f %% |", name, 100.0 * live.closed / live.faces,
                    100.0 * photo.closed / photo.faces);
        for (const Tally* t : {&live, &photo})
            for (std::size_t k = 0; k < t->windows.size(); ++k)
                std::printf(" %.1f %% |", t->hitShare(k));
        std::printf(" %.3f | %.1f %% | %.1f %% | %.2f |\n", video.blinks / video.seconds, video.hitShare(0),
                    video.hitShare(1), eyes.costMs(cue));
    }
}

int run(int argc, char** argv)
{
    const CommandLine line(argc, argv, {"help", "letterbox"});
    line.allowOnly({"help", "facedata", "cue", "letterbox"});
    if (line.has("help")) {
        std::cout << kUsage;
        return 0;
    }
    cv::setNumThreads(1);
    const FacedataIndex index(FacedataIndex::locate(line.text("facedata"), kDefaultFacedata));
    const std::string cueName = line.text("cue", "open");
    const auto chosen =
        std::find_if(std::begin(kCues), std::end(kCues), [&](const auto& c) { return cueName == c.first; });
    if (chosen == std::end(kCues))
        throw std::invalid_argument("unknown cue: " + cueName);
    SampleCutter cutter(SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade());
    EyeOpenness eyes(kCascadeFolder);
    std::vector<Sequence> sessions, videos;
    for (const auto& [folder, live] :
         {std::pair{"nuaa_attack/live", true}, {"nuaa_webcam/people", true}, {"nuaa_attack/photo", false}})
        for (const fs::path& person : sortedEntries(fs::path(index.root()) / folder, true))
            for (const fs::path& session : sortedEntries(person, true))
                sessions.push_back(readSession(session, live, cutter, eyes));
    for (const char* video : kLiveVideos)
        videos.push_back(readVideo(index.videoPath(video), video, line.has("letterbox"), cutter, eyes));
    printCues(sessions, videos, eyes);
    std::printf("\n## NUAA sessions, cue %s (windows count faces; frame counts "
                "are not time)\n\n| session | frames | "
                "faces | open | closed | blinks | W=15 | W=30 | W=60 "
                "|\n|---|---|---|---|---|---|---|---|---|\n",
                chosen->first);
    pooled(sessions, chosen->second, true);
    std::printf("\n## Videos, cue %s\n\n| video | frames | faces | open | closed "
                "| blinks | seconds | blinks/s | "
                "2 s windows | 4 s windows "
                "|\n|---|---|---|---|---|---|---|---|---|---|\n",
                chosen->first);
    pooled(videos, chosen->second, true);
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    return runTool("liveness-blink", [&] { return run(argc, argv); });
}
