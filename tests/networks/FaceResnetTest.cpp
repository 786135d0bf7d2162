#include "CalibrationFit.h"
#include "Confidence.h"
#include "EmbeddingDistance.h"
#include "ErrorMessage.h"
#include "Errors.h"
#include "FaceLandmarks.h"
#include "FaceResnet.h"
#include "ModelFiles.h"
#include "ResnetMatcher.h"
#include "ResnetWeights.h"
#include "RunFolder.h"
#include "VerificationRule.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr const char* kManifestName = "face_recognition_model-weights_manifest.json";
constexpr const char* kWeightsName = "face_recognition_model.bin";
constexpr const char* kLandmarkManifestName = "face_landmark_68_model-weights_manifest.json";
constexpr const char* kLandmarkWeightsName = "face_landmark_68_model.bin";
// Embedding of the gradient chip as the TensorFlow.js port computes it.
const std::vector<float> kGradientStart = {-0.05591f, 0.12632f, 0.06345f, 0.00230f};
constexpr double kGradientNorm = 1.31962;
constexpr double kTolerance = 1e-4;
constexpr const char* kWeightsSha256 = "b413e420d6840b2775fba32008db6f3cddb07d485967fb42cfcf379c16a8c589";

// The chip whose pixel (x, y) is R = x, G = y, B = floor((x + y) / 2).
cv::Mat gradientRgb()
{
    cv::Mat rgb(FaceResnet::kChipSize, FaceResnet::kChipSize, CV_32FC3);
    rgb.forEach<cv::Vec3f>([](cv::Vec3f& pixel, const int* at) {
        pixel = cv::Vec3f(float(at[1]), float(at[0]), float((at[0] + at[1]) / 2));
    });
    return rgb;
}

class FaceResnetTest : public testing::Test
{
protected:
    static void SetUpTestSuite() { resnet = std::make_unique<FaceResnet>(kResnetFolder); }
    static void TearDownTestSuite() { resnet.reset(); }
    static std::unique_ptr<FaceResnet> resnet;
};
std::unique_ptr<FaceResnet> FaceResnetTest::resnet;

TEST_F(FaceResnetTest, GradientChipGivesTheKnownEmbedding)
{
    const std::vector<float> embedding = resnet->embedRgb(gradientRgb());
    ASSERT_EQ(int(embedding.size()), FaceResnet::kEmbeddingSize);
    for (std::size_t i = 0; i < kGradientStart.size(); ++i)
        EXPECT_NEAR(embedding[i], kGradientStart[i], kTolerance) << "value " << i;
    EXPECT_NEAR(cv::norm(embedding), kGradientNorm, kTolerance);
    EXPECT_EQ(resnet->sha256().toStdString(), kWeightsSha256);
}

// A BGR camera chip is the RGB chip with its channels swapped.
TEST_F(FaceResnetTest, BgrChipMatchesItsRgbChip)
{
    cv::Mat bgr;
    cv::cvtColor(gradientRgb(), bgr, cv::COLOR_RGB2BGR);
    bgr.convertTo(bgr, CV_8U);
    const std::vector<float> fromBgr = resnet->embed(bgr);
    const std::vector<float> fromRgb = resnet->embedRgb(gradientRgb());
    EXPECT_LT(cv::norm(fromBgr, fromRgb, cv::NORM_INF), 1e-6);
}

