#include "TanTriggsSamples.h"

#include "FaceGeometry.h"
#include "FaceVectors.h"
#include "TanTriggs.h"

namespace {
constexpr double kGreyPerDeviation = 40.0;
constexpr double kMidGrey = 128.0;
} // namespace

SampleSet TanTriggsSamples::normalised(const SampleSet& samples)
{
    SampleSet result;
    for (int k = 0; k < samples.size(); ++k) {
        const int p = samples.person(k);
        result.add(TanTriggs::normaliseGrey(samples.sample(k)),
                   p < 0 ? std::string() : samples.personNames()[static_cast<size_t>(p)], samples.source(k));
    }
    return result;
}

RowMatrix TanTriggsSamples::normalisedCohort(const RowMatrix& cohort)
{
    SampleSet faces;
    for (Eigen::Index k = 0; k < cohort.rows(); ++k) {
        const Eigen::RowVectorXf row = cohort.row(k);
        const cv::Mat values(kSampleHeight, kSampleWidth, CV_32F, const_cast<float*>(row.data()));
        cv::Mat grey;
        values.convertTo(grey, CV_8U, kGreyPerDeviation, kMidGrey);
        faces.add(TanTriggs::normaliseGrey(grey), std::string(), 0);
    }
    return FaceVectors::of(faces);
}
