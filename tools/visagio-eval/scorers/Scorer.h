#pragma once

#include <opencv2/core.hpp>

#include <optional>
#include <string>
#include <vector>

namespace eval {

// One verification method under evaluation: it learns an owner from an enrolment group and
// then scores faces against that owner. A higher score means "more like the owner"; methods
// that measure a distance return it negated.
class Scorer
{
public:
    virtual ~Scorer() = default;

    virtual std::string name() const = 0;
    // The method's own accept threshold (accept above it), when it has one.
    virtual std::optional<double> decisionThreshold() const { return std::nullopt; }

    // Requires: group not empty, 35 x 45 CV_8UC1 samples (left unchanged).
    // Ensures:  the owner is learned from the group alone; `seed` drives any random choice.
    virtual void enrol(const std::vector<cv::Mat>& group, unsigned seed) = 0;
    // The owner learned from several enrolment groups; by default from all their samples as
    // one group.
    virtual void enrolGroups(const std::vector<std::vector<cv::Mat>>& groups, unsigned seed)
    {
        std::vector<cv::Mat> all;
        for (const auto& group : groups)
            all.insert(all.end(), group.begin(), group.end());
        enrol(all, seed);
    }
    // Requires: enrol() was called; sample 35 x 45 CV_8UC1 (left unchanged).
    virtual double score(const cv::Mat& sample) = 0;
};

} // namespace eval
