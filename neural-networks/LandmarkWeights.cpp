#include "LandmarkWeights.h"

#include "FaceLandmarks.h"

#include <iterator>
#include <string>

namespace {
// Every convolution of the blocks is 3 x 3.
constexpr int kKernel = 3;
// The fully connected layer gives x and y of each point.
constexpr int kOutputs = 2 * FaceLandmarks::kPointCount;

void addPlain(std::vector<TensorLayout>& list, const std::string& layer, int in, int out)
{
    list.push_back({layer + "/filters", {kKernel, kKernel, in, out}});
    list.push_back({layer + "/bias", {out}});
}

void addSeparable(std::vector<TensorLayout>& list, const std::string& layer, int in, int out)
{
    list.push_back({layer + "/depthwise_filter", {kKernel, kKernel, in, 1}});
    list.push_back({layer + "/pointwise_filter", {1, 1, in, out}});
    list.push_back({layer + "/bias", {out}});
}

std::vector<TensorLayout> architecture()
{
    std::vector<TensorLayout> tensors;
    for (const LandmarkBlock& block : kLandmarkBlocks) {
        const std::string name = block.name;
        if (block.plainFirst)
            addPlain(tensors, name + "/conv0", block.inChannels, block.outChannels);
        else
            addSeparable(tensors, name + "/conv0", block.inChannels, block.outChannels);
        for (int conv = 1; conv < kLandmarkBlockConvs; ++conv)
            addSeparable(tensors, name + "/conv" + std::to_string(conv), block.outChannels, block.outChannels);
    }
    const std::string fc = kLandmarkFc;
    tensors.push_back({fc + "/weights", {std::rbegin(kLandmarkBlocks)->outChannels, kOutputs}});
    tensors.push_back({fc + "/bias", {kOutputs}});
    return tensors;
}
} // namespace

const std::vector<TensorLayout>& landmarkTensors()
{
    static const std::vector<TensorLayout> tensors = architecture();
    return tensors;
}
