#include "Errors.h"
#include "File.h"
#include "GaussianRbm.h"
#include "ModelFiles.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

QByteArray int32Bytes(std::int32_t value)
{
    return QByteArray(reinterpret_cast<const char*>(&value), sizeof value);
}

QByteArray floatBytes(const std::vector<float>& values)
{
    return QByteArray(reinterpret_cast<const char*>(values.data()), int(values.size() * sizeof(float)));
}

// The reference arithmetic of a feature: product exact in double, then the division by the
// unit's sigma, summed in double in visible order, rounded to float at the end.
float referenceFeature(const GaussianRbm& model, const std::vector<float>& v, int j)
{
    double sum = model.hiddenBias[j];
    for (int i = 0; i < model.visibleCount(); ++i)
        sum += double(model.weights[j][i]) * double(v[i]) / double(model.visibleSigma[i]);
    return float(sum);
}

std::vector<std::vector<float>> randomRows(int count, int length, unsigned seed, float spread = 3.0f)
{
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> value(-spread, spread);
    std::vector<std::vector<float>> rows(count, std::vector<float>(length));
    for (std::vector<float>& row : rows)
        for (float& x : row)
            x = value(generator);
    return rows;
}

class GaussianRbmTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
    }

    std::string pathOf(const QString& name) const
    {
        return dir.filePath(name).toStdString();
    }

    // nv = 3, nh = 2, parameters 1, 2, 3, ... in file order.
    QByteArray smallModelBytes() const
    {
        std::vector<float> values(2 * 3 + 2 + 2 * 3);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = float(i + 1) * 0.5f;
        return int32Bytes(3) + int32Bytes(2) + floatBytes(values);
    }

    // Loads `bytes` as a model file; the stdio indicators printed on a failed read go to
    // `printed`.
    GaussianRbm load(const QByteArray& bytes, std::string* printed = nullptr)
    {
        const QString path = dir.filePath("model.grbm");
        EXPECT_TRUE(writeBytes(path, bytes));
        GaussianRbm model(1, 1);
        File file(path.toStdString());
        file.openRead();
        testing::internal::CaptureStdout();
        try {
            file >> model;
        } catch (...) {
            const std::string out = testing::internal::GetCapturedStdout();
            if (printed != nullptr)
                *printed = out;
            throw;
        }
        testing::internal::GetCapturedStdout();
        return model;
    }

    std::string loadFailure(const QByteArray& bytes, std::string* printed = nullptr)
    {
        try {
            load(bytes, printed);
        } catch (const e_failure_read& error) {
            return error.message();
        }
        return "<no error>";
    }

    QTemporaryDir dir;
    CapturedLog log;
};

TEST_F(GaussianRbmTest, LoadsEveryFieldInFileOrder)
{
    const GaussianRbm model = load(smallModelBytes());
    EXPECT_EQ(model.visibleCount(), 3);
    EXPECT_EQ(model.hiddenCount(), 2);
    EXPECT_EQ(model.batchSize(), -1);
    EXPECT_EQ(model.visibleBias, (std::vector<float>{0.5f, 1.0f, 1.5f}));
    EXPECT_EQ(model.hiddenBias, (std::vector<float>{2.0f, 2.5f}));
    EXPECT_EQ(model.visibleSigma, (std::vector<float>{3.0f, 3.5f, 4.0f}));
    EXPECT_EQ(model.weights[0], (std::vector<float>{4.5f, 5.0f, 5.5f}));
    EXPECT_EQ(model.weights[1], (std::vector<float>{6.0f, 6.5f, 7.0f}));
    EXPECT_EQ(log.lines(), (QStringList{"rbm: 3 2", "64 64"}));
}

TEST_F(GaussianRbmTest, TrailingBytesAreIgnored)
{
    const GaussianRbm model = load(smallModelBytes() + QByteArray(100, '\x7f'));
    EXPECT_EQ(model.weights[1], (std::vector<float>{6.0f, 6.5f, 7.0f}));
    EXPECT_EQ(log.lines(), (QStringList{"rbm: 3 2", "64 164"}));
}

