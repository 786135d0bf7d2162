#include "GrbmTrainer.h"

#include <Eigen/Eigenvalues>

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace {
// A pixel whose spread over the training faces is below this is constant (the masked
// corners): it gets sigma 1 and no weights.
constexpr float kDeadSpread = 1e-4f;
constexpr float kMinSigma = 0.05f;
// Principal start: each hidden input has this spread over the training faces.
constexpr float kPrincipalInputSpread = 2.0f;
constexpr float kRandomWeightSpread = 0.01f;

RowMatrix logistic(const RowMatrix& x)
{
    return (1.0f + (-x.array()).exp()).inverse().matrix();
}
} // namespace

GrbmTrainer::GrbmTrainer(RowMatrix trainingData, const GrbmTrainingOptions& trainingOptions)
    : data(std::move(trainingData)), options(trainingOptions), random(trainingOptions.seed)
{
    if (data.rows() == 0)
        throw std::invalid_argument("training needs at least one face vector");
}

void GrbmTrainer::initialise()
{
    const int nv = static_cast<int>(data.cols());
    params = GrbmParameters::zeros(nv, options.hiddenCount);
    params.visibleBias = data.colwise().mean().transpose();
    const RowMatrix centred = data.rowwise() - params.visibleBias.transpose();
    const Eigen::VectorXf spread =
        (centred.colwise().squaredNorm() / static_cast<float>(data.rows())).cwiseSqrt().transpose();
    livePixels = Eigen::VectorXf::Zero(nv);
    for (int i = 0; i < nv; ++i) {
        const bool live = spread[i] > kDeadSpread;
        livePixels[i] = live ? 1.0f : 0.0f;
        params.visibleSigma[i] = live ? std::max(spread[i], kMinSigma) : 1.0f;
    }
    if (options.principalInit)
        initialisePrincipal();
    else
        initialiseRandom();
    clearDeadPixels();
    const Eigen::VectorXf meanInput =
        params.weights * params.visibleSigma.cwiseInverse().cwiseProduct(params.visibleBias);
    params.hiddenBias = -meanInput;
    weightVelocity = RowMatrix::Zero(params.hiddenCount(), nv);
    visibleVelocity = Eigen::VectorXf::Zero(nv);
    hiddenVelocity = Eigen::VectorXf::Zero(params.hiddenCount());
}

void GrbmTrainer::initialisePrincipal()
{
    const Eigen::VectorXf inverseSigma = params.visibleSigma.cwiseInverse();
    const RowMatrix scaled = (data.rowwise() - params.visibleBias.transpose()) * inverseSigma.asDiagonal();
    const float n = static_cast<float>(data.rows());
    const Eigen::Index nv = scaled.cols();
    // With fewer faces than pixels the small Gram matrix has the same leading components.
    const bool gram = scaled.rows() < nv;
    const Eigen::MatrixXf product = gram ? Eigen::MatrixXf(scaled * scaled.transpose() / n)
                                         : Eigen::MatrixXf(scaled.transpose() * scaled / n);
    Eigen::SelfAdjointEigenSolver<Eigen::MatrixXf> solver(product);
    const Eigen::Index count = std::min<Eigen::Index>(options.hiddenCount, product.rows());
    for (Eigen::Index j = 0; j < count; ++j) {
        const Eigen::Index column = product.rows() - 1 - j;
        const float variance = std::max(solver.eigenvalues()[column], 1e-6f);
        Eigen::VectorXf direction = gram ? Eigen::VectorXf(scaled.transpose() * solver.eigenvectors().col(column))
                                         : Eigen::VectorXf(solver.eigenvectors().col(column));
        direction.normalize();
        // Fix the sign so that the result does not depend on the solver's choice.
        Eigen::Index largest = 0;
        direction.cwiseAbs().maxCoeff(&largest);
        if (direction[largest] < 0)
            direction = -direction;
        params.weights.row(j) = direction.transpose() * (kPrincipalInputSpread / std::sqrt(variance));
    }
}

