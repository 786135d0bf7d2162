#include "TanTriggsSamples.h"

#include "FaceGeometry.h"
#include "FaceVector.h"
#include "TanTriggs.h"

cv::Mat TanTriggsSamples::normalisedSample(const cv::Mat& sample)
{
    static const cv::Mat mask = createFaceMask(kSampleSize, 1);
    return TanTriggs::normaliseFace(sample, mask);
}

SampleSet::Change TanTriggsSamples::preparationFor(LightNormalisation light)
{
    return light == LightNormalisation::TanTriggs ? SampleSet::Change(normalisedSample) : SampleSet::Change();
}
