#include "ErrorMessage.h"
#include "Errors.h"
#include "FaceResnet.h"
#include "ModelFiles.h"
#include "ResnetWeights.h"
#include "RunFolder.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <functional>
#include <memory>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr const char* kManifestName = "face_recognition_model-weights_manifest.json";
constexpr const char* kWeightsName = "face_recognition_model.bin";
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

TEST_F(FaceResnetTest, WrongChipThrows)
{
    const int size = FaceResnet::kChipSize;
    EXPECT_THROW(resnet->embed(cv::Mat(size, size, CV_8UC1)), std::logic_error);
    EXPECT_THROW(resnet->embed(cv::Mat(size, size + 1, CV_8UC3)), std::logic_error);
    EXPECT_THROW(resnet->embed(cv::Mat(size, size, CV_32FC3)), std::logic_error);
    EXPECT_THROW(resnet->embedRgb(cv::Mat(size - 1, size, CV_32FC3)), std::logic_error);
}

// Offset in the weights file of the first float32 tensor.
int firstFloatOffset(const std::vector<ResnetTensorLayout>& layouts)
{
    int offset = 0;
    for (const ResnetTensorLayout& layout : layouts) {
        if (!layout.quantised)
            return offset;
        offset += std::accumulate(layout.shape.begin(), layout.shape.end(), 1, std::multiplies<int>());
    }
    return -1;
}

struct Damage
{
    const char* name;
    std::function<void(QByteArray& manifest, QByteArray& weights)> apply;
    bool cannotOpen;
    const char* file;  // the file the message names
    std::string what;
};

TEST(FaceResnetFilesTest, DamagedFilesThrowNamingTheFileAndTheFault)
{
    const QString source = QDir(kResnetFolder).path() + "/";
    const QByteArray manifest = readBytes(source + kManifestName);
    const QByteArray weights = readBytes(source + kWeightsName);
    ASSERT_FALSE(manifest.isEmpty() || weights.isEmpty());
    const int nanAt = firstFloatOffset(parseResnetManifest(manifest));
    const std::vector<Damage> damages = {
        {"missing manifest", [](QByteArray& m, QByteArray&) { m.clear(); }, true, kManifestName, ""},
        {"missing weights", [](QByteArray&, QByteArray& w) { w.clear(); }, true, kWeightsName, ""},
        {"truncated weights", [](QByteArray&, QByteArray& w) { w.chop(1); }, false, kWeightsName,
         "6444031 bytes, expected 6444032"},
        {"NaN in weights", [&](QByteArray&, QByteArray& w) { w.replace(nanAt, 4, "\x00\x00\xc0\x7f", 4); },
         false, kWeightsName, "non-finite value in conv64_down/conv1/conv/filters"},
        {"wrong shape", [](QByteArray& m, QByteArray&) { m.replace("[7,7,3,32]", "[7,7,3,33]"); }, false,
         kManifestName, "shape of conv32_down/conv/filters is [7,7,3,33], expected [7,7,3,32]"},
        {"tensor renamed", [](QByteArray& m, QByteArray&) { m.replace("conv32_down/conv/bias", "b"); }, false,
         kManifestName, "tensor \"b\" found where conv32_down/conv/bias belongs"},
        {"not JSON", [](QByteArray& m, QByteArray&) { m = "{\"weights\": [1,"; }, false, kManifestName,
         "not JSON"},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.name);
        QTemporaryDir dir;
        QByteArray m = manifest, w = weights;
        damage.apply(m, w);
        for (const auto& [name, bytes] : {std::make_pair(kManifestName, m), std::make_pair(kWeightsName, w)})
            ASSERT_TRUE(bytes.isEmpty() || writeBytes(dir.filePath(name), bytes));
        const auto load = [&] { FaceResnet resnet(dir.path()); };
        const std::string message = damage.cannotOpen ? messageOf<e_failure_open>(load)
                                                      : messageOf<e_logic_argument>(load);
        EXPECT_EQ(message.rfind(dir.filePath(damage.file).toStdString() + ": " + damage.what, 0), 0u)
            << message;
    }
}

} // namespace
