#pragma once

#include "axes/SessionClips.h"

#include <string>

namespace eval {

// The head poses of the played sessions' faces (HeadPose.h): per session the median yaw and
// pitch with their median absolute deviation (how still the head stays) and the 5-95 % range;
// per person the range over all of their sessions (how far the person turns). Empty when no
// face carries a pose (no embeddings, or chips not aligned by landmarks).
std::string poseMarkdown(const std::vector<SessionClip>& clips);

} // namespace eval
