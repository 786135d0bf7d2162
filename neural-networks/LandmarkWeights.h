#pragma once

#include "TfjsWeights.h"

#include <vector>

// The 68-point landmark network's weights as the TensorFlow.js port stores them
// (TfjsWeights.h): every tensor uint8-quantised.

// The architecture the weights must fit: the dense blocks below, each halving the size, then
// a fully connected layer (kLandmarkFc, 256 -> 136, with bias) on the mean of the last map.
// A block holds four convolutions <block>/conv0 ... <block>/conv3, all 3 x 3 with a bias
// (<layer>/bias). The first block's conv0 is a plain convolution (<layer>/filters); every
// other one is separable: depthwise without bias (<layer>/depthwise_filter), then pointwise
// (<layer>/pointwise_filter). conv0 changes the channel count, the other three keep it.
inline constexpr const char* kLandmarkFc = "fc";
inline constexpr int kLandmarkBlockConvs = 4;

// One dense block, in the order the input passes them.
struct LandmarkBlock
{
    const char* name;
    int inChannels;
    int outChannels;
    bool plainFirst;  // conv0 is a plain convolution, not a separable one
};

inline constexpr LandmarkBlock kLandmarkBlocks[] = {
    {"dense0", 3, 32, true},
    {"dense1", 32, 64, false},
    {"dense2", 64, 128, false},
    {"dense3", 128, 256, false},
};

// Ensures: the tensors the architecture expects in file order, by name and shape (scale and
//          min are left 0 and quantised false: the manifest decides those); the list that
//          parseWeightsManifest() and readWeights() check the landmark network's files against.
const std::vector<TensorLayout>& landmarkTensors();
