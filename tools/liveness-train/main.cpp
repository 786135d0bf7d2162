#include "CommandLine.h"
#include "FacedataIndex.h"
#include "LivenessHeldOut.h"
#include "LivenessTrainer.h"
#include "PhotoSequences.h"
#include "ToolMain.h"

#include <QString>
#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <map>

namespace {
const char* const kUsage = R"(usage: liveness-train [options]

Trains the liveness check (a linear classifier on the colour texture of the face) on NUAA's
printed photographs and live frames (nuaa_attack, nuaa_webcam) and the Essex studio's live
faces, and measures it first on people it was not trained on:
  1. how the faces are lit: the share of live and photo faces too dark, backlit or
     overexposed for the check (those are not judged);
  2. leave one person out: photo frames passing the check (APCER) and live frames it rejects
     (BPCER) per held-out person and pooled, each fold's threshold fixed on its training
     people only (an inner leave-one-person-out); each photo session through the lock, as the
     lowest face match score that would open it; also with each margin averaged over the
     last 5 faces of its session;
  3. leave one session out, for the people with live frames on several days;
  4. the check trained on every judged face, its threshold fixed the same way, written with
     --out;
  5. that check on live faces of other places it never saw: the shared webcam-like videos
     and, unless they train, the Essex studio photographs (live frames rejected; photo
     acceptance there is unknown).

Options:
  --facedata DIR      the face data folder (default: $VISAGIO_FACEDATA, else ../shared/facedata)
  --jpeg-quality N    encode every frame to JPEG at quality N first, as an MJPG webcam does
  --l2 X              weight of the L2 penalty (default 10)
  --photo-pass X      share of held-out training photographs the threshold lets through
                      (default 0.03)
  --no-held-out       skip steps 2 and 3
  --no-sessions       skip step 3 (the slowest)
  --no-essex          train on NUAA alone; by default the Essex studio's live faces train
                      too (its people in two halves, each measured by the check trained with
                      the other), which carries the check better to other cameras
  --out FILE          write the model (e.g. ../../data/models/liveness/liveness.model)
  --help              this text
)";
const char* const kDefaultFacedata = "../shared/facedata";
// Faces a smoothed margin averages, as the window could smooth the check over a second.
constexpr int kAveragedFaces = 5;

struct Tally
{
    int photos = 0;
    int photosPassing = 0;
    int live = 0;
    int liveRejected = 0;

    void add(const HeldOutJudgement& judgement)
    {
        if (judgement.face->live) {
            ++live;
            liveRejected += judgement.judgedLive() ? 0 : 1;
        } else {
            ++photos;
            photosPassing += judgement.judgedLive() ? 1 : 0;
        }
    }
};

double percent(int part, int whole)
{
    return whole > 0 ? 100.0 * part / whole : 0.0;
}

void printTally(const std::string& name, const Tally& tally)
{
    std::printf("| %s | %d | %d (%.2f %%) | %d | %d (%.2f %%) |\n", name.c_str(), tally.photos, tally.photosPassing,
                percent(tally.photosPassing, tally.photos), tally.live, tally.liveRejected,
                percent(tally.liveRejected, tally.live));
}

void printJudgements(const char* title, const std::vector<HeldOutJudgement>& judgements, bool bySession)
{
    std::map<std::string, Tally> groups;
    Tally pooled;
    for (const HeldOutJudgement& judgement : judgements) {
        const std::string key = judgement.face->person + (bySession ? " " + judgement.face->session : "");
        groups[key].add(judgement);
        pooled.add(judgement);
    }
    std::printf("\n%s (AUC %.4f)\n\n| held out | photo faces | passing (APCER) | live faces | rejected (BPCER) |\n"
                "|---|---|---|---|---|\n", title, livenessAuc(judgements));
    for (const auto& [name, tally] : groups)
        printTally(name, tally);
    printTally("pooled", pooled);
}

// Whether any held-out photo session could open the lock, and at what face match score.
void printPhotoSequences(const std::vector<HeldOutJudgement>& judgements)
{
    const std::vector<PhotoSequence> sequences = photoSequences(judgements);
    std::printf("\nPhoto sessions through the lock: the lowest face match score of the faces the check lets "
                "through that opens it (the face-resnet scores at most %.0f)\n\n| held out | session | photo faces "
                "| passing | longest run | lowest opening score |\n|---|---|---|---|---|---|\n",
                double(kHighestResnetScore));
    int opening = 0;
    for (const PhotoSequence& s : sequences) {
        std::printf("| %s | %s | %d | %d | %d | %.2f |\n", s.person.c_str(), s.session.c_str(), s.faces, s.passing,
                    s.longestRun, double(s.openingScore));
        opening += s.openingScore <= kHighestResnetScore ? 1 : 0;
    }
    std::printf("| pooled | %zu sessions | | | | %d could open |\n", sequences.size(), opening);
}

