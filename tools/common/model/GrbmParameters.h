#pragma once

#include <Eigen/Dense>

#include <string>

class GaussianRbm;

using RowMatrix = Eigen::Matrix<float, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// The parameters of a Gaussian-Bernoulli RBM in Eigen form, for training and evaluation:
// weights (hidden x visible, row j = hidden unit j), the biases and each visible unit's sigma.
// Converts to and from the program's GaussianRbm and writes the program's model file.
struct GrbmParameters
{
    RowMatrix weights;
    Eigen::VectorXf visibleBias;
    Eigen::VectorXf hiddenBias;
    Eigen::VectorXf visibleSigma;

    int visibleCount() const { return static_cast<int>(weights.cols()); }
    int hiddenCount() const { return static_cast<int>(weights.rows()); }

    // Ensures: all-zero weights and biases, sigma 1.
    static GrbmParameters zeros(int visibleCount, int hiddenCount);

    // The hidden pre-activations of every row of `vectors` (n x visible): row k, unit j is
    // hiddenBias[j] + sum_i weights[j][i] * vectors[k][i] / visibleSigma[i], as the matcher
    // computes them (here in float arithmetic; the matcher accumulates in double).
    RowMatrix features(const RowMatrix& vectors) const;

    // Scales weights and hidden biases by alpha: every feature, and so every verification
    // distance, is multiplied by alpha; the quality weights stay unchanged.
    void scale(float alpha);

    GaussianRbm toRbm() const;
    static GrbmParameters fromRbm(const GaussianRbm& rbm);

    // Writes / reads the program's model file through its own File stream and operators.
    // Throws: the stream's e_default errors on a failing file.
    void save(const std::string& path) const;
    static GrbmParameters load(const std::string& path);
};
