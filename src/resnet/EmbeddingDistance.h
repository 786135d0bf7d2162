#pragma once

#include "ResnetCalibration.h"

#include <cmath>
#include <stdexcept>
#include <vector>

// The distance of two embeddings of equal length: 1 - cos(a, b), or |a - b|; sums in double.
// Two zero vectors are at cosine distance 1.
// Throws: std::logic_error("embeddings of different lengths") otherwise.
inline float embeddingDistance(ResnetCalibration::Distance kind, const std::vector<float>& a,
                               const std::vector<float>& b)
{
    if (a.size() != b.size())
        throw std::logic_error("embeddings of different lengths");
    double dot = 0.0, aa = 0.0, bb = 0.0, squares = 0.0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        dot += double(a[i]) * b[i];
        aa += double(a[i]) * a[i];
        bb += double(b[i]) * b[i];
        const double d = double(a[i]) - b[i];
        squares += d * d;
    }
    if (kind == ResnetCalibration::Distance::Euclidean)
        return float(std::sqrt(squares));
    const double norms = std::sqrt(aa * bb);
    return norms > 0.0 ? float(1.0 - dot / norms) : 1.0f;
}
