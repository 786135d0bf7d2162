#include "FaceMatcher.h"

#include "AnnotatedFaceList.h"
#include "Errors.h"
#include "FaceVector.h"
#include "File.h"

#include <QDebug>
#include <QDir>
#include <QRect>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <stdexcept>
#include <utility>

namespace {
const char* const kModelPath = "glasgow-45x35/200/100-res.grbm";
const char* const kFirstForeignDir = "foreignfaces/all/glasgow/";
const char* const kSecondForeignDir = "foreignfaces/all/feret/";

// Hidden units of the model: the length of a feature vector.
constexpr int kFeatureCount = 200;
// The mask is first drawn for colour images.
constexpr int kInitialMaskChannels = 3;

// The foreign photographs are cut and scaled for this face size only.
constexpr int kForeignWidth = 35;
constexpr int kForeignHeight = 45;
// First set: a fixed 252 x 324 rectangle from x 50, its top 140 pixels above the middle row.
constexpr int kFirstCropLeft = 50;
constexpr int kFirstCropRight = 301;
constexpr int kFirstCropBottomOffset = 323;
constexpr double kFirstCropMiddle = 0.5;
constexpr double kFirstCropAboveMiddle = 140.0;
// Light background at the row ends of a first-set face is replaced from this level up.
constexpr int kFirstTrimThreshold = 210;
constexpr int kSecondTrimThreshold = 255;
// Share of each set that is kept, as r / 32767 below it.
constexpr float kFirstSelection = 0.5f;
constexpr float kSecondSelection = 0.2f;

// A feature whose owner values have no spread is weighed as if its spread were this small,
// so that the weight stays finite (a single-sample template still ranks faces).
constexpr float kMinOwnerSpread = 1e-6f;

// Score = kScoreNumerator / (distance + kScoreOffset): 3 at distance 0, 1 at 60.
constexpr float kScoreNumerator = 90.0f;
constexpr float kScoreOffset = 30.0f;

struct Statistics
{
    float mean = 0.0f;
    float deviation = 0.0f;
};

// Population mean and standard deviation of column j of `count` rows (row(k) gives row k):
// sums in double, each squared deviation rounded to float, mean and deviation rounded to
// float. No rows give 0 and 0.
template <typename Row>
Statistics columnStatistics(int count, int j, Row row)
{
    Statistics result;
    if (count == 0)
        return result;
    double sum = 0.0;
    for (int k = 0; k < count; ++k)
        sum += row(k)[j];
    result.mean = float(sum / count);
    double squares = 0.0;
    for (int k = 0; k < count; ++k) {
        const float d = row(k)[j] - result.mean;
        squares += d * d;
    }
    result.deviation = float(std::sqrt(squares / count));
    return result;
}

QImage toFaceSize(const QImage& crop)
{
    return crop.scaled(QSize(kForeignWidth, kForeignHeight), Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

bool selected(int draw, float share)
{
    return float(draw) / float(RandomSource::kMax) < share;
}
} // namespace

FaceMatcher::FaceMatcher(int width, int height)
    : QObject(nullptr), width(width), height(height), rbm(width * height, kFeatureCount),
      quality(kFeatureCount, 0.0f)
{
    File modelFile(kModelPath);
    modelFile.openRead();
    modelFile >> rbm;
    if (rbm.visibleCount() != width * height || rbm.hiddenCount() != kFeatureCount)
        throw e_logic_argument("incorrect RBM configuration");
    createMask(kInitialMaskChannels);
    loadForeigns();
    // The foreign base is read on the generator's fixed start, so it repeats on every start;
    // training draws from here on.
    random.seed(unsigned(std::time(nullptr)));
    modelFile.close();
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
    for (int y = 0; y < height; ++y) {
        float* row = vector.data() + std::size_t(y) * width;
        for (int x = 0; x < width / 2; ++x)
            std::swap(row[x], row[width - 1 - x]);
    }
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
}

// Weight of feature j: |owner mean| / owner spread. The foreign statistics are logged beside
// the owner's for comparison; they do not enter the weights.
void FaceMatcher::weighFeatures()
{
    const auto foreignRow = [this](int k) -> const std::vector<float>& { return rbm.hiddenRow(k); };
    const auto ownRow = [this](int k) -> const std::vector<float>& { return templateVectors[k]; };
    const int foreignRows = std::max(rbm.batchSize(), 0);
    float sum = 0.0f;
    for (int j = 0; j < kFeatureCount; ++j) {
        const Statistics foreign = columnStatistics(foreignRows, j, foreignRow);
        qDebug() << unsigned(j) << foreign.mean << foreign.deviation;
        const Statistics owner = columnStatistics(int(templateVectors.size()), j, ownRow);
        const float q = std::fabs(owner.mean) / std::max(owner.deviation, kMinOwnerSpread);
        qDebug() << unsigned(j) << owner.mean << owner.deviation << "quality" << q;
        quality[j] = q;
        sum += q;
    }
    qDebug() << "average quality" << sum / kFeatureCount;
}

float FaceMatcher::verify(cv::Mat image)
{
    if (image.empty())
        return 0.0f;
    if (image.cols != width || image.rows != height)
        throw std::logic_error("incorrect image size");
    rbm.setBatch({imageToVector(image)});
    rbm.computeHidden();
    const float distance = distanceTo(rbm.hiddenRow(0));
    qDebug() << "verify" << distance;
    return kScoreNumerator / (distance + kScoreOffset);
}

// The weighted distance to the nearest template feature vector: sqrt(sum_j q_j (t_j - f_j)^2),
// each square rounded to float, the sum in double. With no template: the largest float.
float FaceMatcher::distanceTo(const std::vector<float>& features) const
{
    float nearest = std::numeric_limits<float>::max();
    for (const std::vector<float>& t : templateVectors) {
        double sum = 0.0;
        for (int j = 0; j < kFeatureCount; ++j) {
            const float d = t[j] - features[j];
            const float square = d * d;
            sum += double(quality[j]) * double(square);
        }
        const double e = std::sqrt(sum);
        if (e < nearest)
            nearest = float(e);
    }
    return nearest;
}

std::vector<float> FaceMatcher::imageToVector(cv::Mat image)
{
    if (image.cols != width || image.rows != height)
        throw std::logic_error("incorrect image size");
    if (mask.channels() != image.channels())
        createMask(image.channels());
    return maskedFaceVector(image, mask);
}

std::vector<float> FaceMatcher::imageToVector(const QImage& image, bool trimBackground, int threshold)
{
    return photoFaceVector(image, trimBackground, threshold, random);
}

void FaceMatcher::createMask(int channels)
{
    mask = createFaceMask(cv::Size(width, height), channels);
}

void FaceMatcher::loadForeigns()
{
    if (width != kForeignWidth || height != kForeignHeight)
        throw std::logic_error("loading foreign faces: unsupported size");
    loadFirstForeignSet();
    loadSecondForeignSet();
    qDebug() << "foreign base loaded, samples:" << qulonglong(foreigns.size());
}

// Every file of the first set, in directory order, cut at one fixed rectangle; about half
// are kept. An unreadable file is skipped without a draw.
void FaceMatcher::loadFirstForeignSet()
{
    const QString directory(kFirstForeignDir);
    const QStringList entries = QDir(directory).entryList(QDir::Files, QDir::NoSort);
    for (const QString& entry : entries) {
        const QImage photo(directory + entry);
        const int top = int(photo.height() * kFirstCropMiddle - kFirstCropAboveMiddle);
        const QRect crop(QPoint(kFirstCropLeft, top), QPoint(kFirstCropRight, top + kFirstCropBottomOffset));
        const QImage face = toFaceSize(photo.copy(crop));
        if (face.isNull())
            continue;
        if (selected(random.next(), kFirstSelection))
            foreigns.push_back(imageToVector(face, true, kFirstTrimThreshold));
    }
}

// Every record of the second set's index, in file order, cut from its landmarks; about a
// fifth are kept. A null crop is skipped without a draw.
void FaceMatcher::loadSecondForeignSet()
{
    const AnnotatedFaceList list(kSecondForeignDir);
    for (unsigned i = 0; i < list.size(); ++i) {
        const QImage crop = list.at(i);
        if (crop.isNull())
            continue;
        const QImage face = toFaceSize(crop);
        if (selected(random.next(), kSecondSelection))
            foreigns.push_back(imageToVector(face, false, kSecondTrimThreshold));
    }
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

const GaussianRbm& FaceMatcher::model() const
{
    return rbm;
}

const cv::Mat& FaceMatcher::faceMask() const
{
    return mask;
}
