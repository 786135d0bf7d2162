#include "GrbmParameters.h"

#include "File.h"
#include "GaussianRbm.h"

GrbmParameters GrbmParameters::zeros(int visibleCount, int hiddenCount)
{
    GrbmParameters p;
    p.weights = RowMatrix::Zero(hiddenCount, visibleCount);
    p.visibleBias = Eigen::VectorXf::Zero(visibleCount);
    p.hiddenBias = Eigen::VectorXf::Zero(hiddenCount);
    p.visibleSigma = Eigen::VectorXf::Ones(visibleCount);
    return p;
}

RowMatrix GrbmParameters::features(const RowMatrix& vectors) const
{
    const Eigen::VectorXf inverseSigma = visibleSigma.cwiseInverse();
    const RowMatrix scaled = weights * inverseSigma.asDiagonal();
    RowMatrix result = vectors * scaled.transpose();
    result.rowwise() += hiddenBias.transpose();
    return result;
}

void GrbmParameters::scale(float alpha)
{
    weights *= alpha;
    hiddenBias *= alpha;
}

GaussianRbm GrbmParameters::toRbm() const
{
    GaussianRbm rbm(visibleCount(), hiddenCount());
    for (int i = 0; i < visibleCount(); ++i) {
        rbm.visibleBias[static_cast<size_t>(i)] = visibleBias[i];
        rbm.visibleSigma[static_cast<size_t>(i)] = visibleSigma[i];
    }
    for (int j = 0; j < hiddenCount(); ++j) {
        rbm.hiddenBias[static_cast<size_t>(j)] = hiddenBias[j];
        for (int i = 0; i < visibleCount(); ++i)
            rbm.weights[static_cast<size_t>(j)][static_cast<size_t>(i)] = weights(j, i);
    }
    return rbm;
}

GrbmParameters GrbmParameters::fromRbm(const GaussianRbm& rbm)
{
    GrbmParameters p = zeros(rbm.visibleCount(), rbm.hiddenCount());
    for (int i = 0; i < rbm.visibleCount(); ++i) {
        p.visibleBias[i] = rbm.visibleBias[static_cast<size_t>(i)];
        p.visibleSigma[i] = rbm.visibleSigma[static_cast<size_t>(i)];
    }
    for (int j = 0; j < rbm.hiddenCount(); ++j) {
        p.hiddenBias[j] = rbm.hiddenBias[static_cast<size_t>(j)];
        for (int i = 0; i < rbm.visibleCount(); ++i)
            p.weights(j, i) = rbm.weights[static_cast<size_t>(j)][static_cast<size_t>(i)];
    }
    return p;
}

void GrbmParameters::save(const std::string& path) const
{
    const GaussianRbm rbm = toRbm();
    File file(path);
    file.openWrite();
    file << rbm;
    file.close();
}

GrbmParameters GrbmParameters::load(const std::string& path)
{
    GaussianRbm rbm(1, 1);
    File file(path);
    file.openRead();
    file >> rbm;
    file.close();
    return fromRbm(rbm);
}
