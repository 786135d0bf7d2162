#include "FaceLandmarks.h"

#include "LandmarkWeights.h"
#include "NetLayers.h"

#include <QDir>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace {
constexpr const char* kManifestName = "face_landmark_68_model-weights_manifest.json";
constexpr const char* kWeightsName = "face_landmark_68_model.bin";
constexpr const char* kInputName = "face";
// Each block's first convolution halves the size; the others keep it.
constexpr int kDownStride = 2;
// OpenCV 4.6 runs its vectorised depthwise convolution only on inputs at least this wide,
// padding included; narrower ones (the 14- and 7-pixel maps) take a loop several times slower
// (measured: 0.21 against 0.06 ms for 128 channels of 14 x 14, widening and cutting included),
// so they are widened with zero columns and cut back.
constexpr int kFastDepthwiseWidth = 18;
// A square this many times the input's side or more is shrunk by averaging (see locate()).
constexpr int kAveragedShrink = 2;

// Builds the net layer by layer, following the spatial size of the latest output.
class NetBuilder
{
public:
    explicit NetBuilder(const WeightTensors& tensors) : tensors(tensors) {}
    cv::dnn::Net build();

private:
    int add(const std::string& name, const std::string& type, cv::dnn::LayerParams& params,
            const std::vector<int>& inputs);
    void samePadding(cv::dnn::LayerParams& params, int kernel, int stride);
    int plainConv(int input, const std::string& layer, int stride);
    int depthwiseConv(int input, const std::string& layer, int stride);
    int narrowDepthwise(int input, const std::string& layer, cv::dnn::LayerParams& conv, int kernel, int channels);
    int separableConv(int input, const std::string& layer, int stride);
    int relu(int input, const std::string& name);
    int denseBlock(int input, const LandmarkBlock& block);
    int fullyConnected(int input);

    const WeightTensors& tensors;
    cv::dnn::Net net;
    int size = FaceLandmarks::kInputSize;
};

int NetBuilder::add(const std::string& name, const std::string& type, cv::dnn::LayerParams& params,
                    const std::vector<int>& inputs)
{
    return addLayer(net, name, type, params, inputs);
}

// TensorFlow's 'same' padding, as OpenCV's pad mode "SAME" reproduces it: the output is the
// input's size divided by the stride, rounded up, and the padding it needs goes half before,
// the odd pixel after. At stride 2 on an even size that is nothing at the top and left and one
// row and column at the bottom and right, which OpenCV's convolution refuses when given side by
// side (symmetric padding would move the outputs by up to 0.3 of the square's side).
void NetBuilder::samePadding(cv::dnn::LayerParams& params, int kernel, int stride)
{
    params.set("kernel_size", kernel);
    params.set("stride", stride);
    params.set("pad_mode", "SAME");
    size = (size + stride - 1) / stride;
}

int NetBuilder::plainConv(int input, const std::string& layer, int stride)
{
    const WeightTensor& filters = namedTensor(tensors, layer + "/filters");
    cv::dnn::LayerParams conv;
    samePadding(conv, filters.shape[0], stride);
    conv.set("num_output", filters.shape[3]);
    conv.set("bias_term", true);
    conv.blobs = {filterBlob(filters), vectorBlob(namedTensor(tensors, layer + "/bias"))};
    return add(layer, "Convolution", conv, {input});
}

// One filter a channel, no bias.
int NetBuilder::depthwiseConv(int input, const std::string& layer, int stride)
{
    const WeightTensor& filters = namedTensor(tensors, layer + "/depthwise_filter");
    const int kernel = filters.shape[0];
    const int channels = filters.shape[2];
    cv::dnn::LayerParams conv;
    conv.set("num_output", channels);
    conv.set("group", channels);
    conv.set("bias_term", false);
    conv.blobs = {depthwiseBlob(filters)};
    if (stride == 1 && size + kernel - 1 < kFastDepthwiseWidth)
        return narrowDepthwise(input, layer, conv, kernel, channels);
    samePadding(conv, kernel, stride);
    return add(layer + "/depthwise", "Convolution", conv, {input});
}

// At stride 1 'same' pads kernel / 2 on every side. A narrow map gets zero columns enough on
// the right to reach kFastDepthwiseWidth; the outputs beyond its own width are cut off.
int NetBuilder::narrowDepthwise(int input, const std::string& layer, cv::dnn::LayerParams& conv, int kernel,
                                int channels)
{
    const int half = kernel / 2;
    const std::vector<int> paddings = {0, 0, 0, 0, half, half, half, kFastDepthwiseWidth - size - half};
    cv::dnn::LayerParams widen;
    widen.set("paddings", cv::dnn::DictValue::arrayInt(paddings.begin(), int(paddings.size())));  // N, C, H, W
    widen.set("value", 0);
    int id = add(layer + "/widen", "Padding", widen, {input});
    conv.set("kernel_size", kernel);
    conv.set("pad", 0);
    id = add(layer + "/depthwise", "Convolution", conv, {id});
    const std::vector<int> begin = {0, 0, 0, 0};
    const std::vector<int> end = {1, channels, size, size};
    cv::dnn::LayerParams cut;
    cut.set("begin", cv::dnn::DictValue::arrayInt(begin.begin(), int(begin.size())));
    cut.set("end", cv::dnn::DictValue::arrayInt(end.begin(), int(end.size())));
    return add(layer + "/cut", "Slice", cut, {id});
}

