#include "LivenessHeldOut.h"

#include "LivenessTrainer.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <numeric>
#include <set>
#include <stdexcept>

namespace {
std::vector<const LivenessFace*> without(const std::vector<const LivenessFace*>& faces,
                                         const std::function<bool(const LivenessFace&)>& leftOut)
{
    std::vector<const LivenessFace*> kept;
    for (const LivenessFace* face : faces)
        if (!leftOut(*face))
            kept.push_back(face);
    return kept;
}

std::set<std::string> peopleOf(const std::vector<const LivenessFace*>& faces)
{
    std::set<std::string> people;
    for (const LivenessFace* face : faces)
        people.insert(face->person);
    return people;
}

bool hasBothClasses(const std::vector<const LivenessFace*>& faces)
{
    const auto live = std::count_if(faces.begin(), faces.end(), [](const LivenessFace* f) { return f->live; });
    return live > 0 && live < static_cast<long>(faces.size());
}
} // namespace

float nestedThreshold(const std::vector<const LivenessFace*>& train, const LivenessProtocol& protocol)
{
    std::vector<float> photoMargins;
    for (const std::string& person : peopleOf(train)) {
        const auto isPerson = [&](const LivenessFace& f) { return f.person == person; };
        const std::vector<const LivenessFace*> inner = without(train, isPerson);
        const std::vector<const LivenessFace*> held = without(train, [&](const LivenessFace& f) {
            return !isPerson(f) || f.live;
        });
        if (held.empty() || !hasBothClasses(inner))
            continue;
        const LivenessModel model = trainLiveness(inner, protocol.l2);
        for (const LivenessFace* face : held)
            photoMargins.push_back(model.margin(face->features));
    }
    if (photoMargins.empty())
        throw std::invalid_argument("no held-out photographs to fix the liveness threshold on");
    std::sort(photoMargins.begin(), photoMargins.end());
    // The smallest threshold that lets at most photoPass of the photographs through.
    const std::size_t passing = static_cast<std::size_t>(protocol.photoPass * photoMargins.size());
    const std::size_t edge = photoMargins.size() - 1 - std::min(passing, photoMargins.size() - 1);
    return std::nextafter(photoMargins[edge], std::numeric_limits<float>::infinity());
}

std::vector<HeldOutJudgement> judgeHeldOut(const std::vector<const LivenessFace*>& train,
                                           const std::vector<const LivenessFace*>& test,
                                           const LivenessProtocol& protocol)
{
    const float threshold = nestedThreshold(train, protocol);
    const LivenessModel model = trainLiveness(train, protocol.l2);
    std::vector<HeldOutJudgement> judgements;
    for (const LivenessFace* face : test)
        judgements.push_back({face, model.margin(face->features), threshold});
    return judgements;
}

std::vector<HeldOutJudgement> leaveOnePersonOut(const std::vector<const LivenessFace*>& faces,
                                                const LivenessProtocol& protocol)
{
    std::vector<HeldOutJudgement> all;
    for (const std::string& person : peopleOf(faces)) {
        const auto isPerson = [&](const LivenessFace& f) { return f.person == person; };
        const auto judged = judgeHeldOut(without(faces, isPerson),
                                         without(faces, [&](const LivenessFace& f) { return !isPerson(f); }), protocol);
        all.insert(all.end(), judged.begin(), judged.end());
    }
    return all;
}

std::vector<HeldOutJudgement> leaveOneSessionOut(const std::vector<const LivenessFace*>& faces,
                                                 const LivenessProtocol& protocol)
{
    std::map<std::string, std::set<std::string>> liveSessions;
    for (const LivenessFace* face : faces)
        if (face->live)
            liveSessions[face->person].insert(face->session);
    std::vector<HeldOutJudgement> all;
    for (const auto& [person, sessions] : liveSessions) {
        if (sessions.size() < 2)
            continue;
        for (const std::string& session : sessions) {
            const auto isHeld = [&](const LivenessFace& f) { return f.person == person && f.session == session; };
            const auto judged = judgeHeldOut(without(faces, isHeld),
                                             without(faces, [&](const LivenessFace& f) { return !isHeld(f); }), protocol);
            all.insert(all.end(), judged.begin(), judged.end());
        }
    }
    return all;
}

std::vector<HeldOutJudgement> averagedOverFaces(const std::vector<HeldOutJudgement>& judgements, int faces)
{
    std::map<std::string, std::vector<float>> recent;
    std::vector<HeldOutJudgement> averaged = judgements;
    for (HeldOutJudgement& judgement : averaged) {
        const LivenessFace& face = *judgement.face;
        std::vector<float>& last = recent[face.person + "/" + face.session + (face.live ? "/live" : "/photo")];
        last.push_back(judgement.margin);
        if (static_cast<int>(last.size()) > faces)
            last.erase(last.begin());
        judgement.margin = std::accumulate(last.begin(), last.end(), 0.0f) / float(last.size());
    }
    return averaged;
}

double livenessAuc(const std::vector<HeldOutJudgement>& judgements)
{
    std::vector<float> live;
    std::vector<float> photo;
    for (const HeldOutJudgement& j : judgements)
        (j.face->live ? live : photo).push_back(j.margin);
    if (live.empty() || photo.empty())
        return 0.0;
    std::sort(photo.begin(), photo.end());
    double wins = 0.0;
    for (float margin : live) {
        const auto below = std::lower_bound(photo.begin(), photo.end(), margin) - photo.begin();
        const auto notAbove = std::upper_bound(photo.begin(), photo.end(), margin) - photo.begin();
        wins += double(below) + 0.5 * double(notAbove - below);
    }
    return wins / (double(live.size()) * double(photo.size()));
}

std::vector<const LivenessFace*> judgedFaces(const std::vector<LivenessFace>& faces)
{
    std::vector<const LivenessFace*> judged;
    for (const LivenessFace& face : faces)
        if (face.light.problem() == FaceLight::Problem::None)
            judged.push_back(&face);
    return judged;
}
