#include "scorers/ResnetScorer.h"

#include "Confidence.h"
#include "RunFolder.h"

#include <stdexcept>

namespace eval {

namespace {
const char* const kNoEmbeddings = "the resnet method needs embeddings: the capture computed none";
} // namespace

ResnetScorer::ResnetScorer() : matcher(kResnetFolder)
{
}

std::optional<double> ResnetScorer::decisionThreshold() const
{
    return kLockThreshold;
}

void ResnetScorer::enrol(const std::vector<cv::Mat>&, unsigned)
{
    throw std::logic_error(kNoEmbeddings);
}

double ResnetScorer::score(const cv::Mat&)
{
    throw std::logic_error(kNoEmbeddings);
}

void ResnetScorer::enrolFaces(const std::vector<std::vector<cv::Mat>>& groups,
                              const std::vector<std::vector<Embedding>>& embeddings, unsigned)
{
    if (embeddings.size() != groups.size())
        throw std::logic_error(kNoEmbeddings);
    while (matcher.groupCount() > 0)
        matcher.removeGroup(0);
    for (const std::vector<Embedding>& group : embeddings)
        matcher.addGroup(group);
    matcher.train();
}

double ResnetScorer::scoreFace(const cv::Mat&, const Embedding& embedding)
{
    if (embedding.empty())
        throw std::logic_error(kNoEmbeddings);
    return matcher.verify(embedding);
}

} // namespace eval