// The depthwise convolution, then a 1 x 1 one with bias mixing the channels.
int NetBuilder::separableConv(int input, const std::string& layer, int stride)
{
    const int id = depthwiseConv(input, layer, stride);
    const WeightTensor& pointwise = namedTensor(tensors, layer + "/pointwise_filter");
    cv::dnn::LayerParams mix;
    mix.set("kernel_size", 1);
    mix.set("num_output", pointwise.shape[3]);
    mix.set("bias_term", true);
    mix.blobs = {filterBlob(pointwise), vectorBlob(namedTensor(tensors, layer + "/bias"))};
    return add(layer + "/pointwise", "Convolution", mix, {id});
}

int NetBuilder::relu(int input, const std::string& name)
{
    cv::dnn::LayerParams none;
    return add(name + "/relu", "ReLU", none, {input});
}

// The block sums rather than concatenates: out1 = relu(conv0(x)), and each further convolution
// reads the ReLU of the running sum of the outputs before it and adds its own output to the
// sum; the block gives the ReLU of the sum of all four. (Adding two inputs at a time to a
// running sum made the whole net about 7 % faster in OpenCV than summing all outputs afresh.)
int NetBuilder::denseBlock(int input, const LandmarkBlock& block)
{
    const std::string first = std::string(block.name) + "/conv0";
    const int conv0 = block.plainFirst ? plainConv(input, first, kDownStride)
                                       : separableConv(input, first, kDownStride);
    int sum = relu(conv0, first);
    int next = sum;
    for (int conv = 1; conv < kLandmarkBlockConvs; ++conv) {
        const std::string layer = std::string(block.name) + "/conv" + std::to_string(conv);
        cv::dnn::LayerParams params;
        params.set("operation", "sum");
        sum = add(layer + "/sum", "Eltwise", params, {separableConv(next, layer, 1), sum});
        next = relu(sum, layer);
    }
    return next;
}

// Mean over the spatial positions, then the matrix with its bias; no activation.
int NetBuilder::fullyConnected(int input)
{
    cv::dnn::LayerParams mean;
    mean.set("pool", "ave");
    mean.set("global_pooling", true);
    const int id = add("mean", "Pooling", mean, {input});
    const std::string fc = kLandmarkFc;
    const WeightTensor& weights = namedTensor(tensors, fc + "/weights");
    cv::dnn::LayerParams params;
    params.set("num_output", weights.shape[1]);
    params.set("bias_term", true);
    params.set("axis", 1);
    params.blobs = {matrixBlob(weights), vectorBlob(namedTensor(tensors, fc + "/bias"))};
    return add(fc, "InnerProduct", params, {id});
}

cv::dnn::Net NetBuilder::build()
{
    net.setInputsNames({kInputName});
    int id = 0;
    for (const LandmarkBlock& block : kLandmarkBlocks)
        id = denseBlock(id, block);
    fullyConnected(id);
    net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
    net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
    return net;
}

// The box padded with black to a square, centred; `origin` is the square's top-left corner in
// the frame.
cv::Mat squareAround(const cv::Mat& frame, const cv::Rect& box, cv::Point& origin)
{
    const int side = std::max(box.width, box.height);
    origin = box.tl() - cv::Point((side - box.width) / 2, (side - box.height) / 2);
    cv::Mat square(side, side, CV_8UC3, cv::Scalar::all(0));
    const cv::Rect inside = box & cv::Rect(0, 0, frame.cols, frame.rows);
    if (!inside.empty())
        frame(inside).copyTo(square(inside - origin));
    return square;
}
} // namespace

FaceLandmarks::FaceLandmarks(const QString& folder)
{
    const QDir dir(folder);
    const QString weightsPath = dir.filePath(kWeightsName);
    net = NetBuilder(readWeights(dir.filePath(kManifestName), weightsPath, landmarkTensors())).build();
    digest = fileSha256(weightsPath);
}

std::vector<float> FaceLandmarks::rawOutputs(const cv::Mat& rgb)
{
    if (rgb.type() != CV_32FC3 || rgb.rows != kInputSize || rgb.cols != kInputSize)
        throw std::logic_error("incorrect landmark input size");
    net.setInput(inputBlob(rgb), kInputName);
    const cv::Mat out = net.forward(kLandmarkFc);
    return std::vector<float>(out.begin<float>(), out.end<float>());
}

// The square is scaled bilinearly, which reads every pixel while it shrinks by less than half;
// beyond that it would skip pixels, so the pixels each input pixel covers are averaged. Both
// keep a fraction of the square's side where it was, so the outputs map back by the side alone.
FaceLandmarks::Points FaceLandmarks::locate(const cv::Mat& frame, const cv::Rect& box)
{
    if (frame.type() != CV_8UC3 || box.empty())
        throw std::logic_error("incorrect frame or face box");
    cv::Point origin;
    const cv::Mat square = squareAround(frame, box, origin);
    const int side = square.cols;
    cv::Mat input;
    cv::resize(square, input, cv::Size(kInputSize, kInputSize), 0, 0,
               side >= kAveragedShrink * kInputSize ? cv::INTER_AREA : cv::INTER_LINEAR);
    cv::cvtColor(input, input, cv::COLOR_BGR2RGB);
    input.convertTo(input, CV_32F);
    const std::vector<float> out = rawOutputs(input);
    Points points;
    for (int i = 0; i < kPointCount; ++i)
        points[std::size_t(i)] = cv::Point2f(origin.x + out[std::size_t(2 * i)] * side,
                                             origin.y + out[std::size_t(2 * i + 1)] * side);
    return points;
}

const QString& FaceLandmarks::sha256() const
{
    return digest;
}
