#include "axes/PoseTable.h"

#include "report/Quantiles.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace eval {

namespace {

// "median (deviation) | low to high" of one angle, degrees.
std::string angleCells(const std::vector<float>& angles)
{
    char text[96];
    std::snprintf(text, sizeof text, "%.1f (%.1f) | %.1f to %.1f", quantile(angles, 0.5), medianDeviation(angles),
                  quantile(angles, 0.05), quantile(angles, 0.95));
    return text;
}

struct Angles
{
    std::vector<float> yaw, pitch;
    int faces = 0;
};

Angles anglesOf(const SessionClip& clip)
{
    Angles angles;
    for (const std::optional<HeadPose>& pose : clip.tickPoses) {
        if (!pose)
            continue;
        angles.yaw.push_back(pose->yaw);
        angles.pitch.push_back(pose->pitch);
    }
    angles.faces = clip.faces;
    return angles;
}

std::string row(const std::string& person, const std::string& session, const Angles& angles)
{
    return "| " + person + " | " + session + " | " + std::to_string(angles.yaw.size()) + " of " +
           std::to_string(angles.faces) + " | " + angleCells(angles.yaw) + " | " + angleCells(angles.pitch) + " |\n";
}

} // namespace

std::string poseMarkdown(const std::vector<SessionClip>& clips)
{
    std::string rows;
    std::map<std::string, Angles> people;
    for (const SessionClip& clip : clips) {
        const Angles angles = anglesOf(clip);
        if (angles.yaw.empty())
            continue;
        rows += row(clip.person, clip.session, angles);
        Angles& person = people[clip.person];
        person.yaw.insert(person.yaw.end(), angles.yaw.begin(), angles.yaw.end());
        person.pitch.insert(person.pitch.end(), angles.pitch.begin(), angles.pitch.end());
        person.faces += angles.faces;
    }
    if (rows.empty())
        return {};
    for (const auto& [name, angles] : people)
        rows += row(name, "all", angles);
    return "\nHead pose of the played faces (degrees; yaw > 0 turned towards the image's right, pitch > 0 turned "
           "down; median (median absolute deviation) and 5-95 % range):\n\n"
           "| person | session | faces with a pose | yaw | yaw range | pitch | pitch range |\n"
           "|---|---|---|---|---|---|---|\n" + rows;
}

} // namespace eval
