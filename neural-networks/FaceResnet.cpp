#include "FaceResnet.h"

#include "NetLayers.h"
#include "ResnetWeights.h"

#include <QDir>
#include <opencv2/imgproc.hpp>

#include <stdexcept>
#include <string>
#include <vector>

namespace {
constexpr const char* kManifestName = "face_recognition_model-weights_manifest.json";
constexpr const char* kWeightsName = "face_recognition_model.bin";
// The first convolution (stride 2, no padding) and its 3 x 3 max pooling (stride 2, no padding).
constexpr int kStemStride = 2;
constexpr int kStemPoolKernel = 3;
constexpr int kStemPoolStride = 2;
// A down block: stride-2 3 x 3 convolution without padding, shortcut through 2 x 2 average pooling.
constexpr int kDownStride = 2;
constexpr int kShortcutPool = 2;
// Padding that keeps the size of a stride-1 3 x 3 convolution (TensorFlow's 'same').
constexpr int kSamePad = 1;
constexpr const char* kInputName = "chip";

// Output size of a convolution or pooling without padding, rounding down.
int validSize(int size, int kernel, int stride)
{
    return (size - kernel) / stride + 1;
}

// Builds the net layer by layer, following the spatial size of the latest output.
class NetBuilder
{
public:
    explicit NetBuilder(const WeightTensors& tensors) : tensors(tensors) {}
    cv::dnn::Net build();

private:
    const WeightTensor& tensor(const std::string& name) const;
    int add(const std::string& name, const std::string& type, cv::dnn::LayerParams& params,
            const std::vector<int>& inputs);
    int convLayer(int input, const std::string& layer, int stride, int pad, bool relu);
    int pool(int input, const std::string& name, const char* kind, int kernel, int stride);
    int pad(int input, const std::string& name, const std::vector<int>& paddings);
    int sumRelu(int shortcut, int out, const std::string& block);
    int residual(int input, const ResnetBlock& block);
    int residualDown(int input, const ResnetBlock& block);
    int fullyConnected(int input);

