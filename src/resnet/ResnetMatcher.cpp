#include "ResnetMatcher.h"

#include "EmbeddingDistance.h"
#include "Errors.h"
#include "VerificationRule.h"

#include <QDebug>
#include <QDir>
#include <opencv2/core.hpp>

#include <limits>

ResnetMatcher::ResnetMatcher(const QString& folder)
    : network(folder),
      constants(ResnetCalibration::read(QDir(folder).filePath(ResnetCalibration::kFileName)))
{
    if (constants.modelSha256 != network.sha256())
        throw e_logic_argument(QString("%1: fitted for another model (weights %2, calibration for %3)")
                                   .arg(QDir(folder).filePath(ResnetCalibration::kFileName),
                                        network.sha256(), constants.modelSha256)
                                   .toStdString());
}

std::vector<float> ResnetMatcher::embed(const cv::Mat& chip, bool withMirror)
{
    std::vector<float> embedding = network.embed(chip);
    if (!withMirror)
        return embedding;
    cv::Mat mirrored;
    cv::flip(chip, mirrored, 1);
    const std::vector<float> other = network.embed(mirrored);
    for (std::size_t i = 0; i < embedding.size(); ++i)
        embedding[i] = 0.5f * (embedding[i] + other[i]);
    return embedding;
}

void ResnetMatcher::addGroup(std::vector<std::vector<float>> embeddings)
{
    groups.push_back(std::move(embeddings));
}

void ResnetMatcher::removeGroup(int index)
{
    if (index < 0 || index >= groupCount())
        throw e_logic_range("Out of range");
    groups.erase(groups.begin() + index);
}

int ResnetMatcher::groupCount() const
{
    return int(groups.size());
}

void ResnetMatcher::train()
{
    templateEmbeddings.clear();
    for (const auto& group : groups)
        templateEmbeddings.insert(templateEmbeddings.end(), group.begin(), group.end());
    qDebug() << "resnet template:" << qulonglong(templateEmbeddings.size()) << "embeddings";
}

float ResnetMatcher::distance(const std::vector<float>& embedding) const
{
    float nearest = std::numeric_limits<float>::max();
    for (const std::vector<float>& entry : templateEmbeddings)
        nearest = std::min(nearest, embeddingDistance(constants.distance, entry, embedding));
    return nearest;
}

float ResnetMatcher::verify(const std::vector<float>& embedding) const
{
    const float d = distance(embedding);
    qDebug() << "verify" << d;
    return VerificationRule::verificationScore(d, constants.scale);
}

const QString& ResnetMatcher::modelKey() const
{
    return network.sha256();
}

const ResnetCalibration& ResnetMatcher::calibration() const
{
    return constants;
}
