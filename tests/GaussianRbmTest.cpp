#include "Errors.h"
#include "File.h"
#include "GaussianRbm.h"
#include "ModelFiles.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdint>
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
    // nv = 3, nh = 2, parameters 1, 2, 3, ... in file order.
    QByteArray smallModelBytes() const
    {
        std::vector<float> values(2 * 3 + 2 + 2 * 3);
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = float(i + 1) * 0.5f;
        return int32Bytes(3) + int32Bytes(2) + floatBytes(values);
    }

    // Loads `bytes` as a model file into `model` (which may hold a batch).
    void load(const QByteArray& bytes, GaussianRbm& model)
    {
        const QString path = dir.filePath("model.grbm");
        ASSERT_TRUE(writeBytes(path, bytes));
        File file(path.toStdString());
        file.openRead();
        file >> model;
    }

    QTemporaryDir dir;
    CapturedLog log; // keeps the loader's diagnostics out of the output
};

// The damaged model files are one table in BadInputTest.
TEST_F(GaussianRbmTest, ReadsAndWritesEveryFieldInFileOrder)
{
    GaussianRbm model = randomModel(3, 2, 1);
    model.setBatch(randomRows(2, 3, 1));
    load(smallModelBytes(), model);
    EXPECT_EQ(model.visibleCount(), 3);
    EXPECT_EQ(model.hiddenCount(), 2);
    EXPECT_EQ(model.batchSize(), -1);
    EXPECT_EQ(model.visibleBias, (std::vector<float>{0.5f, 1.0f, 1.5f}));
    EXPECT_EQ(model.hiddenBias, (std::vector<float>{2.0f, 2.5f}));
    EXPECT_EQ(model.visibleSigma, (std::vector<float>{3.0f, 3.5f, 4.0f}));
    EXPECT_EQ(model.weights[0], (std::vector<float>{4.5f, 5.0f, 5.5f}));
    EXPECT_EQ(model.weights[1], (std::vector<float>{6.0f, 6.5f, 7.0f}));

    // The writer gives back the very bytes, and refuses parameters of another shape.
    const QString path = dir.filePath("folder/written.grbm");
    writeModelFile(path, model);
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), smallModelBytes());
    GaussianRbm ragged(3, 2);
    ragged.weights[1].pop_back();
    File bad(dir.filePath("bad.grbm").toStdString());
    bad.openWrite();
    EXPECT_THROW(bad << ragged, e_logic_argument);

    GaussianRbm trailing(1, 1);
    load(smallModelBytes() + QByteArray(100, '\x7f'), trailing);
    EXPECT_EQ(trailing.weights, model.weights) << "trailing bytes are ignored";

    // A failed load keeps the parameters the model had.
    GaussianRbm kept = randomModel(4, 3, 7);
    const GaussianRbm before = kept;
    EXPECT_THROW(load(smallModelBytes().left(40), kept), e_failure_read);
    EXPECT_EQ(kept.visibleCount(), 4);
    EXPECT_EQ(kept.weights, before.weights);
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

// A new batch of the same size replaces the values of the last (in the buffers it reuses); an
// empty batch computes nothing; rows of another length are refused.
TEST_F(GaussianRbmTest, BatchesReplaceTheLastAndCheckTheirRows)
{
    GaussianRbm model = randomModel(6, 4, 1);
    model.computeHidden(); // no batch yet
    EXPECT_EQ(model.batchSize(), -1);
    model.setBatch(randomRows(2, 6, 1));
    model.computeHidden();
    const std::vector<std::vector<float>> second = randomRows(2, 6, 2);
    model.setBatch(second);
    EXPECT_EQ(model.visibleRow(1), second[1]);
    model.computeHidden();
    EXPECT_EQ(model.hiddenRow(1)[2], referenceFeature(model, second[1], 2));
    model.setBatch({});
    model.computeHidden();
    EXPECT_EQ(model.batchSize(), 0);
    EXPECT_THROW(model.setBatch({std::vector<float>(5)}), e_logic_argument);
}

} // namespace
