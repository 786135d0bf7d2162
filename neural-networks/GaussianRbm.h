#pragma once

#include "Errors.h"
#include "Stream.h"

#include <QDebug>

#include <algorithm>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The face feature model: a restricted Boltzmann machine with Gaussian visible units (one per
// face pixel) whose hidden pre-activations serve as the features of a face. Trained elsewhere;
// here it is loaded from a binary model file and turns batches of face vectors into feature
// vectors:
//     hidden[k][j] = float(hiddenBias[j] + sum_i weights[j][i] * visible[k][i] / visibleSigma[i])
// with each product formed exactly in double, then divided by the unit's sigma, and the sum
// accumulated in double in the order i = 0 ... visibleCount - 1.
//
// Model file (little-endian, packed): int32 nv, int32 nh, float32 visibleBias[nv],
// hiddenBias[nh], visibleSigma[nv], weights[nh][nv] (hidden-major). Length
// 8 + 4 * (2 nv + nh + nh nv) bytes; trailing bytes are ignored.
class GaussianRbm
{
public:
    // Requires: counts >= 0.
    // Ensures:  the parameter vectors have the shape (nh weight rows of nv), all zero; no batch.
    GaussianRbm(int visibleCount, int hiddenCount)
        : visibleBias(visibleCount), hiddenBias(hiddenCount), visibleSigma(visibleCount),
          weights(hiddenCount, std::vector<float>(visibleCount)), visibles(visibleCount),
          hiddens(hiddenCount)
    {
    }

    int visibleCount() const { return visibles; }
    int hiddenCount() const { return hiddens; }
    // Rows of the current batch; -1 when there is none (after construction and loading).
    int batchSize() const { return batchRows; }

    // Requires: every row holds visibleCount() values.
    // Ensures:  the batch is rows.size() rows long and holds copies of the rows; a batch of
    //           the same length reuses its row buffers.
    // Throws:   e_logic_argument("incorrect RBM configuration") for a row of another length.
    void setBatch(const std::vector<std::vector<float>>& rows)
    {
        for (const std::vector<float>& row : rows)
            if (int(row.size()) != visibles)
                throw e_logic_argument("incorrect RBM configuration");
        const int count = int(rows.size());
        if (count != batchRows) {
            visibleBatch.assign(count, std::vector<float>(visibles));
            hiddenBatch.assign(count, std::vector<float>(hiddens));
            batchRows = count;
        }
        for (int k = 0; k < count; ++k)
            std::copy(rows[k].begin(), rows[k].end(), visibleBatch[k].begin());
    }

    // Ensures: every hidden row of the batch holds the features of its visible row; with no
    //          batch nothing happens.
    // Throws:  e_logic_argument("incorrect RBM configuration") when the public parameter
    //          vectors no longer have the model's shape.
    void computeHidden()
    {
        if (batchRows <= 0)
            return;
        requireShape();
        std::vector<const float*> rows(hiddens);
        for (int j = 0; j < hiddens; ++j)
            rows[j] = weights[j].data();
        for (int k = 0; k < batchRows; ++k)
            computeRow(visibleBatch[k].data(), rows.data(), hiddenBatch[k].data());
    }

    // Requires: 0 <= k < batchSize().
    const std::vector<float>& hiddenRow(int k) const { return hiddenBatch.at(k); }
    // Requires: 0 <= k < batchSize().
    const std::vector<float>& visibleRow(int k) const { return visibleBatch.at(k); }

    // Throws: e_logic_argument("incorrect RBM configuration") when a parameter vector does
    //         not have the model's shape.
    void requireShape() const
    {
        bool fits = int(visibleBias.size()) == visibles && int(hiddenBias.size()) == hiddens
                    && int(visibleSigma.size()) == visibles && int(weights.size()) == hiddens;
        for (const std::vector<float>& row : weights)
            fits = fits && int(row.size()) == visibles;
        if (!fits)
            throw e_logic_argument("incorrect RBM configuration");
    }

    // Parameters, public so that tools can fill and save a model.
    std::vector<float> visibleBias;
    std::vector<float> hiddenBias;
    std::vector<float> visibleSigma;
    std::vector<std::vector<float>> weights; // weights[j][i]: visible unit i to hidden unit j

private:
    friend Stream& operator>>(Stream& stream, GaussianRbm& model);

    // One hidden unit, the reference order of operations.
    static float unitValue(const float* v, const float* sigma, const float* row, float bias, int nv)
    {
        double sum = bias;
        for (int i = 0; i < nv; ++i)
            sum += double(row[i]) * double(v[i]) / double(sigma[i]);
        return float(sum);
    }

