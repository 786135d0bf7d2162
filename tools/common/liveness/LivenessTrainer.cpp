#include "LivenessTrainer.h"

#include "LivenessFeatures.h"

#include <cmath>
#include <stdexcept>

namespace {
constexpr int kNewtonSteps = 12;
constexpr double kConverged = 1e-4;
// Below this spread a feature is taken as constant.
constexpr double kMinSpread = 1e-9;

// Mean and spread in two passes: a constant feature gets a spread of exactly 0 (and a scale of
// 1), where E[x^2] - E[x]^2 would leave a rounding residue whose root could scale it by 1e8.
void standardise(const std::vector<const LivenessFace*>& faces, LivenessModel& model)
{
    const std::size_t d = faces.front()->features.size();
    const double n = double(faces.size());
    model.mean.assign(d, 0.0f);
    model.scale.assign(d, 1.0f);
    for (std::size_t j = 0; j < d; ++j) {
        double sum = 0.0;
        for (const LivenessFace* face : faces)
            sum += face->features[j];
        const double mean = sum / n;
        double squares = 0.0;
        for (const LivenessFace* face : faces)
            squares += (face->features[j] - mean) * (face->features[j] - mean);
        const double spread = std::sqrt(squares / n);
        model.mean[j] = float(mean);
        model.scale[j] = spread > kMinSpread ? float(1.0 / spread) : 1.0f;
    }
}
} // namespace

LivenessModel trainLiveness(const std::vector<const LivenessFace*>& faces, double l2)
{
    int live = 0;
    for (const LivenessFace* face : faces)
        live += face->live ? 1 : 0;
    const int photos = static_cast<int>(faces.size()) - live;
    if (live == 0 || photos == 0)
        throw std::invalid_argument("liveness training needs live faces and photographs");
    LivenessModel model;
    model.featureSet = kLivenessFeatureSet;
    standardise(faces, model);

    // Rows: the standardised features and a 1 for the bias.
    const int n = static_cast<int>(faces.size());
    const int d = static_cast<int>(model.mean.size());
    cv::Mat z(n, d + 1, CV_64F);
    cv::Mat y(n, 1, CV_64F);
    cv::Mat weight(n, 1, CV_64F);
    for (int i = 0; i < n; ++i) {
        double* row = z.ptr<double>(i);
        for (int j = 0; j < d; ++j)
            row[j] = (double(faces[i]->features[j]) - model.mean[j]) * model.scale[j];
        row[d] = 1.0;
        y.at<double>(i) = faces[i]->live ? 1.0 : 0.0;
        weight.at<double>(i) = 0.5 * n / (faces[i]->live ? live : photos);
    }
    cv::Mat penalty = cv::Mat::eye(d + 1, d + 1, CV_64F) * l2;
    penalty.at<double>(d, d) = 0.0;
    cv::Mat beta = cv::Mat::zeros(d + 1, 1, CV_64F);
    for (int step = 0; step < kNewtonSteps; ++step) {
        cv::Mat eta = z * beta;
        cv::Mat residual(n, 1, CV_64F);
        cv::Mat curvature(n, 1, CV_64F);
        for (int i = 0; i < n; ++i) {
            const double p = 1.0 / (1.0 + std::exp(-eta.at<double>(i)));
            residual.at<double>(i) = weight.at<double>(i) * (p - y.at<double>(i));
            curvature.at<double>(i) = weight.at<double>(i) * p * (1.0 - p);
        }
        const cv::Mat gradient = z.t() * residual + penalty * beta;
        cv::Mat weighted = z.clone();
        for (int i = 0; i < n; ++i)
            weighted.row(i) *= curvature.at<double>(i);
        const cv::Mat hessian = z.t() * weighted + penalty;
        cv::Mat change;
        cv::solve(hessian, gradient, change, cv::DECOMP_CHOLESKY);
        beta -= change;
        if (cv::norm(change, cv::NORM_INF) < kConverged)
            break;
    }
    model.weights.assign(beta.ptr<double>(0), beta.ptr<double>(0) + d);
    model.bias = float(beta.at<double>(d));
    model.threshold = 0.0f;
    return model;
}

std::vector<float> livenessMargins(const LivenessModel& model, const std::vector<const LivenessFace*>& faces)
{
    std::vector<float> margins;
    margins.reserve(faces.size());
    for (const LivenessFace* face : faces)
        margins.push_back(model.margin(face->features));
    return margins;
}