TEST_F(GaussianRbmTest, WriterProducesTheFormatTheLoaderReads)
{
    const GaussianRbm written = randomModel(7, 5, 42);
    const QString path = dir.filePath("folder/written.grbm");
    writeModelFile(path, written);
    EXPECT_EQ(QFileInfo(path).size(), 8 + 4 * (2 * 7 + 5 + 5 * 7));
    File file(path.toStdString());
    file.openRead();
    GaussianRbm loaded(1, 1);
    file >> loaded;
    EXPECT_EQ(loaded.visibleCount(), 7);
    EXPECT_EQ(loaded.hiddenCount(), 5);
    EXPECT_EQ(loaded.visibleBias, written.visibleBias);
    EXPECT_EQ(loaded.hiddenBias, written.hiddenBias);
    EXPECT_EQ(loaded.visibleSigma, written.visibleSigma);
    EXPECT_EQ(loaded.weights, written.weights);
}

TEST_F(GaussianRbmTest, WriterRejectsParametersOfAnotherShape)
{
    GaussianRbm model(3, 2);
    model.weights[1].pop_back();
    File file(pathOf("bad.grbm"));
    file.openWrite();
    EXPECT_THROW(file << model, e_logic_argument);
}

TEST_F(GaussianRbmTest, ShortFilesFailWithUnexpectedEnd)
{
    const QByteArray whole = smallModelBytes();
    struct Case
    {
        const char* name;
        QByteArray bytes;
        const char* printed;
    };
    const std::vector<Case> cases = {
        {"empty file", QByteArray(), "1 0"},
        {"header only", whole.left(8), "1 0"},
        {"cut inside the last weight row", whole.left(whole.size() - 2), "1 0"},
        {"nv = 0", int32Bytes(0) + int32Bytes(2) + floatBytes({1.0f, 2.0f}), "0 0"},
        {"nh = 0", int32Bytes(2) + int32Bytes(0) + floatBytes({1.0f, 2.0f, 3.0f, 4.0f}), "0 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string printed;
        EXPECT_EQ(loadFailure(c.bytes, &printed), "Unexpected end of file");
        EXPECT_EQ(printed, c.printed);
    }
}

// A damaged header must not make the loader allocate what the file cannot hold (2^30 x 2^30
// floats would be 4 EiB; a sanitizer build aborts on such a request).
TEST_F(GaussianRbmTest, ImpossibleHeadersFailBeforeAllocating)
{
    const std::int32_t huge = 1 << 30;
    const std::int32_t most = std::numeric_limits<std::int32_t>::max();
    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"nv = nh = 2^30 in 16 bytes", int32Bytes(huge) + int32Bytes(huge) + QByteArray(8, '\0')},
        {"largest counts", int32Bytes(most) + int32Bytes(most) + QByteArray(64, '\0')},
        {"negative nv", int32Bytes(-3) + int32Bytes(2) + QByteArray(64, '\0')},
        {"negative nh", int32Bytes(3) + int32Bytes(-2) + QByteArray(64, '\0')},
        {"one float short", smallModelBytes().left(60)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        std::string printed;
        EXPECT_EQ(loadFailure(c.second, &printed), "Unexpected end of file");
        EXPECT_EQ(printed, "1 0"); // reported as the early end it is
        EXPECT_EQ(log.lines().value(0).left(4), "rbm:");
    }
}

TEST_F(GaussianRbmTest, FailedLoadKeepsThePreviousParameters)
{
    const QString path = dir.filePath("short.grbm");
    ASSERT_TRUE(writeBytes(path, smallModelBytes().left(40)));
    GaussianRbm model = randomModel(4, 3, 7);
    const GaussianRbm before = model;
    File file(path.toStdString());
    file.openRead();
    testing::internal::CaptureStdout();
    EXPECT_THROW(file >> model, e_failure_read);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(model.visibleCount(), 4);
    EXPECT_EQ(model.weights, before.weights);
}

TEST_F(GaussianRbmTest, ClosedStreamThrowsNotOpened)
{
    File file(pathOf("model.grbm"));
    GaussianRbm model(1, 1);
    try {
        file >> model;
        FAIL() << "no error";
    } catch (const e_logic_state& error) {
        EXPECT_EQ(error.message(), "File not opened");
    }
}

