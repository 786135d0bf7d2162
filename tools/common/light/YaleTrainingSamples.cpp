#include "YaleTrainingSamples.h"

namespace {
// Spreads the crops' movement seeds apart.
constexpr unsigned kCropSeedStride = 7919u;
} // namespace

std::vector<YalePerson> YaleTrainingSamples::part(const std::string& yaleDir, bool tuning)
{
    std::vector<YalePerson> half = YaleCrops::trainingHalf(yaleDir);
    const auto middle = half.begin() + static_cast<long>((half.size() + 1) / 2);
    return tuning ? std::vector<YalePerson>(half.begin(), middle) : std::vector<YalePerson>(middle, half.end());
}

SampleSet YaleTrainingSamples::cut(const std::vector<YalePerson>& people, int copies, unsigned seed)
{
    SampleSet set;
    int source = 0;
    for (const YalePerson& person : people)
        for (const cv::Mat& crop : person.crops) {
            const unsigned cropSeed = seed * kCropSeedStride + static_cast<unsigned>(source);
            for (const cv::Mat& sample : YaleCrops::enrolmentGroup(crop, 1 + copies, cropSeed))
                set.add(sample, person.name, source);
            ++source;
        }
    return set;
}
