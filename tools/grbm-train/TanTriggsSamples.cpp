#include "TanTriggsSamples.h"

#include "FaceGeometry.h"
#include "FaceVector.h"
#include "TanTriggs.h"

cv::Mat TanTriggsSamples::normalisedSample(const cv::Mat& sample)
{
    static const cv::Mat mask = createFaceMask(kSampleSize, 1);
    return TanTriggs::normaliseFace(sample, mask);
}

SampleSet TanTriggsSamples::normalised(const SampleSet& samples)
{
    return samples.changed(normalisedSample);
}
