#pragma once

#include <cstddef>
#include <vector>

namespace eval {

// One operating point of a verifier: trials scoring above `threshold` are accepted.
struct RocPoint
{
    double threshold = 0.0;
    double far = 0.0; // share of impostor trials accepted
    double tar = 0.0; // share of genuine trials accepted (1 - FRR)
};

// Error rates of a verifier from the scores of its genuine trials (the owner) and impostor
// trials (anyone else). A higher score means "more like the owner" and a trial is accepted
// when its score is strictly above the threshold, as the window accepts a face only above
// 0.99. Methods that measure a distance enter with the negated distance.
class Metrics
{
public:
    // Requires: neither list is empty.
    // Throws:   std::invalid_argument("no genuine trials") / ("no impostor trials").
    Metrics(std::vector<double> genuine, std::vector<double> impostor);

    // Ensures: share of impostor scores > threshold.
    double falseAcceptRate(double threshold) const;
    // Ensures: share of genuine scores <= threshold.
    double falseRejectRate(double threshold) const;

    // The rate at which false accepts equal false rejects: where the error curve, drawn as
    // straight lines between the operating points, crosses FAR = FRR.
    double equalErrorRate() const;
    // The highest share of genuine trials accepted at a threshold that accepts at most
    // `far` of the impostor trials (no interpolation between operating points).
    double tarAtFar(double far) const;
    // Area under the ROC curve: the chance that a random genuine trial scores above a random
    // impostor trial, a tie counting one half. 1 for a perfect ranking, 0 for a reversed one.
    double areaUnderCurve() const;

    // The operating points from "accept nothing" (0, 0) to "accept everything" (1, 1) in
    // order of rising FAR; points that lie inside a straight horizontal or vertical run are
    // left out, so the staircase is complete but short. The first threshold is the highest
    // score, the last one minus infinity.
    std::vector<RocPoint> roc() const;

    std::size_t genuineCount() const { return genuineScores.size(); }
    std::size_t impostorCount() const { return impostorScores.size(); }

private:
    std::vector<RocPoint> allPoints() const;

    std::vector<double> genuineScores;  // sorted ascending
    std::vector<double> impostorScores; // sorted ascending
};

} // namespace eval
