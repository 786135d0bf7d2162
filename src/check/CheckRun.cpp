#include "CheckRun.h"

#include "CheckProfile.h"
#include "Errors.h"
#include "FaceGeometry.h"
#include "LivenessCheck.h"
#include "ProfileReader.h"
#include "ResnetMatcher.h"
#include "RunFolder.h"
#include "SealDigest.h"
#include "VerificationEngine.h"
#include "Webcam.h"

#include <QDebug>
#include <QFileInfo>
#include <opencv2/imgproc.hpp>

#include <array>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {
using Clock = std::chrono::steady_clock;
// A frame whose mean luma is below this (of 255) shows nothing: a closed lid or shutter.
constexpr double kDarkLuma = 10.0;
// Darkness for this long from the start is reported as such, not as a failed check.
constexpr std::chrono::seconds kDarknessLimit{1};
// Pause between tries of a camera that gives no frame yet.
constexpr std::chrono::milliseconds kRetryPause{50};

// Why frames did not open the lock, in the order that wins a tie.
enum Reason { kPhotograph, kStranger, kPoorLight, kNoFace, kReasons };
const std::array<const char*, kReasons> kReasonLines = {
    "no: a photograph, not a live face", "no: not the owner", "no: the face is too badly lit", "no: no face in view"};

bool isDark(const cv::Mat& frame)
{
    cv::Mat luma;
    cv::cvtColor(frame, luma, cv::COLOR_BGR2GRAY);
    return cv::mean(luma)[0] < kDarkLuma;
}

template <typename Load>
void loadStep(const char* what, Load load)
{
    try {
        load();
    } catch (const e_default& error) {
        throw CannotRun(std::string(what) + ": " + error.message());
    } catch (const std::exception& error) {
        throw CannotRun(std::string(what) + ": " + error.what());
    }
}

// The frames of one run and what became of them.
class CameraRun
{
public:
    CameraRun(VerificationEngine& engine, Clock::time_point start, Clock::time_point deadline)
        : engine(engine), start(start), deadline(deadline)
    {
    }

    CheckAnswer watch(Webcam& webcam, int timeoutSeconds);

private:
    bool frameOpens(const cv::Mat& frame);
    CheckAnswer yes() const;
    CheckAnswer no() const;

    VerificationEngine& engine;
    Clock::time_point start;
    Clock::time_point deadline;
    std::array<int, kReasons> counts{};
    int faces = 0;
};

CheckAnswer CameraRun::watch(Webcam& webcam, int timeoutSeconds)
{
    bool sawLight = false;
    while (Clock::now() < deadline) {
        cv::Mat frame;
        try {
            frame = webcam.queryFrame(kFrameSize);
        } catch (const std::runtime_error& error) {
            if (sawLight)
                return {kNotOwner, "no: the camera stopped"};
            std::this_thread::sleep_for(kRetryPause);
            continue;
        }
        if (!sawLight) {
            if (isDark(frame)) {
                if (Clock::now() - start >= kDarknessLimit)
                    throw CannotRun("the camera sees only darkness (lid or shutter closed?)");
                continue;
            }
            sawLight = true;
        }
        if (frameOpens(frame))
            return yes();
    }
    if (!sawLight)
        throw CannotRun("no camera frame within " + std::to_string(timeoutSeconds) + " s");
    return no();
}

bool CameraRun::frameOpens(const cv::Mat& frame)
{
    // The camera (or its stand-in) mirrors every frame.
    const VerificationEngine::Tick tick =
        engine.process(frame, VerificationEngine::Task::Verify, VerificationEngine::View::Mirrored);
    if (!tick.faceFound) {
        ++counts[kNoFace];
        return false;
    }
    ++faces;
    if (tick.poorLight)
        ++counts[kPoorLight];
    else if (tick.photo)
        ++counts[kPhotograph];
    else if (!tick.owner)
        ++counts[kStranger];
    return tick.lockOpens;
}

CheckAnswer CameraRun::yes() const
{
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    char line[64];
    std::snprintf(line, sizeof line, "yes: the owner, at face %d after %.1f s", faces, seconds);
    return {kOwner, line};
}

// The reason of most frames; every face the owner's but the lock still shut: too few in time.
CheckAnswer CameraRun::no() const
{
    int best = kReasons;
    for (int reason = 0; reason < kReasons; ++reason)
        if (counts[reason] > 0 && (best == kReasons || counts[reason] > counts[best]))
            best = reason;
    return {kNotOwner, best == kReasons ? "no: the owner, but not surely enough in time" : kReasonLines[best]};
}

Webcam& openCamera(Webcam& webcam)
{
    const QString standIn = QString::fromLocal8Bit(qgetenv(Webcam::kStandInVariable));
    if (!standIn.isEmpty() && !QFileInfo(standIn).isFile())
        throw CannotRun("the camera file " + standIn.toStdString() + " does not exist; name a video file");
    if (!webcam.start(QStringList()))
        throw CannotRun(standIn.isEmpty() ? "camera device 0 cannot be opened (no camera, or another program uses it)"
                                          : "the camera file " + standIn.toStdString() + " cannot be played");
    return webcam;
}

// The profile as read; a profile refused is a check that cannot run.
CheckedProfile checkedProfile(const CheckOptions& options)
{
    try {
        return readCheckedProfile(options.profileDir, {::geteuid(), ::getegid()});
    } catch (const ProfileRefused& refusal) {
        throw CannotRun(refusal.message());
    }
}

// With an expected seal, the digest of the files the check parses for the groups it uses must
// be that seal: a group added or a byte changed since root sealed the profile stops the run.
void requireSeal(const CheckedProfile& profile, const QString& weightsKey, const QString& expected)
{
    if (!expected.isEmpty() && sealDigest(sealedFiles(profile, selectGroups(profile, weightsKey))) != expected)
        throw CannotRun("the profile differs from its seal; if you enrolled again, seal again with sudo "
                        "visagio-check --seal");
}
}  // namespace

CheckAnswer runCheck(const CheckOptions& options, Clock::time_point start)
{
    const CheckedProfile profile = checkedProfile(options);
    requireResnetWithLiveness(profile);
    // The groups are chosen, and the seal checked, by the weights' key before the network loads.
    QString weightsKey;
    loadStep(kResnetFolder, [&] { weightsKey = FaceResnet::weightsSha256(kResnetFolder); });
    requireSeal(profile, weightsKey, options.expectedSeal);
    std::unique_ptr<ResnetMatcher> resnet;
    loadStep(kResnetFolder, [&] { resnet = std::make_unique<ResnetMatcher>(kResnetFolder); });
    if (resnet->modelKey() != weightsKey)
        throw CannotRun(std::string(kResnetFolder) + ": the weights changed while the check started");
    for (auto& group : groupsOfWeights(profile, weightsKey))
        resnet->addGroup(std::move(group));
    resnet->train();
    std::unique_ptr<LivenessCheck> liveness;
    loadStep(kLivenessModelPath, [&] { liveness = std::make_unique<LivenessCheck>(); });

    std::unique_ptr<VerificationEngine> engine;
    loadStep(kLandmarksFolder,
             [&] { engine = std::make_unique<VerificationEngine>(nullptr, resnet.get(), liveness.get()); });
    Webcam webcam;
    CameraRun run(*engine, start, start + std::chrono::seconds(options.timeoutSeconds));
    return run.watch(openCamera(webcam), options.timeoutSeconds);
}
