#pragma once

#include "YaleCrops.h"
#include "SampleSet.h"

#include <string>
#include <vector>

// Samples of the Yale B training half (people sorted by name, the first half; the second half
// is held out for measuring) for the feature model. The training half is split in two again:
// the first part's people are identities of the fine-tuning, the second part's people measure
// the model under real light when its epochs and parameters are chosen.
namespace YaleTrainingSamples {

// The people of the tuning part (tuning) or of the choosing part of the training half.
// Throws: as YaleCrops::trainingHalf.
std::vector<YalePerson> part(const std::string& yaleDir, bool tuning);

// Every crop of every person as a source: its sample cut as the light axis cuts it
// (YaleCrops::sampleOf) and `copies` moved copies drawn from `seed`.
SampleSet cut(const std::vector<YalePerson>& people, int copies, unsigned seed);

} // namespace YaleTrainingSamples
