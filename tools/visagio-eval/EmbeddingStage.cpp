#include "EmbeddingStage.h"

#include "RunFolder.h"
#include "SampleCutter.h"

namespace eval {

namespace {
void addTo(StageTime& to, const StageTime& from)
{
    to.seconds += from.seconds;
    to.calls += from.calls;
}
} // namespace

void EmbeddingStats::add(const EmbeddingStats& other)
{
    addTo(chip, other.chip);
    addTo(single, other.single);
    addTo(mirrored, other.mirrored);
    alignedByEyes += other.alignedByEyes;
}

EmbeddingStage::EmbeddingStage() : chips(SampleCutter::defaultChipEyeCascade()), matcher(kResnetFolder)
{
}

Embedding EmbeddingStage::embedFace(const cv::Mat& frame, const cv::Rect& face, bool withMirror)
{
    return embedChip(cutChip(frame, face), withMirror);
}

Embedding EmbeddingStage::embedChip(const cv::Mat& chip, bool withMirror)
{
    StageTime& time = withMirror ? stageStats.mirrored : stageStats.single;
    return time.measure([&] { return matcher.embed(chip, withMirror); });
}

cv::Mat EmbeddingStage::cutChip(const cv::Mat& frame, const cv::Rect& face)
{
    cv::Mat chip = stageStats.chip.measure([&] { return chips.cut(frame, face); });
    stageStats.alignedByEyes += chips.alignedByEyes() ? 1 : 0;
    return chip;
}

} // namespace eval
