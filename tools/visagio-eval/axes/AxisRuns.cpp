#include "axes/AxisRuns.h"

#include "axes/LivenessGate.h"
#include "axes/SessionAxis.h"
#include "axes/PoseTable.h"
#include "axes/SessionClips.h"
#include "axes/YaleLight.h"
#include "Capture.h"
#include "LivenessHeldOut.h"
#include "ModelCalibration.h"
#include "report/AxisTable.h"
#include "report/Report.h"
#include "ResnetCalibration.h"
#include "RunFolder.h"
#include "SampleCutter.h"
#include "scorers/LbphScorer.h"
#include "scorers/RawVectorScorer.h"
#include "scorers/ResnetScorer.h"
#include "scorers/TanTriggsScorer.h"
#include "scorers/VisagioScorer.h"

#include <QDir>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace eval {

namespace {
constexpr const char* kSessionFolder = "/nuaa_webcam/people";
constexpr const char* kPhotoAttackFolder = "/nuaa_attack/photo";
constexpr const char* kYaleFolder = "/yaleB_cropped_48x42/pgm";

struct AxisMethod
{
    const char* name;
    TrialProtocol::ScorerFactory make;
    bool lockLevel = false;
    bool embeds = false;   // it needs the face-resnet embeddings
    bool liveness = false; // behind the liveness gate (the session axis only)
};

// The program's matchers (through the lock), the raw face vectors, LBPH plain and after
// Tan-Triggs, and on the session axis the face-resnet behind the liveness check; those named
// in settings.methods when it names any.
std::vector<AxisMethod> axisMethods(const AxisSettings& settings, bool sessionAxis)
{
    const auto resnet = [] { return std::make_unique<ResnetScorer>(); };
    std::vector<AxisMethod> all = {
        {"visagio", [] { return std::make_unique<VisagioScorer>(); }, true},
        {"resnet", resnet, true, true},
        {"raw", [] { return std::make_unique<RawVectorScorer>(); }},
        {"lbph", [] { return std::make_unique<LbphScorer>(); }},
        {"tantriggs", [] { return std::make_unique<TanTriggsScorer>(std::make_unique<LbphScorer>()); }}};
    if (sessionAxis)
        all.insert(all.begin() + 2, AxisMethod{"resnet-live", resnet, true, true, true});
    if (settings.methods.empty())
        return all;
    std::vector<AxisMethod> chosen;
    for (const std::string& name : settings.methods) {
        const auto found =
            std::find_if(all.begin(), all.end(), [&](const AxisMethod& method) { return name == method.name; });
        if (found == all.end())
            throw std::invalid_argument("unknown method of the session and light axes: " + name +
                                        " (visagio, resnet, raw, lbph, tantriggs; resnet-live on the session axis)");
        chosen.push_back(*found);
    }
    return chosen;
}

bool embeds(const std::vector<AxisMethod>& methods)
{
    return std::any_of(methods.begin(), methods.end(), [](const AxisMethod& method) { return method.embeds; });
}

bool gated(const std::vector<AxisMethod>& methods)
{
    return std::any_of(methods.begin(), methods.end(), [](const AxisMethod& method) { return method.liveness; });
}

// The face-resnet's calibration and stage figures, when it ran.
std::string resnetLines(const std::vector<AxisMethod>& methods, const EmbeddingStats& stats)
{
    if (!embeds(methods))
        return "";
    const QString path = QDir(kResnetFolder).filePath(ResnetCalibration::kFileName);
    const ResnetCalibration calibration = ResnetCalibration::read(path);
    std::ostringstream out;
    out << "Face-resnet: calibration " << QDir(path).absolutePath().toStdString() << ": distance "
        << (calibration.distance == ResnetCalibration::Distance::Cosine ? "cosine" : "euclidean")
        << ", distance_scale " << calibration.scale << ". Enrolment embeds each face's chip with its mirror image, "
        << "verification the chip alone, as the window does.\n\n";
    for (const std::string& line : Report::embeddingLines(stats))
        out << "- " << line << "\n";
    out << "\n";
    return out.str();
}

std::string modelLine(const AxisSettings& settings)
{
    const std::string side = ModelCalibration::pathFor(settings.model);
    const ModelCalibration calibration = ModelCalibration::read(side);
    std::ostringstream out;
    out << "Model: " << settings.model << "; calibration file " << side;
    if (calibration.cohortTarget)
        out << ": cohort_target = " << *calibration.cohortTarget;
    else
        out << ": absent or unusable, so the cohort scale is 1 (the rule without cohort normalisation)";
    if (calibration.lightNormalisation == LightNormalisation::TanTriggs)
        out << "; light_normalisation = tan-triggs (every face's light normalised before its features)";
    out << ". Seed " << settings.options.seed << ".\n\n";
    return out.str();
}

std::string count(std::size_t n, const char* what)
{
    return std::to_string(n) + " " + what;
}

int faceCount(const std::vector<Person>& people)
{
    int found = 0;
    for (const Person& person : people)
        for (const Photo& photo : person.photos)
            found += photo.detected() ? 1 : 0;
    return found;
}

std::string frontalList(const std::vector<YalePerson>& people)
{
    std::string list;
    for (const YalePerson& person : people)
        list += (list.empty() ? "" : ", ") + person.files[person.frontal];
    return list;
}
std::string clipName(const SessionClip& clip)
{
    return clip.person + " " + clip.session;
}

// The lock case by case (methods through the lock only): who was enrolled from what, whether
// the owner's played session opened the lock and at which face tick, the owner's faces above
// the threshold and the highest smoothed confidence, and the stranger sessions that opened it.
std::string caseTable(const std::vector<SessionClip>& clips, const std::vector<SessionAxis::Case>& cases,
                      const MethodResult& result)
{
    std::ostringstream out;
    out << "| enrolled from | played | owner faces above the threshold | peak confidence | lock opens at face tick | "
           "stranger sessions that open the lock |\n|---|---|---|---|---|---|\n";
    std::size_t stranger = 0;
    for (std::size_t c = 0; c < cases.size() && c < result.ownerSequences.size(); ++c) {
        const SessionAxis::Case& one = cases[c];
        std::string enrolled;
        for (std::size_t k : one.enrolled)
            enrolled += (enrolled.empty() ? "" : ", ") + clips[k].session;
        const LockOutcome& owner = result.ownerSequences[c];
        int strangersOpened = 0;
        int strangers = 0;
        for (const SessionClip& clip : clips)
            if (clip.person != clips[one.played].person && stranger < result.impostorSequences.size()) {
                strangersOpened += result.impostorSequences[stranger++].opened ? 1 : 0;
                ++strangers;
            }
        out << "| " << enrolled << " | " << clipName(clips[one.played]) << " | " << owner.ownerTicks << " of "
            << owner.faceTicks << " | " << owner.peakConfidence << " | "
            << (owner.opened ? std::to_string(owner.openingFaceTick) : std::string("never")) << " | "
            << strangersOpened << " of " << strangers << " |\n";
    }
    return out.str();
}
// The webcam sessions, and for the methods through the lock the session people's own
// printed-photo sessions, each with what the methods need.
struct SessionFootage
{
    std::vector<SessionClip> clips;
    std::vector<SessionClip> photos;
    EmbeddingStats stats;
};

// The distinct people of the clips, in order.
std::vector<std::string> peopleOf(const std::vector<SessionClip>& clips)
{
    std::vector<std::string> people;
    for (const SessionClip& clip : clips)
        if (std::find(people.begin(), people.end(), clip.person) == people.end())
            people.push_back(clip.person);
    return people;
}

SessionFootage loadFootage(const AxisSettings& settings, const std::vector<AxisMethod>& methods)
{
    SessionFootage footage;
    SessionClips::Content content;
    content.groupSize = settings.options.groupSize;
    content.embed = embeds(methods);
    content.liveness = gated(methods);
    footage.clips = SessionClips::load(settings.facedata + kSessionFolder, content, settings.threads, footage.stats);
    if (std::none_of(methods.begin(), methods.end(), [](const AxisMethod& method) { return method.lockLevel; }))
        return footage;
    content.groupSize = 0;
    content.people = peopleOf(footage.clips);
    footage.photos =
        SessionClips::load(settings.facedata + kPhotoAttackFolder, content, settings.threads, footage.stats);
    return footage;
}

// How the liveness check is trained and what it makes of each person's faces.
std::string gateLines(const LivenessGate& gate, const SessionFootage& footage)
{
    const LivenessProtocol protocol;
    std::ostringstream out;
    out << "\nLiveness check (resnet-live: the face-resnet behind it, as the window applies it): a face too dark, "
           "backlit or overexposed is not scored (a tick without a face), one the check judges a photograph scores 0. "
           "Each person's faces, webcam and printed-photo, as owner or as stranger, are judged by a check trained "
           "without that person, as the shipped check is trained: on the NUAA faces (nuaa_attack photo and live, "
           "nuaa_webcam) of every other person and the Essex studio's live faces, those whose light it judges, "
           "L2 weight "
        << protocol.l2 << ", its threshold letting " << 100.0 * protocol.photoPass
        << " % of the training people's photographs through in an inner leave-one-person-out:\n\n"
        << gate.markdown(footage.clips, footage.photos);
    return out.str();
}

// A row a method through the lock: the owners' photo sequences that open the lock, the photo
// faces scored (a light the check does not judge leaves a face unscored) and those above the
// threshold.
std::string photoTableRows(const std::string& condition, const SessionFootage& footage,
                           const std::vector<SessionAxis::Case>& cases, const std::vector<MethodResult>& results)
{
    long found = 0;
    for (const SessionAxis::Case& c : cases)
        for (const SessionClip& photo : footage.photos)
            found += photo.person == footage.clips[c.played].person ? photo.faces : 0;
    std::string rows;
    for (const MethodResult& result : results) {
        long scored = 0;
        long above = 0;
        for (const LockOutcome& sequence : result.photoSequences) {
            scored += sequence.faceTicks;
            above += sequence.ownerTicks;
        }
        if (result.lockLevel)
            rows += "| " + condition + " | " + result.name + " | " +
                    AxisTable::share(LockReplay::openedCount(result.photoSequences),
                                     long(result.photoSequences.size())) + " | " +
                    AxisTable::share(scored, found) + " | " + AxisTable::share(above, scored) + " |\n";
    }
    return rows;
}

std::string photoLines(const SessionFootage& footage, const std::string& rows)
{
    return "\nPrinted-photo attack: each of the owner's own printed-photo sessions (nuaa_attack/photo, cut and "
           "zoomed as the webcam sessions) played as the camera in front of each enrolment of the owner:\n\n" +
           SessionClips::markdown(footage.photos, false) +
           "\n| condition | method | photo sequences that open the lock | photo faces scored | "
           "photo faces above the threshold (score > 0.99, of those scored) |\n|---|---|---|---|---|\n" + rows;
}
} // namespace