void GrbmTrainer::initialiseRandom()
{
    std::normal_distribution<float> normal(0.0f, kRandomWeightSpread);
    for (Eigen::Index j = 0; j < params.weights.rows(); ++j)
        for (Eigen::Index i = 0; i < params.weights.cols(); ++i)
            params.weights(j, i) = normal(random);
}

void GrbmTrainer::clearDeadPixels()
{
    params.weights = params.weights * livePixels.asDiagonal();
}

float GrbmTrainer::trainEpoch()
{
    std::vector<Eigen::Index> order(static_cast<size_t>(data.rows()));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);
    double errorSum = 0.0;
    Eigen::Index rows = 0;
    for (size_t start = 0; start < order.size(); start += static_cast<size_t>(options.batchSize)) {
        const size_t end = std::min(order.size(), start + static_cast<size_t>(options.batchSize));
        RowMatrix batch(static_cast<Eigen::Index>(end - start), data.cols());
        for (size_t k = start; k < end; ++k)
            batch.row(static_cast<Eigen::Index>(k - start)) = data.row(order[k]);
        errorSum += static_cast<double>(trainBatch(batch)) * static_cast<double>(batch.rows());
        rows += batch.rows();
    }
    return static_cast<float>(errorSum / static_cast<double>(rows));
}

float GrbmTrainer::trainBatch(const RowMatrix& batch)
{
    const float m = static_cast<float>(batch.rows());
    const Eigen::VectorXf inverseSigma = params.visibleSigma.cwiseInverse();
    const RowMatrix x0 = batch * inverseSigma.asDiagonal();
    RowMatrix p0 = logistic((x0 * params.weights.transpose()).rowwise() + params.hiddenBias.transpose());
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    RowMatrix h0(p0.rows(), p0.cols());
    for (Eigen::Index k = 0; k < p0.rows(); ++k)
        for (Eigen::Index j = 0; j < p0.cols(); ++j)
            h0(k, j) = unit(random) < p0(k, j) ? 1.0f : 0.0f;
    RowMatrix v1 = (h0 * params.weights) * params.visibleSigma.asDiagonal();
    v1.rowwise() += params.visibleBias.transpose();
    v1 = v1 * livePixels.asDiagonal();
    const RowMatrix x1 = v1 * inverseSigma.asDiagonal();
    const RowMatrix p1 = logistic((x1 * params.weights.transpose()).rowwise() + params.hiddenBias.transpose());

    const RowMatrix gradW = (p0.transpose() * x0 - p1.transpose() * x1) / m - options.weightDecay * params.weights;
    const Eigen::VectorXf gradA =
        ((batch - v1).colwise().sum().transpose().cwiseProduct(inverseSigma.cwiseAbs2())) / m;
    const Eigen::VectorXf gradB = (p0 - p1).colwise().sum().transpose() / m;
    weightVelocity = options.momentum * weightVelocity + options.learningRate * gradW;
    visibleVelocity = options.momentum * visibleVelocity + options.learningRate * gradA;
    hiddenVelocity = options.momentum * hiddenVelocity + options.learningRate * gradB;
    params.weights += weightVelocity;
    params.visibleBias += visibleVelocity.cwiseProduct(livePixels);
    params.hiddenBias += hiddenVelocity;
    clearDeadPixels();

    const RowMatrix meanField = (p0 * params.weights) * params.visibleSigma.asDiagonal();
    const RowMatrix residual = (batch.rowwise() - params.visibleBias.transpose()) - meanField * livePixels.asDiagonal();
    return residual.squaredNorm() / (m * static_cast<float>(batch.cols()));
}

float GrbmTrainer::reconstructionError() const
{
    const Eigen::VectorXf inverseSigma = params.visibleSigma.cwiseInverse();
    const RowMatrix p = logistic((data * inverseSigma.asDiagonal() * params.weights.transpose()).rowwise() +
                                 params.hiddenBias.transpose());
    const RowMatrix reconstruction = (p * params.weights) * params.visibleSigma.asDiagonal() * livePixels.asDiagonal();
    const RowMatrix residual = (data.rowwise() - params.visibleBias.transpose()) - reconstruction;
    return residual.squaredNorm() / static_cast<float>(data.rows() * data.cols());
}
