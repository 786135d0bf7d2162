#include "ErrorMessage.h"
#include "Errors.h"
#include "LivenessModel.h"
#include "LivenessTrainer.h"
#include "ModelFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

// A sound three-feature model, one "key = value" line a key.
const std::vector<std::pair<std::string, std::string>> kSoundLines = {
    {"format", "1"}, {"features", "colour-lbp-1"}, {"mean", "0.5 -1 2"}, {"scale", "2 0.25 0.5"},
    {"weights", "1.5 -4 0.1"}, {"bias", "0.2"}, {"threshold", "-0.75"}};

// The sound model with `key`'s value replaced, or its line left out when there is no `value`.
QByteArray modelText(const std::string& key, const std::optional<std::string>& value)
{
    std::string text = "# liveness model\n";
    for (const auto& [k, v] : kSoundLines)
        if (k != key || value)
            text += k + " = " + (k == key ? *value : v) + "\n";
    return QByteArray::fromStdString(text);
}

TEST(LivenessModelTest, WrittenModelReadsBackExactlyAndWeighsFeatures)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(LivenessModel::kFileName);
    // Values that 6 significant digits would not give back.
    const LivenessModel model{"colour-lbp-1", {0.5f, -1.0f, 2.0f}, {2.0f, 0.25f, 1.0f / 3},
                              {1.5f, -4.0f, 123456.789f}, 0.1f, -1e-7f};
    model.write(path);
    const LivenessModel back = LivenessModel::read(path);
    EXPECT_EQ(back.featureSet, model.featureSet);
    EXPECT_EQ(back.mean, model.mean);
    EXPECT_EQ(back.scale, model.scale);
    EXPECT_EQ(back.weights, model.weights);
    EXPECT_EQ(back.bias, model.bias);
    EXPECT_EQ(back.threshold, model.threshold);

    // 0.2 + 1.5 * (1.5 - 0.5) * 2 - 4 * (3 + 1) * 0.25 + 0.1 * (2 - 2) * 0.5 = -0.8
    const LivenessModel sound = LivenessModel::parse(modelText("", std::nullopt), path);
    EXPECT_NEAR(sound.margin({1.5f, 3.0f, 2.0f}), -0.8, 1e-6);
    EXPECT_FALSE(sound.isLive(-0.8f));
    EXPECT_TRUE(sound.isLive(-0.75f));
    EXPECT_THROW(sound.margin({1.5f, 3.0f}), std::logic_error);
    EXPECT_THROW(sound.margin({1.5f, 3.0f, 2.0f, 0.0f}), std::logic_error);
}

TEST(LivenessModelTest, DamagedFilesThrowNamingTheFileAndTheFault)
{
    struct Damage
    {
        const char* key;
        std::optional<std::string> value;
        const char* what;
    };
    const std::vector<Damage> damages = {
        {"bias", std::nullopt, "no bias"},
        {"features", "", "no features"},
        {"format", "2", "unknown format"},
        {"scale", "2 0.25", "different counts (3, 2, 3)"},
        {"weights", "1.5 inf 0.1", "value 2 of weights is not a finite number"},
        {"mean", "0.5 -1 nan", "value 3 of mean is not a finite number"},
        {"mean", "0.5 -1 1e39", "value 3 of mean is not a finite number"},
        {"scale", "2 0 0.5", "value 2 of scale is not positive"},
        {"scale", "2 0.25 -0.5", "value 3 of scale is not positive"},
        {"threshold", "high", "threshold is not a finite number"},
        {"weights", "1.5 -4 0.1" + std::string(LivenessModel::kMaxFileSize, ' '), "too large"},
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(LivenessModel::kFileName);
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        ASSERT_TRUE(writeBytes(path, modelText(damage.key, damage.value)));
        const std::string message = messageOf<e_logic_argument>([&] { LivenessModel::read(path); });
        EXPECT_EQ(message.rfind(path.toStdString() + ": ", 0), 0u) << message;
        EXPECT_NE(message.find(damage.what), std::string::npos) << message;
    }
    const QString absent = dir.filePath("absent.model");
    const std::string message = messageOf<e_failure_open>([&] { LivenessModel::read(absent); });
    EXPECT_EQ(message.rfind(absent.toStdString() + ": cannot be read", 0), 0u) << message;
}

// Training standardises each feature by its spread over the faces. A feature that never changes
// has no spread: its scale is 1, never the inverse of a rounding residue (0.7 a thousand times
// leaves E[x^2] - E[x]^2 = 1e-14, which would scale it by 1e7).
TEST(LivenessModelTest, TrainingScalesAConstantFeatureByOne)
{
    std::vector<LivenessFace> faces(1000);
    for (std::size_t i = 0; i < faces.size(); ++i) {
        faces[i].live = i % 2 == 0;
        faces[i].features = {0.7f, (faces[i].live ? 0.6f : 0.4f) + 0.001f * float(i % 7)};
    }
    std::vector<const LivenessFace*> pointers;
    for (const LivenessFace& face : faces)
        pointers.push_back(&face);
    const LivenessModel model = trainLiveness(pointers, 1.0);
    EXPECT_EQ(model.scale[0], 1.0f);
    EXPECT_FLOAT_EQ(model.mean[0], 0.7f);
    EXPECT_NEAR(model.scale[1], 1.0 / 0.1, 0.1);
    EXPECT_GT(model.margin(faces[0].features), model.margin(faces[1].features));
}

} // namespace
