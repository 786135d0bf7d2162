#include "axes/LivenessGate.h"

#include "LivenessHeldOut.h"
#include "LivenessTrainer.h"
#include "Parallel.h"
#include "report/AxisTable.h"

#include <sstream>
#include <stdexcept>

namespace eval {

namespace {
using Verdict = LivenessCheck::Verdict;

// A person's faces by verdict: not judged for their light, judged live, judged photographs.
struct Verdicts
{
    long poorLight = 0;
    long live = 0;
    long photo = 0;

    void add(Verdict verdict)
    {
        if (verdict == Verdict::PoorLight)
            ++poorLight;
        else
            ++(verdict == Verdict::Live ? live : photo);
    }

    void add(const Verdicts& other)
    {
        poorLight += other.poorLight;
        live += other.live;
        photo += other.photo;
    }
};

Verdicts judgeAll(const LivenessGate& gate, const std::string& person, const std::vector<SessionClip>& clips)
{
    Verdicts verdicts;
    for (const SessionClip& clip : clips)
        for (std::size_t k = 0; clip.person == person && k < clip.ticks.size(); ++k)
            if (!clip.ticks[k].empty())
                verdicts.add(gate.judge(person, clip.tickLight.at(k), clip.tickLiveness.at(k)));
    return verdicts;
}
} // namespace

LivenessGate::LivenessGate(std::map<std::string, Check> checks) : checks(std::move(checks))
{
}

LivenessGate LivenessGate::heldOut(const LivenessFaceSet& set, const std::vector<std::string>& people, int threads)
{
    const LivenessProtocol protocol;
    const std::vector<const LivenessFace*> judged = judgedFaces(set.faces);
    std::vector<Check> trained(people.size());
    Parallel::forEach(people.size(), threads, "liveness checks", [&](std::size_t, std::size_t p) {
        std::vector<const LivenessFace*> others;
        for (const LivenessFace* face : judged)
            if (face->person != people[p]) {
                others.push_back(face);
                ++(face->live ? trained[p].liveFaces : trained[p].photoFaces);
            }
        trained[p].model = trainLiveness(others, protocol.l2);
        trained[p].model.threshold = nestedThreshold(others, protocol);
    });
    std::map<std::string, Check> checks;
    for (std::size_t p = 0; p < people.size(); ++p)
        checks.emplace(people[p], std::move(trained[p]));
    return LivenessGate(std::move(checks));
}

Verdict LivenessGate::judge(const std::string& person, FaceLight::Problem light,
                            const std::vector<float>& features) const
{
    const auto check = checks.find(person);
    if (check == checks.end())
        throw std::out_of_range("no liveness check for " + person);
    return LivenessCheck::judge(check->second.model, light, features).verdict;
}

std::string LivenessGate::markdown(const std::vector<SessionClip>& clips, const std::vector<SessionClip>& photos) const
{
    std::ostringstream out;
    out << "| person judged | trained on live / photo faces | threshold | webcam faces not judged (light) | "
           "webcam faces judged photographs | photo faces not judged (light) | photo faces judged live |\n"
           "|---|---|---|---|---|---|---|\n";
    const auto row = [&](const std::string& name, const std::string& trained, const std::string& threshold,
                         const Verdicts& live, const Verdicts& photo) {
        out << "| " << name << " | " << trained << " | " << threshold << " | " << live.poorLight << " | "
            << AxisTable::share(live.photo, live.live + live.photo) << " | " << photo.poorLight << " | "
            << AxisTable::share(photo.live, photo.live + photo.photo) << " |\n";
    };
    Verdicts pooledLive;
    Verdicts pooledPhoto;
    for (const auto& [person, check] : checks) {
        const Verdicts live = judgeAll(*this, person, clips);
        const Verdicts photo = judgeAll(*this, person, photos);
        std::ostringstream threshold;
        threshold << check.model.threshold;
        row(person, std::to_string(check.liveFaces) + " / " + std::to_string(check.photoFaces), threshold.str(), live,
            photo);
        pooledLive.add(live);
        pooledPhoto.add(photo);
    }
    row("pooled", "", "", pooledLive, pooledPhoto);
    return out.str();
}

} // namespace eval
