#pragma once

#include "TfjsWeights.h"

#include <vector>

// The face-resnet's weights as the TensorFlow.js port stores them (TfjsWeights.h): most tensors
// uint8-quantised, the others float32.

// The architecture the weights must fit: a first convolution (kResnetStem, 7 x 7, 3 -> 32
// channels), the residual blocks below, and a fully connected layer (kResnetFc, 256 -> 128,
// no bias). Each convolution layer is named <layer>/conv/{filters,bias} and
// <layer>/scale/{weights,biases}; a block holds the layers <block>/conv1 and <block>/conv2.
inline constexpr const char* kResnetStem = "conv32_down";
inline constexpr const char* kResnetFc = "fc";

// One residual block, in the order the input passes them.
struct ResnetBlock
{
    const char* name;
    int inChannels;
    int outChannels;
    bool down;  // halves the size: stride-2 first convolution, average-pooled shortcut
};

inline constexpr ResnetBlock kResnetBlocks[] = {
    {"conv32_1", 32, 32, false},       {"conv32_2", 32, 32, false},
    {"conv32_3", 32, 32, false},       {"conv64_down", 32, 64, true},
    {"conv64_1", 64, 64, false},       {"conv64_2", 64, 64, false},
    {"conv64_3", 64, 64, false},       {"conv128_down", 64, 128, true},
    {"conv128_1", 128, 128, false},    {"conv128_2", 128, 128, false},
    {"conv256_down", 128, 256, true},  {"conv256_1", 256, 256, false},
    {"conv256_2", 256, 256, false},    {"conv256_down_out", 256, 256, true},
};

// Ensures: the tensors the architecture expects in file order, by name and shape (scale and
//          min are left 0 and quantised false: the manifest decides those); the list that
//          parseWeightsManifest() and readWeights() check the face-resnet's files against.
const std::vector<TensorLayout>& resnetTensors();
