// visagio-eval: measures how well Visagio tells its owner from other people, beside the
// OpenCV contrib face recognisers, on a face set laid out one folder per person.

#include "axes/AxisRuns.h"
#include "CommandLine.h"
#include "EmbeddingStage.h"
#include "FacedataIndex.h"
#include "FaceSet.h"
#include "MatcherDirectory.h"
#include "Session.h"
#include "ToolMain.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <stdexcept>

using namespace eval;

namespace {

constexpr const char* kDefaultFacedata = "../shared/facedata";
constexpr const char* kDefaultSet = "lfw_min10";
constexpr const char* kEvaluationPeople = "K-Z";
// The light axis's default relight: the light falls to a third across the face.
constexpr double kDefaultRelight = 2.0 / 3.0;

const char* const kUsage = R"(usage: visagio-eval [options]

Enrols each person of a face set from the first half of their photographs (an enrolment
group of 100 samples, the photographs repeated at slightly moved placements as a camera
would see them), then verifies the rest of their photographs (genuine trials) and every
photograph of everyone else (impostor trials). Every photograph goes through the program's
live path: a 320 x 240 frame, FaceDetector, makeSample, FaceMatcher. The face-resnet
(resnet) runs as the window runs it on the same frames: FaceChip cuts a 150 x 150 chip,
ResnetMatcher enrols mirror-averaged embeddings and verifies single ones. The OpenCV
contrib LBPH, Eigenfaces and Fisherfaces recognisers and the raw face vectors (the
matcher's rule without the feature model) run on the same samples and trials.

Face set (default: lfw_min10 people K-Z of the shared face data, the evaluation split):
  --facedata DIR        shared face data folder (default $VISAGIO_FACEDATA, else ../shared/facedata)
  --set NAME            lfw_min10, lfw_2to9 or essex from the shared data
  --people DIR          a folder of one folder per person instead (any image files)
  --names A-B           only people whose name starts with a letter from A to B
                        (default K-Z for lfw_min10, else all)
Matcher:
  --run-dir DIR         folder with glasgow-45x35/200/100-res.grbm, foreignfaces/,
                        haarcascades/ and face-resnet/ (the network and its calibration)
                        (default: the current folder, e.g. build/run)
  --model FILE          another model file instead of the run folder's
Protocol:
  --seed N              seed of every random movement and mirroring (default 1)
  --enrol-share X       share of each person's photographs used for enrolment (default 0.5)
  --max-enrol N         at most N enrolment photographs (default 100)
  --min-photos N        people with fewer photographs are impostors only (default 4)
  --group N             samples of an enrolment group (default 100)
  --frames-per-photo N  lock level: frames each photograph is held for (default 5)
  --sequence-frames N   lock level: frames of a sequence at most (default 100)
  --impostor-photos N   only the first N photographs of each other person are impostor
                        trials (default 0: all)
  --methods LIST        of visagio,resnet,raw,lbph,eigenfaces,fisherfaces (default all);
                        with --session-axis or --light-axis of visagio,resnet,raw,lbph,
                        tantriggs, and with --session-axis also resnet-live: the face-resnet
                        behind the liveness check as the window applies it (a badly lit
                        face unscored, a face judged a photograph scores 0), each person's
                        faces judged by a check trained as the shipped one without them;
                        with --enrolment-axis of visagio,resnet. resnet embeds every face
                        found (a network pass or two each), so it costs the most
  --chips HOW           how resnet chips are aligned: landmarks (default, as the window),
                        eyes (the earlier Haar eye search, for comparison), or
                        eyes-enrolled (with --session-axis: groups cut by the eye search as
                        profiles saved before the landmarks were, verified by landmarks)
  --fisher-foreigns N   at most N foreign faces as Fisherfaces' second class (default 1000)
  --threads N           owners scored in parallel (default 2; the figures do not depend on it)
  --enrolment-axis      instead of the method table: the program's matchers (visagio, resnet)
                        enrolled from 3, 5 and 10 photographs (people with at least twice as
                        many), from half of the photographs, and with two groups from two
                        disjoint quarters; FAR and FRR at the threshold and the sequences
                        that open the lock (eval-enrolment-axis.md)
  --session-axis        instead of the method table: the owner on another day, on the shared
                        data's nuaa_webcam sessions (evaluation only): each person enrolled
                        from one session (one group) or from the two others (two groups), each
                        other session of theirs and every session of everyone else played as
                        the camera; Visagio, Visagio resnet and resnet behind the liveness
                        check through the lock, the raw face vectors, LBPH and LBPH after
                        Tan-Triggs; the owner's printed photographs (nuaa_attack/photo)
                        played as the camera against each enrolment (eval-session-axis.md)
  --light-axis          instead of the method table: the face set's trial photographs relit
                        by a one-sided light (enrolment unchanged) beside the same trials as
                        taken, and the held-out half of yaleB_cropped_48x42 enrolled from the
                        crop lit from the front (for resnet each crop scaled up to a chip);
                        same methods (eval-light-axis.md)
  --relight X           light-axis strength: the light falls from 1 to 1 - X across the face
                        (0 < X < 1, default 0.667: to a third)
Output:
  --out DIR             eval-summary.md, eval-roc.csv, eval-roc.png, eval-people.csv
                        (default ./eval)
  --verbose             keep the matcher's debug log
  --help                this text
)";

std::string absolute(const std::string& path)
{
    return path.empty() ? path : std::filesystem::absolute(path).lexically_normal().string();
}

std::string splitName(const std::string& set, const std::string& names)
{
    std::string split = set + ", people " + (names.empty() ? "all" : names);
    if (set == kDefaultSet && names == kEvaluationPeople)
        split += ": the evaluation split (people never used for training or calibration)";
    else if ((set == kDefaultSet && names == "A-J") || set == "essex")
        split += ": calibration people (not an evaluation figure)";
    else if (set == "lfw_2to9")
        split += ": training people (not an evaluation figure)";
    return split;
}

std::vector<FacePhoto> sharedPhotos(const CommandLine& line, const std::string& set, char first, char last)
{
    const FacedataIndex index(absolute(FacedataIndex::locate(line.text("facedata"), kDefaultFacedata)));
    if (set == "lfw_min10" || set == "lfw_2to9")
        return index.lfwPeople(set, first, last);
    if (set == "essex")
        return index.essexPeople();
    throw std::invalid_argument("unknown face set: " + set);
}

Options protocol(const CommandLine& line)
{
    Options options;
    options.seed = static_cast<unsigned>(line.number("seed", options.seed));
    options.enrolShare = line.number("enrol-share", options.enrolShare);
    options.maxEnrolPhotos = static_cast<int>(line.number("max-enrol", options.maxEnrolPhotos));
    options.minPhotos = static_cast<int>(line.number("min-photos", options.minPhotos));
    options.groupSize = static_cast<int>(line.number("group", options.groupSize));
    options.framesPerPhoto = static_cast<int>(line.number("frames-per-photo", options.framesPerPhoto));
    options.maxSequenceFrames = static_cast<int>(line.number("sequence-frames", options.maxSequenceFrames));
    options.impostorPhotos = static_cast<int>(line.number("impostor-photos", options.impostorPhotos));
    const bool counts = options.groupSize >= 1 && options.framesPerPhoto >= 1 && options.maxEnrolPhotos >= 1;
    if (!counts || options.minPhotos < 2 || options.enrolShare <= 0.0 || options.enrolShare >= 1.0)
        throw std::invalid_argument(
            "--group, --frames-per-photo and --max-enrol need at least 1, --min-photos 2, --enrol-share 0 < x < 1");
    return options;
}

SessionSettings settingsOf(const CommandLine& line)
{
    SessionSettings settings;
    const std::string set = line.has("people") ? absolute(line.text("people")) : line.text("set", kDefaultSet);
    const std::string names = line.text("names", set == kDefaultSet ? kEvaluationPeople : "");
    char first = '\0';
    char last = '\x7f';
    if (!names.empty())
        FaceSet::parseRange(names, first, last);
    settings.photos = line.has("people") ? FaceSet::list(set, first, last) : sharedPhotos(line, set, first, last);
    settings.split = splitName(set, names);
    settings.options = protocol(line);
    if (line.has("methods"))
        settings.methods = line.list("methods");
    settings.fisherForeigns = static_cast<int>(line.number("fisher-foreigns", settings.fisherForeigns));
    settings.threads = static_cast<int>(line.number("threads", settings.threads));
    settings.outDir = absolute(line.text("out", "eval"));
    settings.enrolmentAxis = line.has("enrolment-axis");
    return settings;
}

AxisSettings axisSettings(const CommandLine& line, const SessionSettings& session)
{
    AxisSettings settings;
    settings.facedata = absolute(FacedataIndex::locate(line.text("facedata"), kDefaultFacedata));
    settings.options = session.options;
    settings.photos = session.photos;
    settings.split = session.split;
    settings.relight = line.number("relight", kDefaultRelight);
    if (!(settings.relight > 0.0 && settings.relight < 1.0))
        throw std::invalid_argument("--relight needs a strength 0 < x < 1");
    settings.threads = session.threads;
    settings.outDir = session.outDir;
    if (line.has("methods") && (line.has("session-axis") || line.has("light-axis")))
        settings.methods = line.list("methods");
    return settings;
}

int run(int argc, char** argv)
{
    const std::set<std::string> flags = {"help", "verbose", "enrolment-axis", "session-axis", "light-axis"};
    const CommandLine line(argc, argv, flags);
    if (line.has("help")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    line.allowOnly({"help", "verbose", "enrolment-axis", "session-axis", "light-axis", "relight", "facedata", "set",
                    "people", "names", "run-dir", "model", "seed",
                    "enrol-share", "max-enrol", "min-photos", "group", "frames-per-photo", "sequence-frames",
                    "impostor-photos", "methods", "chips", "fisher-foreigns", "threads", "out"});
    if (!line.has("verbose"))
        QLoggingCategory::setFilterRules("default.debug=false");
    const std::map<std::string, EmbeddingStage::Chips> chips = {{"landmarks", EmbeddingStage::Chips::Landmarks},
                                                                {"eyes", EmbeddingStage::Chips::EyeSearch},
                                                                {"eyes-enrolled", EmbeddingStage::Chips::EyeSearchEnrolled}};
    const auto chosen = chips.find(line.text("chips", "landmarks"));
    if (chosen == chips.end())
        throw std::invalid_argument("--chips needs landmarks, eyes or eyes-enrolled");
    EmbeddingStage::useChips(chosen->second);
    SessionSettings settings = settingsOf(line);
    AxisSettings axis = axisSettings(line, settings);
    const MatcherDirectory matcherFiles(line.text("run-dir", "."), line.text("model"));
    settings.model = matcherFiles.modelPath();
    axis.model = settings.model;
    if (line.has("session-axis"))
        AxisRuns::sessionAxis(axis);
    else if (line.has("light-axis"))
        AxisRuns::lightAxis(axis);
    else
        Session::run(settings);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    return runTool("visagio-eval", [&] { return run(argc, argv); });
}
