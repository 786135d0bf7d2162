#include "FaceMatcher.h"

#include "Errors.h"
#include "FaceGeometry.h"
#include "FaceVector.h"
#include "File.h"
#include "ForeignFaces.h"
#include "ModelCalibration.h"
#include "RunFolder.h"
#include "VerificationRule.h"

#include <QDebug>

#include <algorithm>
#include <ctime>
#include <stdexcept>
#include <utility>

namespace {
// Hidden units of the model: the length of a feature vector.
constexpr int kFeatureCount = 200;
// The mask is first drawn for colour images.
constexpr int kInitialMaskChannels = 3;
} // namespace

FaceMatcher::FaceMatcher(int width, int height, ForeignBase foreignBase)
    : QObject(nullptr), width(width), height(height), rbm(width * height, kFeatureCount),
      quality(kFeatureCount, 0.0f)
{
    File modelFile(kModelPath);
    modelFile.openRead();
    modelFile >> rbm;
    modelFile.close();
    if (rbm.visibleCount() != width * height || rbm.hiddenCount() != kFeatureCount)
        throw e_logic_argument("incorrect RBM configuration");
    calibration = ModelCalibration::read(ModelCalibration::pathFor(kModelPath));
    createMask(kInitialMaskChannels);
    if (foreignBase == ForeignBase::Read)
        readForeignBase();
}

void FaceMatcher::readForeignBase()
{
    loadForeigns();
    // The foreign base is read on the generator's fixed start, so it repeats on every start;
    // training draws from here on.
    random.seed(unsigned(std::time(nullptr)));
}

void FaceMatcher::addGroup(const std::vector<cv::Mat>& group)
{
    samples.push_back(group);
}

void FaceMatcher::removeGroup(int index)
{
    if (index < 0 || index >= groupCount())
        throw e_logic_range("Out of range");
    samples.erase(samples.begin() + index);
}

std::vector<std::vector<cv::Mat>> FaceMatcher::groups() const
{
    return samples;
}

int FaceMatcher::groupCount() const
{
    return int(samples.size());
}

void FaceMatcher::train()
{
    if (samples.empty())
        return;
    std::vector<std::vector<float>> own = ownFaceVectors();
    mirrorAtRandom(own);
    createTemplate(own);
}

std::vector<std::vector<float>> FaceMatcher::ownFaceVectors()
{
    std::vector<std::vector<float>> vectors;
    for (const std::vector<cv::Mat>& group : samples)
        for (const cv::Mat& image : group) {
            if (image.cols != width || image.rows != height)
                throw std::logic_error("training error: incorrect image size");
            vectors.push_back(imageToVector(image));
        }
    return vectors;
}

// One draw a vector, in order; an even draw mirrors it.
void FaceMatcher::mirrorAtRandom(std::vector<std::vector<float>>& vectors)
{
    for (std::vector<float>& vector : vectors)
        if (random.next() % 2 != 1)
            mirror(vector);
}

void FaceMatcher::mirror(std::vector<float>& vector) const
{
    mirrorFaceVector(vector, cv::Size(width, height));
}

void FaceMatcher::createTemplate(std::vector<std::vector<float>>& ownVectors)
{
    rbm.setBatch(ownVectors);
    rbm.computeHidden();
    templateVectors.clear();
    for (int k = 0; k < rbm.batchSize(); ++k) {
        const std::vector<float>& hidden = rbm.hiddenRow(k);
        templateVectors.emplace_back(hidden.begin(), hidden.begin() + kFeatureCount);
    }
    rbm.setBatch(foreigns);
    rbm.computeHidden();
    weighFeatures();
    scaleByCohort();
}

// Weight of feature j: |owner mean| / owner spread. The foreign statistics are logged beside
// the owner's for comparison.
void FaceMatcher::weighFeatures()
{
    using VerificationRule::featureStatistics;
    const auto foreignRow = [this](std::size_t k) -> const std::vector<float>& { return rbm.hiddenRow(int(k)); };
    const auto ownRow = [this](std::size_t k) -> const std::vector<float>& { return templateVectors[k]; };
    const std::size_t foreignRows = std::size_t(std::max(rbm.batchSize(), 0));
    float sum = 0.0f;
    for (std::size_t j = 0; j < kFeatureCount; ++j) {
        const auto foreign = featureStatistics(foreignRows, j, foreignRow);
        qDebug() << unsigned(j) << foreign.mean << foreign.deviation;
        const auto owner = featureStatistics(templateVectors.size(), j, ownRow);
        const float q = VerificationRule::qualityWeight(owner);
        qDebug() << unsigned(j) << owner.mean << owner.deviation << "quality" << q;
        quality[j] = q;
        sum += q;
    }
    qDebug() << "average quality" << sum / kFeatureCount;
}

// The scale of the new template: the foreign faces (features in the model's batch) are the
// cohort whose distances map the template's distance scale onto the model's calibrated one.
// Without foreign faces or a calibration the distances stay as they are.
void FaceMatcher::scaleByCohort()
{
    scale = 1.0f;
    if (foreigns.empty() || !calibration.cohortTarget)
        return;
    std::vector<float> distances;
    for (int k = 0; k < rbm.batchSize(); ++k)
        distances.push_back(VerificationRule::nearestDistance(templateVectors, quality, rbm.hiddenRow(k).data()));
    scale = VerificationRule::cohortScale(distances, *calibration.cohortTarget);
    qDebug() << "cohort scale" << scale;
}

float FaceMatcher::verify(cv::Mat image)
{
    if (image.empty())
        return 0.0f;
    if (image.cols != width || image.rows != height)
        throw std::logic_error("incorrect image size");
    rbm.setBatch({imageToVector(image)});
    rbm.computeHidden();
    const float distance = VerificationRule::nearestDistance(templateVectors, quality, rbm.hiddenRow(0).data());
    qDebug() << "verify" << distance;
    return VerificationRule::verificationScore(distance, scale);
}

std::vector<float> FaceMatcher::imageToVector(cv::Mat image)
{
    if (image.cols != width || image.rows != height)
        throw std::logic_error("incorrect image size");
    if (mask.channels() != image.channels())
        createMask(image.channels());
    return faceVector(image, mask, calibration.lightNormalisation);
}

std::vector<float> FaceMatcher::imageToVector(const QImage& image, bool trimBackground, int threshold)
{
    return photoFaceVector(image, trimBackground, threshold, random, calibration.lightNormalisation);
}

void FaceMatcher::createMask(int channels)
{
    mask = createFaceMask(cv::Size(width, height), channels);
}

void FaceMatcher::loadForeigns()
{
    if (width != kSampleWidth || height != kSampleHeight)
        throw std::logic_error("loading foreign faces: unsupported size");
    for (std::vector<float>& face : readForeignFaces(QString(), random, calibration.lightNormalisation))
        foreigns.push_back(std::move(face));
    qDebug() << "foreign base loaded, samples:" << qulonglong(foreigns.size());
}

void FaceMatcher::seedRandom(unsigned seed)
{
    random.seed(seed);
}

const std::vector<std::vector<float>>& FaceMatcher::templateFeatures() const
{
    return templateVectors;
}

const std::vector<float>& FaceMatcher::qualities() const
{
    return quality;
}

std::size_t FaceMatcher::foreignCount() const
{
    return foreigns.size();
}

const std::vector<std::vector<float>>& FaceMatcher::foreignVectors() const
{
    return foreigns;
}

float FaceMatcher::cohortScale() const
{
    return scale;
}

const GaussianRbm& FaceMatcher::model() const
{
    return rbm;
}

const cv::Mat& FaceMatcher::faceMask() const
{
    return mask;
}