void AxisRuns::sessionAxis(const AxisSettings& settings)
{
    const std::vector<AxisMethod> methods = axisMethods(settings, true);
    const SessionFootage footage = loadFootage(settings, methods);
    const std::vector<SessionClip>& clips = footage.clips;
    const std::string clipTable = SessionClips::markdown(clips);
    const std::string poseTable = poseMarkdown(clips);
    std::printf("%s\n%s\n", clipTable.c_str(), poseTable.c_str());
    std::optional<LivenessGate> gate;
    if (gated(methods))
        gate = LivenessGate::heldOut(LivenessFaceSet::loadTraining(settings.facedata), peopleOf(clips),
                                     settings.threads);
    const std::vector<SessionAxis::Case> one = SessionAxis::cases(clips, false);
    const std::vector<SessionAxis::Case> two = SessionAxis::cases(clips, true);
    const std::string oneName = "one group from another session (" + count(one.size(), "cases") + ")";
    const std::string twoName = "two groups from the two other sessions (" + count(two.size(), "cases") + ")";
    std::vector<MethodResult> oneResults;
    std::vector<MethodResult> twoResults;
    for (const AxisMethod& method : methods) {
        const LivenessGate* methodGate = method.liveness ? &*gate : nullptr;
        oneResults.push_back(SessionAxis::run(clips, footage.photos, one, method.make, methodGate, method.lockLevel,
                                              settings.options.seed, settings.threads));
        twoResults.push_back(SessionAxis::run(clips, footage.photos, two, method.make, methodGate, method.lockLevel,
                                              settings.options.seed, settings.threads));
    }
    AxisTable table;
    for (const MethodResult& result : oneResults)
        table.add(oneName, result);
    for (const MethodResult& result : twoResults)
        table.add(twoName, result);
    std::string cases;
    for (std::size_t m = 0; m < oneResults.size(); ++m)
        if (oneResults[m].lockLevel)
            cases += "\n" + oneResults[m].name + ", case by case, " + oneName + ":\n\n" +
                     caseTable(clips, one, oneResults[m]) + "\n" + twoResults[m].name + ", case by case, " + twoName +
                     ":\n\n" + caseTable(clips, two, twoResults[m]);
    const std::string photoRows = photoTableRows(oneName, footage, one, oneResults) +
                                  photoTableRows(twoName, footage, two, twoResults);
    const std::string text =
        "Session axis: nuaa_webcam (evaluation only: one office webcam, each person's sessions on different days "
        "and lights). " + modelLine(settings) + resnetLines(methods, footage.stats) +
        "Faces found per session (frames in file-name order; a session with faces in fewer than half of its frames "
        "is zoomed about the frame centre, the smallest of 1.25, 1.5, 1.75, 2 that reaches half, as a user sitting "
        "nearer; its enrolment group is its first faces in order, the session looped while the group is short):\n\n" +
        clipTable + poseTable + (gate ? gateLines(*gate, footage) : "") +
        "\nEvery frame of a played session is a tick of the lock (a frame without a face lets the confidence decay); "
        "every face is a trial. Strangers: every session of each other person, played in front of each enrolment.\n\n" +
        table.markdown() + (photoRows.empty() ? "" : photoLines(footage, photoRows)) + cases;
    AxisTable::publish(text, settings.outDir, "eval-session-axis.md");
}

