#include "NetLayers.h"

#include "Errors.h"

#include <QCryptographicHash>
#include <QFile>

namespace {
// Mean R, G, B (0-255) subtracted from the input before it is scaled by 1/255, as the
// TensorFlow.js port of the networks does.
constexpr double kMeanRed = 122.782;
constexpr double kMeanGreen = 117.001;
constexpr double kMeanBlue = 104.298;
constexpr double kInputScale = 1.0 / 255.0;
} // namespace

const WeightTensor& namedTensor(const WeightTensors& tensors, const std::string& name)
{
    const auto found = tensors.find(name);
    if (found == tensors.end())
        throw e_logic_argument("tensor " + name + " is missing");
    return found->second;
}

cv::Mat filterBlob(const WeightTensor& filters)
{
    const cv::Mat hwio(filters.shape, CV_32F, const_cast<float*>(filters.values.data()));
    cv::Mat oihw;
    cv::transposeND(hwio, {3, 2, 0, 1}, oihw);
    return oihw;
}

// [kh][kw][c][1] transposed as a filter is [1][c][kh][kw]: the same values in the same order
// as [c][1][kh][kw].
cv::Mat depthwiseBlob(const WeightTensor& filters)
{
    const std::vector<int>& shape = filters.shape;
    return filterBlob(filters).reshape(1, {shape[2], 1, shape[0], shape[1]});
}

cv::Mat vectorBlob(const WeightTensor& values)
{
    return cv::Mat(1, int(values.values.size()), CV_32F, const_cast<float*>(values.values.data())).clone();
}

cv::Mat matrixBlob(const WeightTensor& matrix)
{
    return cv::Mat(matrix.shape[0], matrix.shape[1], CV_32F, const_cast<float*>(matrix.values.data())).t();
}

cv::Mat inputBlob(const cv::Mat& rgb)
{
    return cv::dnn::blobFromImage(rgb, kInputScale, cv::Size(), cv::Scalar(kMeanRed, kMeanGreen, kMeanBlue));
}

int addLayer(cv::dnn::Net& net, const std::string& name, const std::string& type, cv::dnn::LayerParams& params,
             const std::vector<int>& inputs)
{
    params.name = name;
    params.type = type;
    const int id = net.addLayer(name, type, params);
    int slot = 0;
    for (int input : inputs)
        net.connect(input, 0, id, slot++);
    return id;
}

QString fileSha256(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        throw e_failure_open(path.toStdString() + ": " + file.errorString().toStdString());
    return QString::fromLatin1(hash.result().toHex());
}
