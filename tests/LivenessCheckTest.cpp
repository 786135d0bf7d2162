#include "Errors.h"
#include "FaceLight.h"
#include "LivenessCheck.h"
#include "LivenessFeatures.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <numeric>
#include <vector>
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

// The chroma channels follow a BGR frame's red channel as YCrCb defines them: Y, Cr and V rise
// with red, Cb falls. A face box of the finer scale's side is not resampled, and red levels 32
// apart stay apart in every channel, so each histogram is that of red or of its inverse. A crop
// read as RGB would swap the rising and the falling chroma.
TEST(LivenessCheckTest, ChromaHistogramsFollowTheRedOfABgrFrame)
{
    const cv::Rect face(100, 60, 64, 64);
    cv::Mat red(face.size(), CV_8UC1);
    cv::RNG random(5);
    for (int y = 0; y < red.rows; ++y)
        for (int x = 0; x < red.cols; ++x)
            red.at<uchar>(y, x) = uchar(32 * random.uniform(0, 8));
    const cv::Mat black = cv::Mat::zeros(face.size(), CV_8UC1);
    cv::Mat frame(240, 320, CV_8UC3, cv::Scalar::all(0));
    cv::Mat bgr;
    cv::merge(std::vector<cv::Mat>{black, black, red}, bgr);
    bgr.copyTo(frame(face));

    const std::vector<float> features = livenessFeatures(frame, face);
    const auto histogram = [&](int channel) {
        return std::vector<float>(features.begin() + channel * kLbpBins, features.begin() + (channel + 1) * kLbpBins);
    };
    const std::vector<float> rising = uniformLbpHistogram(red);
    const std::vector<float> falling = uniformLbpHistogram(255 - red);
    ASSERT_NE(rising, falling);
    EXPECT_EQ(histogram(0), rising) << "Y";
    EXPECT_EQ(histogram(1), rising) << "Cr";
    EXPECT_EQ(histogram(2), falling) << "Cb";
    EXPECT_EQ(histogram(5), rising) << "V";
}

// A face too dark, burnt out or lit from behind is not judged; an ordinary one is. The
// surround is the mean of the frame outside the face box.
TEST(LivenessCheckTest, LightProblemsAreTold)
{
    const cv::Rect face(100, 60, 120, 120);
    const auto light = [&](double surround, double faceLuma, double clipped) {
        cv::Mat frame(240, 320, CV_8UC3, cv::Scalar::all(surround));
        frame(face).setTo(cv::Scalar::all(faceLuma));
        frame(cv::Rect(face.x, face.y, face.width, int(clipped * face.height))).setTo(cv::Scalar::all(255));
        return FaceLight::measure(frame, face);
    };
    const auto problem = [&](double surround, double faceLuma, double clipped) {
        return light(surround, faceLuma, clipped).problem();
    };
    EXPECT_FLOAT_EQ(light(200, 60, 0.0).surroundMean, 200.0f);
    EXPECT_FLOAT_EQ(light(200, 60, 0.0).faceMean, 60.0f);
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