void AxisRuns::lightAxis(const AxisSettings& settings)
{
    const std::vector<AxisMethod> methods = axisMethods(settings, false);
    Options options = settings.options;
    options.embed = embeds(methods);
    Capture capture(options, SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade(), settings.threads);
    const std::vector<Person> people = capture.capture(settings.photos);
    Options relitOptions = options;
    relitOptions.relight = settings.relight;
    // The relit capture's own groups are replaced below, so it builds the smallest.
    relitOptions.groupSize = 1;
    Capture relitCapture(relitOptions, SampleCutter::defaultFaceCascade(), SampleCutter::defaultEyeCascade(),
                         settings.threads);
    std::vector<Person> relit = relitCapture.capture(settings.photos);
    // Enrolment unchanged: the relit trials face the groups enrolled from the photographs as taken.
    for (std::size_t p = 0; p < relit.size(); ++p) {
        relit[p].groups = people[p].groups;
        relit[p].groupEmbeddings = people[p].groupEmbeddings;
    }
    const std::vector<YalePerson> yale = YaleCrops::heldOut(settings.facedata + kYaleFolder);
    EmbeddingStats stats = capture.embeddingStats();
    stats.add(relitCapture.embeddingStats());
    const YaleLight::Embeddings yaleEmbeddings =
        options.embed ? YaleLight::embed(yale, settings.threads, stats) : YaleLight::Embeddings();
    const TrialProtocol asTaken(people, settings.options);
    const TrialProtocol underLight(relit, settings.options);
    std::ostringstream light;
    light << "trials relit (light falls to " << (1.0 - settings.relight) << " across the face)";
    const std::string yaleName =
        "held-out Yale B (" + count(yale.size(), "people") + "), enrolled from the frontal crop";
    AxisTable table;
    std::vector<MethodResult> yaleResults;
    for (const AxisMethod& method : methods) {
        table.add("trials as taken", asTaken.evaluate(method.make, method.lockLevel, settings.threads));
        table.add(light.str(), underLight.evaluate(method.make, method.lockLevel, settings.threads));
        yaleResults.push_back(YaleLight::run(yale, method.make, settings.options.groupSize, settings.options.seed,
                                             settings.threads, yaleEmbeddings));
    }
    for (const MethodResult& result : yaleResults)
        table.add(yaleName, result);
    std::ostringstream text;
    text << "Light axis. " << modelLine(settings) << resnetLines(methods, stats) << "Photographs: " << settings.split
         << "; enrolment from the photographs as taken; every trial photograph (owner's and strangers') relit by a "
            "horizontal ramp from 1 to "
         << (1.0 - settings.relight) << " across the face the detector found (--relight " << settings.relight
         << "). Faces found: " << faceCount(people) << " photographs as taken, " << faceCount(relit) << " relit.\n\n"
         << "Yale B: people sorted by name, the second half held out (" << yale.front().name << " to "
         << yale.back().name << "); the frontal crop is the most left-right symmetric of those at least as bright as "
            "the person's median crop (" << frontalList(yale) << "). Each 42 x 48 crop is cut as the window cuts a "
            "detected face (makeSample: stretched to 45 x 45, centre 35 x 45 kept); the enrolment group is the "
            "frontal crop and moved copies (shift up to 2 px, zoom 5 %, tilt 4 degrees); every other crop of the "
            "owner is a genuine trial, every crop of the other held-out people an impostor trial."
         << (options.embed ? " For the face-resnet each crop is scaled up (about 2 times) into a 150 x 150 chip "
                             "with its eyes where FaceChip puts them, black around it (the crops are too small for "
                             "the detector and the eye search), and the owner enrolled from the frontal chip alone, "
                             "embedded with its mirror image: a figure of the network under real light, not of the "
                             "window's chip cut."
                           : "")
         << "\n\n" << table.markdown();
    AxisTable::publish(text.str(), settings.outDir, "eval-light-axis.md");
}

} // namespace eval
