#include "Errors.h"
#include "FaceLight.h"
#include "LivenessCheck.h"
#include "LivenessFeatures.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>

// The pattern histogram's rule: a flat patch is one uniform pattern (every neighbour at least
// the centre), a checkerboard alternates it with a pattern of eight changes (non-uniform).
TEST(LivenessCheckTest, PatternHistogramsCountUniformAndOtherPatterns)
{
    const std::vector<float> flat = uniformLbpHistogram(cv::Mat(8, 8, CV_8UC1, cv::Scalar(90)));
    EXPECT_FLOAT_EQ(flat[kLbpBins - 2], 1.0f);
    cv::Mat board(8, 8, CV_8UC1);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            board.at<uchar>(y, x) = (x + y) % 2 ? 255 : 0;
    const std::vector<float> checked = uniformLbpHistogram(board);
    EXPECT_FLOAT_EQ(checked[kLbpBins - 2], 0.5f);
    EXPECT_FLOAT_EQ(checked[kLbpBins - 1], 0.5f);

    cv::Mat frame(240, 320, CV_8UC3);
    cv::randu(frame, 0, 256);
    const std::vector<float> features = livenessFeatures(frame, cv::Rect(100, 60, 120, 120));
    ASSERT_EQ(features.size(), std::size_t(kLivenessFeatureCount));
    for (int histogram = 0; histogram < kLivenessScales * kLivenessChannels; ++histogram)
        EXPECT_NEAR(std::accumulate(features.begin() + histogram * kLbpBins,
                                    features.begin() + (histogram + 1) * kLbpBins, 0.0),
                    1.0, 1e-4);
    EXPECT_THROW(livenessFeatures(cv::Mat(240, 320, CV_8UC1), cv::Rect(100, 60, 120, 120)), std::logic_error);
}

// A face too dark, burnt out or lit from behind is not judged; an ordinary one is.
TEST(LivenessCheckTest, LightProblemsAreTold)
{
    const cv::Rect face(100, 60, 120, 120);
    const auto problem = [&](double surround, double faceLuma, double clipped) {
        cv::Mat frame(240, 320, CV_8UC3, cv::Scalar::all(surround));
        frame(face).setTo(cv::Scalar::all(faceLuma));
        frame(cv::Rect(face.x, face.y, face.width, int(clipped * face.height))).setTo(cv::Scalar::all(255));
        return FaceLight::measure(frame, face).problem();
    };
    EXPECT_EQ(problem(100, 120, 0.0), FaceLight::Problem::None);
    EXPECT_EQ(problem(100, 20, 0.0), FaceLight::Problem::Dark);
    EXPECT_EQ(problem(100, 160, 0.5), FaceLight::Problem::Overexposed);
    EXPECT_EQ(problem(230, 60, 0.0), FaceLight::Problem::Backlit);
}

// The shipped classifier loads; one made for other features is refused, naming its file.
TEST(LivenessCheckTest, ModelForOtherFeaturesIsRefused)
{
    const QString shipped = kLivenessModelPath;
    EXPECT_NO_THROW(LivenessCheck{shipped});
    QTemporaryDir dir;
    LivenessModel other = LivenessModel::read(shipped);
    other.featureSet = "grey-lbp";
    const QString path = dir.filePath("other.model");
    other.write(path);
    try {
        LivenessCheck check(path);
        FAIL() << "a model of other features was taken";
    } catch (const e_logic_argument& error) {
        EXPECT_NE(error.message().find(path.toStdString() + ": made for other features"), std::string::npos)
            << error.message();
    }
}
