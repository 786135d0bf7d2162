#pragma once

#include "EmbeddingStage.h"
#include "FaceLight.h"
#include "SampleCutter.h"
#include "scorers/Scorer.h"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace eval {

// One recorded webcam session of one person, as the camera stand-in would play it: every
// frame in capture order (file-name order) is a tick with the window's sample of its face, or
// without a face.
struct SessionClip
{
    std::string person;
    std::string session;
    int frameCount = 0;
    int facesAsRecorded = 0; // frames with a face found as recorded (zoom 1)
    double zoom = 1.0;       // the session's frames are zoomed about their centre by this
    int faces = 0;           // frames with a face found at `zoom`
    std::vector<cv::Mat> ticks; // one a frame: the 35 x 45 grey sample, or empty without a face
    std::vector<cv::Mat> group; // the enrolment group this session gives
    int groupRounds = 0;        // times the session's faces were played to fill the group
    // With embeddings: one a tick, its chip's single embedding (empty without a face), and one
    // a group sample, its chip's mirror-averaged embedding.
    std::vector<Embedding> tickEmbeddings;
    std::vector<Embedding> groupEmbeddings;
    // With embeddings: one a tick, the head pose of its face where landmarks aligned its chip.
    std::vector<std::optional<HeadPose>> tickPoses;
    // With liveness: one a tick, how its face is lit (None without a face) and its
    // livenessFeatures (empty without a face or with a light problem: the check judges neither),
    // both on the zoomed frame and face box its sample was cut from.
    std::vector<FaceLight::Problem> tickLight;
    std::vector<std::vector<float>> tickLiveness;
};

// Reads the sessions of a folder laid out <person>/<session>/<frames> (nuaa_webcam/people) and
// cuts them through the window's live path, zoomed as SessionZoom chooses. A session's enrolment group
// is its first `groupSize` faces in capture order, the session looped as the camera stand-in
// loops a video when it has fewer.
class SessionClips
{
public:
    // What a load computes beside the samples, and whose sessions it reads.
    struct Content
    {
        int groupSize = 100;             // samples of the enrolment group; 0: no group
        bool embed = false;              // the face-resnet embeddings
        bool liveness = false;           // each tick's light and liveness features
        std::vector<std::string> people; // only these people's sessions; empty: everyone's
    };

    // Requires: frames are 320 x 240 colour images.
    // Ensures:  one clip a session, people and sessions in name order, without embeddings.
    // Throws:   std::runtime_error("session folder not found: <dir>") or ("no sessions in <dir>"),
    //           std::runtime_error("cannot read image: <path>").
    static std::vector<SessionClip> load(const std::string& peopleDir, SampleCutter& cutter, int groupSize);
    // Requires: frames are 320 x 240 colour images; the working directory holds the face-resnet
    //           when content.embed.
    // Ensures:  one clip a session of content.people (all when empty), people and sessions in
    //           name order, with what `content` asks for; `threads` threads share the sessions
    //           out (the same clips for any count). `stats` receives the face-resnet's stage
    //           figures.
    // Throws:   as the other load, and what EmbeddingStage's construction throws.
    static std::vector<SessionClip> load(const std::string& peopleDir, const Content& content, int threads,
                                         EmbeddingStats& stats);

    // Requires: groupSize >= 0.
    // Ensures:  the first groupSize non-empty ticks in order, from the start again while the
    //           group is short; empty when no tick has a face. rounds = passes over the ticks.
    static std::vector<cv::Mat> loopedGroup(const std::vector<cv::Mat>& ticks, int groupSize, int& rounds);

    // The frames and faces found a session, with the zoom used and, with `groups`, the
    // enrolment group, as a Markdown table.
    static std::string markdown(const std::vector<SessionClip>& clips, bool groups = true);
};

} // namespace eval