    void computeRow(const float* v, const float* const* rows, float* out) const
    {
        const float* sigma = visibleSigma.data();
        const float* bias = hiddenBias.data();
        int j = 0;
#if defined(__SSE2__)
        // Eight hidden units at a time, each in its own lane with its own running sum, so the
        // divisions overlap while every unit keeps the exact sequential order.
        for (; j + 8 <= hiddens; j += 8)
            unitBlock<4>(v, sigma, rows + j, bias + j, visibles, out + j);
        for (; j + 2 <= hiddens; j += 2)
            unitBlock<1>(v, sigma, rows + j, bias + j, visibles, out + j);
#endif
        for (; j < hiddens; ++j)
            out[j] = unitValue(v, sigma, rows[j], bias[j], visibles);
    }

#if defined(__SSE2__)
    static __m128d loadTwo(const float* p)
    {
        return _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p))));
    }

    // Units rows[0 .. 2 Pairs - 1]; lane 0 of acc[p] is unit 2p, lane 1 unit 2p + 1.
    template <int Pairs>
    static void unitBlock(const float* v, const float* sigma, const float* const* rows,
                          const float* bias, int nv, float* out)
    {
        __m128d acc[Pairs];
        for (int p = 0; p < Pairs; ++p)
            acc[p] = _mm_set_pd(double(bias[2 * p + 1]), double(bias[2 * p]));
        int i = 0;
        for (; i + 2 <= nv; i += 2) {
            const __m128d vv = loadTwo(v + i);
            const __m128d ss = loadTwo(sigma + i);
            const __m128d v0 = _mm_unpacklo_pd(vv, vv), v1 = _mm_unpackhi_pd(vv, vv);
            const __m128d s0 = _mm_unpacklo_pd(ss, ss), s1 = _mm_unpackhi_pd(ss, ss);
            for (int p = 0; p < Pairs; ++p) {
                const __m128d a = loadTwo(rows[2 * p] + i);
                const __m128d b = loadTwo(rows[2 * p + 1] + i);
                acc[p] = _mm_add_pd(acc[p], _mm_div_pd(_mm_mul_pd(_mm_unpacklo_pd(a, b), v0), s0));
                acc[p] = _mm_add_pd(acc[p], _mm_div_pd(_mm_mul_pd(_mm_unpackhi_pd(a, b), v1), s1));
            }
        }
        for (; i < nv; ++i) {
            const __m128d vi = _mm_set1_pd(double(v[i]));
            const __m128d si = _mm_set1_pd(double(sigma[i]));
            for (int p = 0; p < Pairs; ++p) {
                const __m128d w = _mm_set_pd(double(rows[2 * p + 1][i]), double(rows[2 * p][i]));
                acc[p] = _mm_add_pd(acc[p], _mm_div_pd(_mm_mul_pd(w, vi), si));
            }
        }
        for (int p = 0; p < Pairs; ++p) {
            double lanes[2];
            _mm_storeu_pd(lanes, acc[p]);
            out[2 * p] = float(lanes[0]);
            out[2 * p + 1] = float(lanes[1]);
        }
    }
#endif

    int visibles;
    int hiddens;
    int batchRows = -1;
    std::vector<std::vector<float>> visibleBatch;
    std::vector<std::vector<float>> hiddenBatch;
};

namespace gaussian_rbm_io {

inline std::int32_t readCount(Stream& stream)
{
    std::int32_t value = 0;
    stream.read(&value, sizeof value);
    return value;
}

inline void readFloats(Stream& stream, std::vector<float>& values)
{
    stream.read(values.data(), values.size() * sizeof(float));
}

inline void writeFloats(Stream& stream, const std::vector<float>& values)
{
    stream.write(values.data(), values.size() * sizeof(float));
}

// Throws e_failure_read("Unexpected end of file") unless the rest of the stream can hold the
// parameters of an nv x nh model (negative counts never fit), so that a damaged header can
// not make the loader allocate more than the file holds. The shortfall is reported the way
// the stream reports any early end: by a read at its end (which also prints the indicators).
inline void requireRoomFor(Stream& stream, std::int32_t nv, std::int32_t nh)
{
    const long remaining = stream.size() - stream.tell();
    bool fits = nv >= 0 && nh >= 0 && remaining >= 0;
    if (fits) {
        const std::uint64_t floats = 2 * std::uint64_t(nv) + std::uint64_t(nh)
                                     + std::uint64_t(nh) * std::uint64_t(nv);
        fits = floats <= std::uint64_t(remaining) / sizeof(float);
    }
    if (fits)
        return;
    stream.seekEnd();
    char probe = 0;
    stream.read(&probe, sizeof probe);
    throw e_failure_read("Unexpected end of file");
}

} // namespace gaussian_rbm_io

// Requires: stream open for reading, positioned at a model.
// Ensures:  the model has the shape and parameters read, and no batch; logs "rbm: nv nh" and
//           then the stream's position and length.
// Throws:   e_failure_read("Unexpected end of file") for a file that ends early or whose
//           header claims more than the file holds (also negative counts, and nv or nh = 0,
//           whose zero-length read fails); other errors of the stream unchanged. On a throw
//           the previous parameters are kept, but the batch is gone.
inline Stream& operator>>(Stream& stream, GaussianRbm& model)
{
    using namespace gaussian_rbm_io;
    model.visibleBatch.clear();
    model.hiddenBatch.clear();
    model.batchRows = -1;
    const std::int32_t nv = readCount(stream);
    const std::int32_t nh = readCount(stream);
    qDebug() << "rbm:" << nv << nh;
    requireRoomFor(stream, nv, nh);
    GaussianRbm loaded(nv, nh);
    readFloats(stream, loaded.visibleBias);
    readFloats(stream, loaded.hiddenBias);
    readFloats(stream, loaded.visibleSigma);
    for (std::vector<float>& row : loaded.weights)
        readFloats(stream, row);
    model = std::move(loaded);
    qDebug() << static_cast<unsigned long>(stream.tell()) << static_cast<unsigned long>(stream.size());
    return stream;
}

// Requires: stream open for writing; the parameter vectors have the model's shape.
// Ensures:  writes the model in the format operator>> reads.
// Throws:   e_logic_argument("incorrect RBM configuration") for parameters of another shape;
//           errors of the stream unchanged.
inline Stream& operator<<(Stream& stream, const GaussianRbm& model)
{
    using namespace gaussian_rbm_io;
    model.requireShape();
    const std::int32_t counts[2] = {model.visibleCount(), model.hiddenCount()};
    stream.write(counts, sizeof counts);
    writeFloats(stream, model.visibleBias);
    writeFloats(stream, model.hiddenBias);
    writeFloats(stream, model.visibleSigma);
    for (const std::vector<float>& row : model.weights)
        writeFloats(stream, row);
    return stream;
}
