#include "LivenessCheck.h"

#include "Errors.h"
#include "LivenessFeatures.h"

LivenessCheck::LivenessCheck(const QString& modelPath)
    : model(LivenessModel::read(modelPath))
{
    if (model.featureSet != kLivenessFeatureSet || model.weights.size() != std::size_t(kLivenessFeatureCount))
        throw e_logic_argument(QString("%1: made for other features (%2, %3 values; this program computes %4, %5)")
                                   .arg(modelPath, model.featureSet)
                                   .arg(model.weights.size())
                                   .arg(kLivenessFeatureSet)
                                   .arg(kLivenessFeatureCount)
                                   .toStdString());
}

LivenessCheck::Judgement LivenessCheck::judge(const cv::Mat& frame, const cv::Rect& face) const
{
    const FaceLight::Problem light = FaceLight::measure(frame, face).problem();
    return judge(model, light, light == FaceLight::Problem::None ? livenessFeatures(frame, face) : std::vector<float>());
}

LivenessCheck::Judgement LivenessCheck::judge(const LivenessModel& model, FaceLight::Problem light,
                                              const std::vector<float>& features)
{
    Judgement judgement;
    judgement.light = light;
    if (light != FaceLight::Problem::None)
        return judgement;
    judgement.margin = model.margin(features);
    judgement.verdict = model.isLive(judgement.margin) ? Verdict::Live : Verdict::Photo;
    return judgement;
}

const char* LivenessCheck::lightName(FaceLight::Problem problem)
{
    switch (problem) {
    case FaceLight::Problem::Dark:
        return "dark";
    case FaceLight::Problem::Backlit:
        return "backlit";
    case FaceLight::Problem::Overexposed:
        return "overexposed";
    case FaceLight::Problem::None:
        break;
    }
    return "fine";
}