    const WeightTensors& tensors;
    cv::dnn::Net net;
    int size = FaceResnet::kChipSize;
};

const WeightTensor& NetBuilder::tensor(const std::string& name) const
{
    return namedTensor(tensors, name);
}

int NetBuilder::add(const std::string& name, const std::string& type, cv::dnn::LayerParams& params,
                    const std::vector<int>& inputs)
{
    return addLayer(net, name, type, params, inputs);
}

// Convolution with bias, then per-channel scale and shift, then optionally ReLU.
int NetBuilder::convLayer(int input, const std::string& layer, int stride, int pad, bool relu)
{
    const WeightTensor& filters = tensor(layer + "/conv/filters");
    cv::dnn::LayerParams conv;
    conv.set("kernel_size", filters.shape[0]);
    conv.set("stride", stride);
    conv.set("pad", pad);
    conv.set("num_output", filters.shape[3]);
    conv.set("bias_term", true);
    conv.blobs = {filterBlob(filters), vectorBlob(tensor(layer + "/conv/bias"))};
    int id = add(layer + "/conv", "Convolution", conv, {input});
    cv::dnn::LayerParams scale;
    scale.set("bias_term", true);
    scale.set("axis", 1);
    scale.blobs = {vectorBlob(tensor(layer + "/scale/weights")), vectorBlob(tensor(layer + "/scale/biases"))};
    id = add(layer + "/scale", "Scale", scale, {id});
    if (!relu)
        return id;
    cv::dnn::LayerParams none;
    return add(layer + "/relu", "ReLU", none, {id});
}

// Pooling without padding; floor rounding, as TensorFlow's 'valid'.
int NetBuilder::pool(int input, const std::string& name, const char* kind, int kernel, int stride)
{
    cv::dnn::LayerParams params;
    params.set("pool", kind);
    params.set("kernel_size", kernel);
    params.set("stride", stride);
    params.set("ceil_mode", false);
    return add(name, "Pooling", params, {input});
}

// Zero padding; `paddings` holds before and after for N, C, H and W.
int NetBuilder::pad(int input, const std::string& name, const std::vector<int>& paddings)
{
    cv::dnn::LayerParams params;
    params.set("paddings", cv::dnn::DictValue::arrayInt(paddings.begin(), int(paddings.size())));
    params.set("value", 0);
    return add(name, "Padding", params, {input});
}

int NetBuilder::sumRelu(int shortcut, int out, const std::string& block)
{
    cv::dnn::LayerParams sum;
    sum.set("operation", "sum");
    const int id = add(block + "/sum", "Eltwise", sum, {shortcut, out});
    cv::dnn::LayerParams none;
    return add(block + "/relu", "ReLU", none, {id});
}

int NetBuilder::residual(int input, const ResnetBlock& block)
{
    const std::string name = block.name;
    int out = convLayer(input, name + "/conv1", 1, kSamePad, true);
    out = convLayer(out, name + "/conv2", 1, kSamePad, false);
    return sumRelu(input, out, name);
}

// Halves the size. The strided convolution can come out one smaller than the pooled shortcut;
// it then gets a zero row at the bottom and a zero column at the right. The shortcut gets zero
// channels after its own when the block widens.
int NetBuilder::residualDown(int input, const ResnetBlock& block)
{
    const std::string name = block.name;
    int out = convLayer(input, name + "/conv1", kDownStride, 0, true);
    out = convLayer(out, name + "/conv2", 1, kSamePad, false);
    int shortcut = pool(input, name + "/shortcut", "ave", kShortcutPool, kShortcutPool);
    const int kernel = tensor(name + "/conv1/conv/filters").shape[0];
    const int outSize = validSize(size, kernel, kDownStride);
    size = validSize(size, kShortcutPool, kShortcutPool);
    if (outSize != size)
        out = pad(out, name + "/pad", {0, 0, 0, 0, 0, size - outSize, 0, size - outSize});
    if (block.outChannels != block.inChannels)
        shortcut = pad(shortcut, name + "/widen", {0, 0, 0, block.outChannels - block.inChannels, 0, 0, 0, 0});
    return sumRelu(shortcut, out, name);
}

// Mean over the spatial positions, then the matrix of kEmbeddingSize columns (no bias).
int NetBuilder::fullyConnected(int input)
{
    cv::dnn::LayerParams mean;
    mean.set("pool", "ave");
    mean.set("global_pooling", true);
    const int id = add("mean", "Pooling", mean, {input});
    const WeightTensor& fc = tensor(kResnetFc);
    cv::dnn::LayerParams params;
    params.set("num_output", fc.shape[1]);
    params.set("bias_term", false);
    params.set("axis", 1);
    params.blobs = {matrixBlob(fc)};
    return add(kResnetFc, "InnerProduct", params, {id});
}

cv::dnn::Net NetBuilder::build()
{
    net.setInputsNames({kInputName});
    int id = convLayer(0, kResnetStem, kStemStride, 0, true);
    size = validSize(size, tensor(std::string(kResnetStem) + "/conv/filters").shape[0], kStemStride);
    id = pool(id, "maxpool", "max", kStemPoolKernel, kStemPoolStride);
    size = validSize(size, kStemPoolKernel, kStemPoolStride);
    for (const ResnetBlock& block : kResnetBlocks)
        id = block.down ? residualDown(id, block) : residual(id, block);
    fullyConnected(id);
    net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
    net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
    return net;
}

void requireChip(const cv::Mat& chip, int type)
{
    if (chip.type() != type || chip.rows != FaceResnet::kChipSize || chip.cols != FaceResnet::kChipSize)
        throw std::logic_error("incorrect chip size");
}
} // namespace

FaceResnet::FaceResnet(const QString& folder)
{
    const QDir dir(folder);
    const QString weightsPath = dir.filePath(kWeightsName);
    net = NetBuilder(readWeights(dir.filePath(kManifestName), weightsPath, resnetTensors())).build();
    digest = weightsSha256(folder);
}

QString FaceResnet::weightsSha256(const QString& folder)
{
    return fileSha256(QDir(folder).filePath(kWeightsName));
}

std::vector<float> FaceResnet::embed(const cv::Mat& chip)
{
    requireChip(chip, CV_8UC3);
    cv::Mat rgb;
    cv::cvtColor(chip, rgb, cv::COLOR_BGR2RGB);
    rgb.convertTo(rgb, CV_32F);
    return embedRgb(rgb);
}

std::vector<float> FaceResnet::embedRgb(const cv::Mat& rgb)
{
    requireChip(rgb, CV_32FC3);
    net.setInput(inputBlob(rgb), kInputName);
    const cv::Mat out = net.forward(kResnetFc);
    return std::vector<float>(out.begin<float>(), out.end<float>());
}

const QString& FaceResnet::sha256() const
{
    return digest;
}
