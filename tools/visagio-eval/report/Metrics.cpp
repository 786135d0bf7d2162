#include "report/Metrics.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace eval {

namespace {

// Number of values of an ascending list that are strictly above `threshold`.
std::size_t countAbove(const std::vector<double>& sorted, double threshold)
{
    return static_cast<std::size_t>(sorted.end() - std::upper_bound(sorted.begin(), sorted.end(), threshold));
}

double share(std::size_t count, std::size_t total)
{
    return static_cast<double>(count) / static_cast<double>(total);
}

// True when b lies on the straight horizontal or vertical run from a to c.
bool insideRun(const RocPoint& a, const RocPoint& b, const RocPoint& c)
{
    const bool horizontal = a.tar == b.tar && b.tar == c.tar;
    const bool vertical = a.far == b.far && b.far == c.far;
    return horizontal || vertical;
}

} // namespace

Metrics::Metrics(std::vector<double> genuine, std::vector<double> impostor)
    : genuineScores(std::move(genuine)), impostorScores(std::move(impostor))
{
    if (genuineScores.empty())
        throw std::invalid_argument("no genuine trials");
    if (impostorScores.empty())
        throw std::invalid_argument("no impostor trials");
    std::sort(genuineScores.begin(), genuineScores.end());
    std::sort(impostorScores.begin(), impostorScores.end());
}

double Metrics::falseAcceptRate(double threshold) const
{
    return share(countAbove(impostorScores, threshold), impostorScores.size());
}

double Metrics::falseRejectRate(double threshold) const
{
    return 1.0 - share(countAbove(genuineScores, threshold), genuineScores.size());
}

// Every distinct score is a threshold: accepting the scores above it. Sweeping them from the
// highest down walks from (0, 0) to the last but one point; minus infinity accepts all.
std::vector<RocPoint> Metrics::allPoints() const
{
    std::vector<double> thresholds = genuineScores;
    thresholds.insert(thresholds.end(), impostorScores.begin(), impostorScores.end());
    std::sort(thresholds.begin(), thresholds.end(), std::greater<double>());
    thresholds.erase(std::unique(thresholds.begin(), thresholds.end()), thresholds.end());
    thresholds.push_back(-std::numeric_limits<double>::infinity());
    std::vector<RocPoint> points;
    points.reserve(thresholds.size());
    for (double threshold : thresholds)
        points.push_back({threshold, falseAcceptRate(threshold), 1.0 - falseRejectRate(threshold)});
    return points;
}

std::vector<RocPoint> Metrics::roc() const
{
    const std::vector<RocPoint> points = allPoints();
    std::vector<RocPoint> kept;
    for (std::size_t k = 0; k < points.size(); ++k) {
        const bool inner = k > 0 && k + 1 < points.size();
        if (inner && insideRun(kept.back(), points[k], points[k + 1]))
            continue;
        kept.push_back(points[k]);
    }
    return kept;
}

double Metrics::equalErrorRate() const
{
    const std::vector<RocPoint> points = roc();
    for (std::size_t k = 1; k < points.size(); ++k) {
        const double far = points[k].far;
        const double frr = 1.0 - points[k].tar;
        if (far < frr)
            continue;
        const double farBefore = points[k - 1].far;
        const double frrBefore = 1.0 - points[k - 1].tar;
        const double gapBefore = frrBefore - farBefore;
        const double s = gapBefore / (gapBefore + (far - frr));
        return farBefore + s * (far - farBefore);
    }
    return 1.0; // not reached: the last point has FAR 1 and FRR 0
}

double Metrics::tarAtFar(double far) const
{
    double best = 0.0;
    for (const RocPoint& point : roc())
        if (point.far <= far)
            best = std::max(best, point.tar);
    return best;
}

double Metrics::areaUnderCurve() const
{
    double wins = 0.0;
    for (double g : genuineScores) {
        const auto below = std::lower_bound(impostorScores.begin(), impostorScores.end(), g);
        const auto notAbove = std::upper_bound(below, impostorScores.end(), g);
        wins += static_cast<double>(below - impostorScores.begin()) + 0.5 * static_cast<double>(notAbove - below);
    }
    return wins / (static_cast<double>(genuineScores.size()) * static_cast<double>(impostorScores.size()));
}

} // namespace eval
