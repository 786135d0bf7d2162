#include "scorers/FisherfacesScorer.h"

#include "FaceGeometry.h"
#include "FaceVector.h"

#include <stdexcept>

namespace eval {

namespace {
constexpr int kOwnerLabel = 0;
constexpr int kForeignLabel = 1;

double meanOf(const cv::Mat& projections, int first, int count)
{
    return cv::mean(projections.rowRange(first, first + count))[0];
}
} // namespace

FisherfacesScorer::FisherfacesScorer(const std::vector<std::vector<float>>& foreigns)
    : mask(createFaceMask(kSampleSize, 1))
{
    if (foreigns.empty())
        throw std::invalid_argument("Fisherfaces needs a foreign-face base");
    for (const std::vector<float>& vector : foreigns)
        foreignImages.push_back(cv::Mat(kSampleHeight, kSampleWidth, CV_32FC1, const_cast<float*>(vector.data())).clone());
}

cv::Mat FisherfacesScorer::faceVector(const cv::Mat& sample) const
{
    cv::Mat copy = sample.clone();
    std::vector<float> vector = maskedFaceVector(copy, mask);
    return cv::Mat(kSampleHeight, kSampleWidth, CV_32FC1, vector.data()).clone();
}

void FisherfacesScorer::enrol(const std::vector<cv::Mat>& group, unsigned)
{
    std::vector<cv::Mat> images;
    for (const cv::Mat& sample : group)
        images.push_back(faceVector(sample));
    images.insert(images.end(), foreignImages.begin(), foreignImages.end());
    std::vector<int> labels(group.size(), kOwnerLabel);
    labels.resize(images.size(), kForeignLabel);
    recogniser = cv::face::FisherFaceRecognizer::create();
    recogniser->train(images, labels);
    // Training projections are kept in training order: the owner's first.
    cv::Mat projections;
    cv::vconcat(recogniser->getProjections(), projections);
    const auto owners = static_cast<int>(group.size());
    const double owner = meanOf(projections, 0, owners);
    const double foreign = meanOf(projections, owners, projections.rows - owners);
    ownerSide = owner >= foreign ? 1.0 : -1.0;
}

double FisherfacesScorer::project(const cv::Mat& vector) const
{
    const cv::Mat projection =
        cv::LDA::subspaceProject(recogniser->getEigenVectors(), recogniser->getMean(), vector.reshape(1, 1));
    return projection.at<double>(0, 0);
}

double FisherfacesScorer::score(const cv::Mat& sample)
{
    return ownerSide * project(faceVector(sample));
}

} // namespace eval
