#include "FaceVectors.h"

#include "FaceGeometry.h"
#include "FaceVector.h"
#include "ForeignFaces.h"

RowMatrix FaceVectors::of(const SampleSet& samples)
{
    const cv::Size size(kSampleWidth, kSampleHeight);
    const cv::Mat mask = createFaceMask(size, 1);
    RowMatrix vectors(samples.size(), size.area());
    for (int k = 0; k < samples.size(); ++k) {
        cv::Mat image = samples.sample(k).clone();
        const std::vector<float> vector = maskedFaceVector(image, mask);
        vectors.row(k) = Eigen::Map<const Eigen::RowVectorXf>(vector.data(), size.area());
    }
    return vectors;
}

RowMatrix FaceVectors::mirrored(const RowMatrix& vectors)
{
    constexpr int w = kSampleWidth;
    constexpr int h = kSampleHeight;
    RowMatrix result = vectors;
    for (Eigen::Index k = 0; k < vectors.rows(); ++k)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                result(k, y * w + x) = vectors(k, y * w + (w - 1 - x));
    return result;
}

RowMatrix FaceVectors::cohort(const std::string& root, LightNormalisation light)
{
    RandomSource random;
    const std::vector<std::vector<float>> faces = readForeignFaces(QString::fromStdString(root), random, light);
    RowMatrix vectors(static_cast<Eigen::Index>(faces.size()), kSampleWidth * kSampleHeight);
    for (size_t k = 0; k < faces.size(); ++k)
        vectors.row(static_cast<Eigen::Index>(k)) =
            Eigen::Map<const Eigen::RowVectorXf>(faces[k].data(), static_cast<Eigen::Index>(faces[k].size()));
    return vectors;
}