TEST_F(GaussianRbmTest, ZeroWeightsGiveTheHiddenBiases)
{
    GaussianRbm model = randomModel(1575, 200, 3);
    for (std::vector<float>& row : model.weights)
        std::fill(row.begin(), row.end(), 0.0f);
    model.setBatch(randomRows(3, 1575, 11, 1000.0f));
    model.computeHidden();
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(model.hiddenRow(k), model.hiddenBias) << "row " << k;
}

TEST_F(GaussianRbmTest, InputEqualToSigmaGivesBiasPlusRowSum)
{
    GaussianRbm model = randomModel(1575, 200, 5);
    std::mt19937 generator(9);
    std::uniform_real_distribution<float> sigma(0.1f, 4.0f);
    for (float& s : model.visibleSigma)
        s = sigma(generator);
    model.setBatch({model.visibleSigma});
    model.computeHidden();
    for (int j = 0; j < model.hiddenCount(); ++j) {
        double sum = model.hiddenBias[j];
        for (float w : model.weights[j])
            sum += w;
        ASSERT_EQ(model.hiddenRow(0)[j], float(sum)) << "unit " << j;
    }
}

// The fast kernel must round exactly as the plain sequential loop does, for shapes that do
// and do not fill its blocks.
TEST_F(GaussianRbmTest, FeaturesMatchTheSequentialArithmeticBitForBit)
{
    const std::vector<std::pair<int, int>> shapes = {{1575, 200}, {1, 1}, {2, 3}, {7, 9}, {30, 17}, {5, 8}};
    unsigned seed = 100;
    for (const auto& shape : shapes) {
        SCOPED_TRACE(std::to_string(shape.first) + " x " + std::to_string(shape.second));
        GaussianRbm model = randomModel(shape.first, shape.second, ++seed);
        std::mt19937 generator(seed);
        std::uniform_real_distribution<float> sigma(0.05f, 3.0f);
        for (float& s : model.visibleSigma)
            s = sigma(generator);
        const std::vector<std::vector<float>> rows = randomRows(4, shape.first, seed);
        model.setBatch(rows);
        model.computeHidden();
        int mismatches = 0;
        for (int k = 0; k < 4; ++k)
            for (int j = 0; j < shape.second; ++j)
                mismatches += model.hiddenRow(k)[j] != referenceFeature(model, rows[k], j);
        EXPECT_EQ(mismatches, 0);
    }
}

TEST_F(GaussianRbmTest, SameSizeBatchReusesItsBuffers)
{
    GaussianRbm model = randomModel(6, 4, 1);
    model.setBatch(randomRows(2, 6, 1));
    model.computeHidden();
    const float* visible = model.visibleRow(1).data();
    const float* hidden = model.hiddenRow(1).data();
    const std::vector<std::vector<float>> second = randomRows(2, 6, 2);
    model.setBatch(second);
    EXPECT_EQ(model.visibleRow(1).data(), visible);
    EXPECT_EQ(model.hiddenRow(1).data(), hidden);
    EXPECT_EQ(model.visibleRow(1), second[1]);
    model.computeHidden();
    EXPECT_EQ(model.hiddenRow(1)[2], referenceFeature(model, second[1], 2));

    model.setBatch(randomRows(3, 6, 3));
    EXPECT_EQ(model.batchSize(), 3);
}

TEST_F(GaussianRbmTest, EmptyBatchComputesNothing)
{
    GaussianRbm model = randomModel(6, 4, 1);
    model.computeHidden(); // no batch yet
    EXPECT_EQ(model.batchSize(), -1);
    model.setBatch({});
    model.computeHidden();
    EXPECT_EQ(model.batchSize(), 0);
    EXPECT_THROW(model.setBatch({std::vector<float>(5)}), e_logic_argument);
}

TEST_F(GaussianRbmTest, LoadingDropsTheBatch)
{
    GaussianRbm model = randomModel(3, 2, 1);
    model.setBatch(randomRows(2, 3, 1));
    const QString path = dir.filePath("model.grbm");
    ASSERT_TRUE(writeBytes(path, smallModelBytes()));
    File file(path.toStdString());
    file.openRead();
    file >> model;
    EXPECT_EQ(model.batchSize(), -1);
}

} // namespace