// The window's matcher over the network: an enrolment embedding is the mean of the chip's and
// its left-right mirror's; a face's distance is the plain Euclidean distance to the nearest
// template embedding, and its score 90 / (s d + 30).
TEST_F(FaceResnetTest, MatcherEnrolsChipAndMirrorAndScoresThePlainDistance)
{
    ResnetMatcher matcher(kResnetFolder);
    cv::Mat chip;
    cv::cvtColor(gradientRgb(), chip, cv::COLOR_RGB2BGR);
    chip.convertTo(chip, CV_8U);
    cv::Mat mirror;
    cv::flip(chip, mirror, 1);
    const std::vector<float> single = resnet->embed(chip);
    const std::vector<float> mirrored = resnet->embed(mirror);
    ASSERT_GT(cv::norm(single, mirrored), 0.05) << "the chip must not look like its mirror";
    const std::vector<float> enrolled = matcher.embed(chip, true);
    ASSERT_EQ(enrolled.size(), single.size());
    for (std::size_t i = 0; i < single.size(); ++i)
        EXPECT_NEAR(enrolled[i], 0.5f * (single[i] + mirrored[i]), 1e-6f) << "value " << i;
    EXPECT_LT(cv::norm(matcher.embed(chip, false), single, cv::NORM_INF), 1e-6);

    ASSERT_EQ(matcher.calibration().distance, ResnetCalibration::Distance::Euclidean);
    EXPECT_EQ(matcher.distance(single), std::numeric_limits<float>::max()) << "no template yet";
    const auto embedding = [](std::initializer_list<std::pair<int, float>> values) {
        std::vector<float> result(FaceResnet::kEmbeddingSize, 0.0f);
        for (const auto& [index, value] : values)
            result[std::size_t(index)] = value;
        return result;
    };
    matcher.addGroup({embedding({{0, 3.0f}, {5, 4.0f}}), embedding({{1, 10.0f}})});
    matcher.train();
    const std::vector<float> face(FaceResnet::kEmbeddingSize, 0.0f);
    EXPECT_FLOAT_EQ(matcher.distance(face), 5.0f);
    EXPECT_FLOAT_EQ(matcher.verify(face), 90.0f / (matcher.calibration().scale * 5.0f + 30.0f));
    EXPECT_THROW(matcher.distance(std::vector<float>(FaceResnet::kEmbeddingSize + 1)), std::logic_error);
}

// Cosine distances: 1 - cos, zero vectors at 1; both kinds refuse embeddings of other lengths.
TEST(EmbeddingDistanceTest, HandMadeVectorsGiveTheirDistances)
{
    using Distance = ResnetCalibration::Distance;
    EXPECT_FLOAT_EQ(embeddingDistance(Distance::Cosine, {1, 0}, {0, 2}), 1.0f);
    EXPECT_NEAR(embeddingDistance(Distance::Cosine, {1, 1}, {3, 3}), 0.0f, 1e-7f);
    EXPECT_FLOAT_EQ(embeddingDistance(Distance::Cosine, {1, 0}, {-2, 0}), 2.0f);
    EXPECT_FLOAT_EQ(embeddingDistance(Distance::Cosine, {0, 0}, {0, 0}), 1.0f);
    EXPECT_FLOAT_EQ(embeddingDistance(Distance::Euclidean, {1, 1}, {4, 5}), 5.0f);
    EXPECT_THROW(embeddingDistance(Distance::Euclidean, {1, 1}, {1, 1, 0}), std::logic_error);
}

// The calibration's scale puts the lock's per-face threshold (0.99) at the fitted distance, and
// refuses a distance of 0, where the scale would be infinite.
TEST(EmbeddingDistanceTest, CalibrationScaleNeedsAPositiveThreshold)
{
    const float scale = scaleForThreshold(0.4f);
    EXPECT_NEAR(VerificationRule::verificationScore(0.4f, scale), kLockThreshold, 1e-6f);
    for (const float threshold : {0.0f, -0.1f, std::numeric_limits<float>::quiet_NaN()})
        EXPECT_THROW(scaleForThreshold(threshold), std::invalid_argument) << threshold;
}

TEST_F(FaceResnetTest, WrongChipThrows)
{
    const int size = FaceResnet::kChipSize;
    EXPECT_THROW(resnet->embed(cv::Mat(size, size, CV_8UC1)), std::logic_error);
    EXPECT_THROW(resnet->embed(cv::Mat(size, size + 1, CV_8UC3)), std::logic_error);
    EXPECT_THROW(resnet->embed(cv::Mat(size, size, CV_32FC3)), std::logic_error);
    EXPECT_THROW(resnet->embedRgb(cv::Mat(size - 1, size, CV_32FC3)), std::logic_error);
}

// Offset in the weights file of the first float32 tensor.
int firstFloatOffset(const std::vector<TensorLayout>& layouts)
{
    int offset = 0;
    for (const TensorLayout& layout : layouts) {
        if (!layout.quantised)
            return offset;
        offset += std::accumulate(layout.shape.begin(), layout.shape.end(), 1, std::multiplies<int>());
    }
    return -1;
}

