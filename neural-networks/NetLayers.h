#pragma once

#include "TfjsWeights.h"

#include <QString>
#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>

#include <string>
#include <vector>

// What the networks built by hand from the TensorFlow.js port's weights (FaceResnet,
// FaceLandmarks) share: TensorFlow tensors as the blobs OpenCV's dnn layers take, the input
// normalisation, adding a connected layer, and the weights file's digest.

// Ensures: the tensor of that name.
// Throws:  e_logic_argument("tensor <name> is missing").
const WeightTensor& namedTensor(const WeightTensors& tensors, const std::string& name);

// Ensures: a convolution's filters stored HWIO ([kh][kw][in][out]) as the OIHW blob OpenCV's
//          convolution takes.
cv::Mat filterBlob(const WeightTensor& filters);

// Ensures: a depthwise convolution's filters stored [kh][kw][channels][1] as the
//          [channels][1][kh][kw] blob of a convolution with one group a channel.
cv::Mat depthwiseBlob(const WeightTensor& filters);

// Ensures: a bias or scale vector as a 1 x n blob.
cv::Mat vectorBlob(const WeightTensor& values);

// Ensures: a fully connected matrix stored [in][out] as the [out][in] blob of OpenCV's
//          InnerProduct.
cv::Mat matrixBlob(const WeightTensor& matrix);

// Requires: rgb is CV_32FC3 RGB on the 0-255 scale.
// Ensures:  the NCHW input blob of the port's networks: the port's mean R, G and B subtracted,
//           then scaled by 1/255.
cv::Mat inputBlob(const cv::Mat& rgb);

// Requires: each input is the id of a layer of `net` (0: the net's input).
// Ensures:  adds the layer, its first output of each input connected in order; returns its id.
int addLayer(cv::dnn::Net& net, const std::string& name, const std::string& type, cv::dnn::LayerParams& params,
             const std::vector<int>& inputs);

// Ensures: the SHA-256 of the file in lower-case hex (what stored outputs of a net are keyed by).
// Throws:  e_failure_open("<path>: <reason>") when the file cannot be read.
QString fileSha256(const QString& path);