float median(std::vector<float> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

// Per session: how many faces each light problem stops, and the medians the limits act on.
void printLight(const LivenessFaceSet& set)
{
    struct Session
    {
        std::map<FaceLight::Problem, int> problems;
        std::vector<float> faceMean, clipped, ratio;
    };
    std::map<std::string, Session> sessions;
    for (const LivenessFace& face : set.faces) {
        Session& session = sessions[face.person + " " + face.session + (face.live ? " live" : " photo")];
        ++session.problems[face.light.problem()];
        session.faceMean.push_back(face.light.faceMean);
        session.clipped.push_back(face.light.clippedShare);
        session.ratio.push_back(face.light.surroundMean / std::max(1.0f, face.light.faceMean));
    }
    std::printf("\n| session | faces | dark | backlit | overexposed | median face luma | median clipped share | "
                "median surround / face |\n|---|---|---|---|---|---|---|---|\n");
    for (auto& [name, s] : sessions) {
        std::printf("| %s | %zu | %d | %d | %d | %.0f | %.3f | %.2f |\n", name.c_str(), s.faceMean.size(),
                    s.problems[FaceLight::Problem::Dark], s.problems[FaceLight::Problem::Backlit],
                    s.problems[FaceLight::Problem::Overexposed], double(median(s.faceMean)),
                    double(median(s.clipped)), double(median(s.ratio)));
    }
}

int run(int argc, char** argv)
{
    const CommandLine line(argc, argv, {"help", "no-held-out", "no-sessions", "no-essex"});
    line.allowOnly({"help", "facedata", "jpeg-quality", "l2", "photo-pass", "no-held-out", "no-sessions", "no-essex",
                    "out"});
    if (line.has("help")) {
        std::cout << kUsage;
        return 0;
    }
    cv::setNumThreads(1);
    const std::string facedata = FacedataIndex::locate(line.text("facedata"), kDefaultFacedata);
    const int quality = static_cast<int>(line.number("jpeg-quality", 0));
    const LivenessFaceSet set = LivenessFaceSet::load(facedata, quality);
    std::printf("%d frames, %zu faces\n", set.frames, set.faces.size());
    printLight(set);

    LivenessProtocol protocol;
    protocol.l2 = line.number("l2", protocol.l2);
    protocol.photoPass = line.number("photo-pass", protocol.photoPass);
    // Essex's live faces train beside NUAA's (each half then measured by the check trained with
    // the other half), or with --no-essex are measured like the videos, never seen in training.
    const bool essexTrains = !line.has("no-essex");
    const LivenessFaceSet essex = LivenessFaceSet::loadEssex(facedata, quality);
    std::vector<const LivenessFace*> judged = judgedFaces(set.faces);
    if (essexTrains) {
        const std::vector<const LivenessFace*> studio = judgedFaces(essex.faces);
        judged.insert(judged.end(), studio.begin(), studio.end());
    }
    if (!line.has("no-held-out")) {
        const std::vector<HeldOutJudgement> people = leaveOnePersonOut(judged, protocol);
        printJudgements("Leave one person out", people, false);
        printPhotoSequences(people);
        printJudgements("Leave one person out, each margin averaged over the last 5 faces of its session",
                        averagedOverFaces(people, kAveragedFaces), false);
        if (!line.has("no-sessions"))
            printJudgements("Leave one session out", leaveOneSessionOut(judged, protocol), true);
    }
    LivenessModel model = trainLiveness(judged, protocol.l2);
    model.threshold = nestedThreshold(judged, protocol);
    std::printf("\nthe check on all %zu judged faces: threshold %.4f\n", judged.size(), double(model.threshold));
    const LivenessFaceSet videos = LivenessFaceSet::loadVideos(facedata, quality);
    std::vector<HeldOutJudgement> judgements;
    for (const LivenessFace* face : judgedFaces(videos.faces))
        judgements.push_back({face, model.margin(face->features), model.threshold});
    for (const LivenessFace* face : essexTrains ? std::vector<const LivenessFace*>() : judgedFaces(essex.faces))
        judgements.push_back({face, model.margin(face->features), model.threshold});
    std::printf("\nother places: %zu live faces of the videos and %zu of Essex lit well enough to judge\n",
                judgements.size(), essexTrains ? 0 : judgedFaces(essex.faces).size());
    printJudgements("Other places never trained on, judged by the check on all judged faces", judgements, false);
    printJudgements("Other places, each margin averaged over the last 5 faces",
                    averagedOverFaces(judgements, kAveragedFaces), false);
    if (line.has("out"))
        model.write(QString::fromStdString(line.text("out")));
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    return runTool("liveness-train", [&] { return run(argc, argv); });
}