// A network that loads from a manifest and a weights file in one folder.
struct Network
{
    const char* folder;
    const char* manifest;
    const char* weights;
    std::function<void(const QString& folder)> load;
};

const Network kResnet = {kResnetFolder, kManifestName, kWeightsName, [](const QString& f) { FaceResnet net(f); }};
const Network kLandmarks = {kLandmarksFolder, kLandmarkManifestName, kLandmarkWeightsName,
                            [](const QString& f) { FaceLandmarks net(f); }};

struct Damage
{
    const char* name;
    const Network& network;
    std::function<void(QByteArray& manifest, QByteArray& weights)> apply;
    bool cannotOpen;
    const char* file;  // the file the message names
    std::string what;
};

// Both networks read their files through one reader: each is damaged where its own
// architecture or file names could go wrong.
TEST(NetworkFilesTest, DamagedFilesThrowNamingTheFileAndTheFault)
{
    const QByteArray resnetManifest = readBytes(QDir(kResnetFolder).filePath(kManifestName));
    const int nanAt = firstFloatOffset(parseWeightsManifest(resnetManifest, resnetTensors()));
    const std::vector<Damage> damages = {
        {"missing manifest", kResnet, [](QByteArray& m, QByteArray&) { m.clear(); }, true, kManifestName, ""},
        {"missing weights", kResnet, [](QByteArray&, QByteArray& w) { w.clear(); }, true, kWeightsName, ""},
        {"truncated weights", kResnet, [](QByteArray&, QByteArray& w) { w.chop(1); }, false, kWeightsName,
         "6444031 bytes, expected 6444032"},
        {"NaN in weights", kResnet, [&](QByteArray&, QByteArray& w) { w.replace(nanAt, 4, "\x00\x00\xc0\x7f", 4); },
         false, kWeightsName, "non-finite value in conv64_down/conv1/conv/filters"},
        {"wrong shape", kResnet, [](QByteArray& m, QByteArray&) { m.replace("[7,7,3,32]", "[7,7,3,33]"); }, false,
         kManifestName, "shape of conv32_down/conv/filters is [7,7,3,33], expected [7,7,3,32]"},
        {"tensor renamed", kResnet, [](QByteArray& m, QByteArray&) { m.replace("conv32_down/conv/bias", "b"); },
         false, kManifestName, "tensor \"b\" found where conv32_down/conv/bias belongs"},
        {"not JSON", kResnet, [](QByteArray& m, QByteArray&) { m = "{\"weights\": [1,"; }, false, kManifestName,
         "not JSON"},
        {"landmarks: missing manifest", kLandmarks, [](QByteArray& m, QByteArray&) { m.clear(); }, true,
         kLandmarkManifestName, ""},
        {"landmarks: truncated weights", kLandmarks, [](QByteArray&, QByteArray& w) { w.chop(1); }, false,
         kLandmarkWeightsName, "356839 bytes, expected 356840"},
        {"landmarks: wrong shape", kLandmarks, [](QByteArray& m, QByteArray&) { m.replace("[256,136]", "[256,137]"); },
         false, kLandmarkManifestName, "shape of fc/weights is [256,137], expected [256,136]"},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        const Network& network = damage.network;
        const QDir source(network.folder);
        QByteArray m = readBytes(source.filePath(network.manifest)), w = readBytes(source.filePath(network.weights));
        ASSERT_FALSE(m.isEmpty() || w.isEmpty());
        damage.apply(m, w);
        QTemporaryDir dir;
        for (const auto& [name, bytes] : {std::make_pair(network.manifest, m), std::make_pair(network.weights, w)})
            ASSERT_TRUE(bytes.isEmpty() || writeBytes(dir.filePath(name), bytes));
        const auto load = [&] { network.load(dir.path()); };
        const std::string message = damage.cannotOpen ? messageOf<e_failure_open>(load)
                                                      : messageOf<e_logic_argument>(load);
        EXPECT_EQ(message.rfind(dir.filePath(damage.file).toStdString() + ": " + damage.what, 0), 0u)
            << message;
    }
}

} // namespace
