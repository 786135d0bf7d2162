#include "ResnetWeights.h"

#include "FaceResnet.h"

#include <iterator>
#include <string>

namespace {
// Layers around the residual blocks: the first convolution reads the 3 colour channels with a
// 7 x 7 kernel; every block convolution is 3 x 3.
constexpr int kStemKernel = 7;
constexpr int kImageChannels = 3;
constexpr int kBlockKernel = 3;

void addConvLayer(std::vector<TensorLayout>& list, const std::string& layer, int kernel, int in, int out)
{
    list.push_back({layer + "/conv/filters", {kernel, kernel, in, out}});
    list.push_back({layer + "/conv/bias", {out}});
    list.push_back({layer + "/scale/weights", {out}});
    list.push_back({layer + "/scale/biases", {out}});
}

std::vector<TensorLayout> architecture()
{
    std::vector<TensorLayout> tensors;
    addConvLayer(tensors, kResnetStem, kStemKernel, kImageChannels, kResnetBlocks[0].inChannels);
    for (const ResnetBlock& block : kResnetBlocks) {
        const std::string name = block.name;
        addConvLayer(tensors, name + "/conv1", kBlockKernel, block.inChannels, block.outChannels);
        addConvLayer(tensors, name + "/conv2", kBlockKernel, block.outChannels, block.outChannels);
    }
    tensors.push_back({kResnetFc, {std::rbegin(kResnetBlocks)->outChannels, FaceResnet::kEmbeddingSize}});
    return tensors;
}
} // namespace

const std::vector<TensorLayout>& resnetTensors()
{
    static const std::vector<TensorLayout> tensors = architecture();
    return tensors;
}
