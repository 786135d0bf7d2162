#pragma once

#include "ChipEmbedder.h"
#include "ResnetCalibration.h"

#include <map>
#include <string>
#include <vector>

// The trials the face-resnet's constants are fitted on. Each person of a set in turn is the
// owner: the first half of their faces (mirror-averaged, as the window enrols) is the
// template of the owner's probes, the second half (single chips, as the window verifies).
// Every face of every other person is a stranger's probe against a template of all of the
// owner's faces: a wider template lets more strangers through, so the threshold is fitted on
// the harder case.
using PeopleEmbeddings = std::map<std::string, std::vector<FaceEmbedding>>;

struct TrialDistances
{
    std::vector<float> owners;
    std::vector<float> strangers;
};

// Requires: at least two people with two faces or more each.
TrialDistances ownerTrials(const PeopleEmbeddings& people, ResnetCalibration::Distance kind);

// The largest distance below which at most `far` of the strangers' distances lie (the
// distance of the (floor(far * n) + 1)-th nearest stranger). Requires: distances not empty.
float thresholdAtFar(std::vector<float> strangers, double far);

// The threshold halfway between the owners and the strangers: between the distance within
// which `ownerShare` of the owners' faces lie and thresholdAtFar(strangers, far). The same-room
// set leaves an empty gap between the two; the middle of it keeps a margin on both sides for
// rooms, cameras and people the calibration did not see, where the edge of the strangers
// would keep none. Requires: both not empty.
float marginThreshold(std::vector<float> owners, const std::vector<float>& strangers, double ownerShare, double far);

// The share of distances strictly below the threshold.
double shareBelow(const std::vector<float>& distances, float threshold);

// The scale s that puts the lock's per-face threshold (score 0.99) at distance `threshold`:
// 90 / (s d + 30) > 0.99 exactly when d < threshold.
// Throws: std::invalid_argument when threshold is not a positive number (a scale of infinity).
float scaleForThreshold(float threshold);
