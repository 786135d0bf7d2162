#include "CheckProfile.h"

#include "CheckAnswer.h"
#include "ChipGeometry.h"

#include <QDebug>

#include <algorithm>

void requireResnetWithLiveness(const CheckedProfile& profile)
{
    const QString& dir = profile.folder;
    if (profile.features != "resnet")
        cannotRun(QString("the profile %1 verifies with the %2 model, which lets same-room strangers in; "
                          "enrol again with visagio --features resnet").arg(dir, profile.features));
    if (profile.liveness == false)
        cannotRun(QString("the liveness check is off in %1; turn it on with visagio --liveness on").arg(dir));
    if (profile.groups.empty())
        cannotRun(QString("no enrolment group in %1; enrol with visagio --features resnet").arg(dir));
    const bool anyResnet = std::any_of(profile.groups.begin(), profile.groups.end(), [](const CheckedGroup& group) {
        return group.manifest.format == GroupManifest::kChipsFormat;
    });
    if (!anyResnet)
        cannotRun(QString("every group in %1 was enrolled for grbm; enrol again with visagio --features resnet").arg(dir));
}

GroupSelection selectGroups(const CheckedProfile& profile, const QString& weightsKey)
{
    GroupSelection selection;
    for (const CheckedGroup& group : profile.groups) {
        if (group.manifest.format != GroupManifest::kChipsFormat)
            selection.leftOut.emplace_back(group.number, "enrolled for grbm");
        else if (group.manifest.embeddingModel != weightsKey)
            selection.leftOut.emplace_back(group.number, "embedded by other network weights");
        else if (group.manifest.chipAligner != kChipAligner)
            selection.leftOut.emplace_back(group.number, "chips cut by an earlier face alignment");
        else
            selection.used.push_back(&group);
    }
    if (selection.used.empty())
        cannotRun(QString("every resnet group in %1 was embedded by other network weights or cut by an earlier "
                          "face alignment; enrol again with visagio --features resnet").arg(profile.folder));
    return selection;
}

std::vector<std::vector<std::vector<float>>> groupsOfWeights(const CheckedProfile& profile, const QString& weightsKey)
{
    const GroupSelection selection = selectGroups(profile, weightsKey);
    for (const auto& [number, reason] : selection.leftOut)
        qDebug().noquote() << "check: skipped group-" + QString::number(number) << "(" + reason + ")";
    std::vector<std::vector<std::vector<float>>> groups;
    for (const CheckedGroup* group : selection.used)
        groups.push_back(group->embeddings);
    return groups;
}
