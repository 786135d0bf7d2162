#pragma once

#include <opencv2/core.hpp>

#include <optional>
#include <string>
#include <vector>

namespace eval {

// A face-resnet embedding of a face's chip (FaceResnet::kEmbeddingSize values); empty when the
// run computed none.
using Embedding = std::vector<float>;

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

    // The same two with each face's embedding beside its sample. A method on the embeddings
    // overrides them; any other scores the samples alone.
    // Requires: embeddings empty or parallel to groups, each the mean of the chip's and its
    //           mirror image's embeddings (as the window enrols).
    virtual void enrolFaces(const std::vector<std::vector<cv::Mat>>& groups,
                            const std::vector<std::vector<Embedding>>& /*embeddings*/, unsigned seed)
    {
        enrolGroups(groups, seed);
    }
    // Requires: embedding empty or that of the sample's chip alone (as the window verifies).
    virtual double scoreFace(const cv::Mat& sample, const Embedding& /*embedding*/) { return score(sample); }
};

} // namespace eval
