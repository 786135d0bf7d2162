#include "SealDigest.h"

#include "ProfileLayout.h"

#include <QCryptographicHash>

#include <algorithm>

ProfileFiles sealedFiles(const CheckedProfile& profile, const GroupSelection& selection)
{
    const auto isUsedGroupFile = [&](const QString& path) {
        return std::any_of(selection.used.begin(), selection.used.end(), [&](const CheckedGroup* group) {
            return path.startsWith(ProfileLayout::kGroupPrefix + QString::number(group->number) + "/");
        });
    };
    ProfileFiles files;
    for (const auto& [path, bytes] : profile.files)
        if (path == ProfileLayout::kFeaturesName || path == ProfileLayout::kLivenessName || isUsedGroupFile(path))
            files.emplace_back(path, bytes);
    return files;
}

QString sealDigest(const ProfileFiles& files)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const auto& [path, bytes] : files) {
        hash.addData(path.toUtf8());
        hash.addData(QByteArray(1, '\0'));
        hash.addData(QByteArray::number(bytes.size()) + "\n");
        hash.addData(bytes);
    }
    return QString::fromLatin1(hash.result().toHex());
}
