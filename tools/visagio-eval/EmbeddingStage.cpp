#include "EmbeddingStage.h"

#include "RunFolder.h"
#include "SampleCutter.h"

namespace eval {

namespace {
EmbeddingStage::Chips runChips = EmbeddingStage::Chips::Landmarks;

FaceChip chipCutter()
{
    if (runChips == EmbeddingStage::Chips::EyeSearch)
        return FaceChip(SampleCutter::defaultChipEyeCascade());
    return FaceChip();
}

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
    aligned += other.aligned;
}

void EmbeddingStage::useChips(Chips chips)
{
    runChips = chips;
}

EmbeddingStage::EmbeddingStage()
    : chips(chipCutter()),
      groupChips(runChips == Chips::EyeSearchEnrolled
                     ? std::make_unique<FaceChip>(SampleCutter::defaultChipEyeCascade())
                     : nullptr),
      matcher(kResnetFolder)
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
    stageStats.aligned += chips.aligned() ? 1 : 0;
    return chip;
}

cv::Mat EmbeddingStage::cutGroupChip(const cv::Mat& frame, const cv::Rect& face)
{
    return groupChips ? groupChips->cut(frame, face) : cutChip(frame, face);
}

std::optional<HeadPose> EmbeddingStage::lastPose() const
{
    return chips.lastLandmarks() ? headPose(*chips.lastLandmarks()) : std::nullopt;
}

bool EmbeddingStage::groupChipsDiffer() const
{
    return groupChips != nullptr;
}

} // namespace eval
