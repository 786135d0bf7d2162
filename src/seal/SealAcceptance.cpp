#include "SealAcceptance.h"

#include "CheckAnswer.h"
#include "CheckProfile.h"
#include "Errors.h"
#include "FaceGeometry.h"
#include "ProfileLayout.h"

#include <QRegularExpression>

#include <algorithm>

using namespace ProfileLayout;

namespace {
// The N of "group-N" as the window names groups (no sign, no leading zero, nine digits at most).
int groupNumberOf(const QByteArray& name)
{
    static const QRegularExpression rule("\\Agroup-([1-9][0-9]{0,8})\\z");
    const QRegularExpressionMatch match = rule.match(QString::fromLatin1(name));
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// The names root accepts, in order: features.txt, liveness.txt when present, then for each
// group by increasing N its manifest and its embeddings; each within its cap.
class Acceptance
{
public:
    void take(const SealRecord& file);
    void takeLeftOut(const SealRecord& group);
    SealedProfile done();

private:
    [[noreturn]] void unexpected(const QByteArray& name) const
    {
        cannotRun(QString("the profile came over with an unexpected file ") +
                  QString::fromStdString(answerLine(name.toStdString())) + "; try again");
    }

    // features.txt, and liveness.txt when it came.
    std::size_t settingFiles() const
    {
        return sealed.files.size() > 1 && sealed.files[1].first == kLivenessName ? 2 : 1;
    }

    SealedProfile sealed;
    qint64 total = 0;
    int lastNumber = 0;
};

void Acceptance::take(const SealRecord& file)
{
    const std::size_t index = sealed.files.size();
    qint64 cap = 0;
    if (index == 0 && file.name == kFeaturesName) {
        cap = kSettingCap;
    } else if (index == 1 && file.name == kLivenessName) {
        cap = kSettingCap;
    } else if (index > 0) {
        const int slash = file.name.indexOf('/');
        const int number = groupNumberOf(file.name.left(slash));
        const QByteArray leaf = file.name.mid(slash + 1);
        const bool manifest = (index - settingFiles()) % 2 == 0;
        const bool expected = number > 0 && (manifest ? number > lastNumber && leaf == GroupManifest::kFileName
                                                      : number == lastNumber && leaf == GroupManifest::kEmbeddingsFileName);
        if (!expected)
            unexpected(file.name);
        cap = manifest ? kManifestCap : kEmbeddingsCap;
        if (manifest)
            sealed.groups.push_back(lastNumber = number);
    }
    if (cap == 0)
        unexpected(file.name);
    total += file.data.size();
    if (file.data.size() > cap)
        cannotRun(QString::fromUtf8(file.name) + " is larger than " + QString::number(cap) +
                  " bytes, the most such a file may hold; enrol again");
    if (total > kTotalCap)
        cannotRun("the profile passes the " + QString::number(kTotalCap / kMebibyte) +
                  " MiB it may hold in all; remove the enrolment groups you do not need");
    sealed.files.emplace_back(QString::fromUtf8(file.name), file.data);
}

void Acceptance::takeLeftOut(const SealRecord& group)
{
    const int number = groupNumberOf(group.name);
    if (number == 0 || (!sealed.leftOut.empty() && number <= sealed.leftOut.back().first))
        unexpected(group.name);
    sealed.leftOut.emplace_back(number, QString::fromStdString(answerLine(group.data.toStdString())));
}

SealedProfile Acceptance::done()
{
    if (sealed.files.empty() || (sealed.files.size() - settingFiles()) % 2 != 0 || sealed.groups.empty())
        cannotRun("the profile came over incomplete; try again");
    for (const auto& [number, reason] : sealed.leftOut)
        if (std::find(sealed.groups.begin(), sealed.groups.end(), number) != sealed.groups.end())
            cannotRun("the profile came over with group-" + QString::number(number) + " both sealed and left out");
    return std::move(sealed);
}

// The profile as the check would see it, from the bytes that came over.
CheckedProfile parsed(const SealedProfile& sealed, const QString& folder)
{
    CheckedProfile profile;
    profile.folder = folder;
    profile.files = sealed.files;
    std::size_t i = 0;
    profile.features = settingWord(sealed.files[i++].second);
    if (i < sealed.files.size() && sealed.files[i].first == kLivenessName) {
        const QString liveness = settingWord(sealed.files[i++].second);
        if (liveness != kOn && liveness != kOff)
            cannotRun(folder + "/" + kLivenessName + " is damaged; record it again: visagio --liveness on");
        profile.liveness = liveness == kOn;
    }
    for (const int number : sealed.groups) {
        CheckedGroup group;
        group.number = number;
        group.folder = folder + "/" + kGroupPrefix + QString::number(number);
        try {
            group.manifest = parseGroupManifest(sealed.files[i++].second, kSampleSize);
            if (group.manifest.format != GroupManifest::kChipsFormat)
                cannotRun(group.folder + " was enrolled for grbm; enrol again with visagio --features resnet");
            group.embeddings = parseEmbeddings(sealed.files[i++].second, group.manifest);
        } catch (const e_logic_argument& error) {
            cannotRun("the enrolment group " + group.folder + " is damaged (" +
                      QString::fromStdString(answerLine(error.message())) + "); enrol again");
        }
        profile.groups.push_back(std::move(group));
    }
    return profile;
}

// Root's own judgement of what came over: the check's causes and its choice of groups.
void requireSealable(const CheckedProfile& profile, const QString& weightsKey)
{
    requireResnetWithLiveness(profile);
    const GroupSelection selection = selectGroups(profile, weightsKey);
    if (!selection.leftOut.empty())
        cannotRun("the profile came over with group-" + QString::number(selection.leftOut.front().first) +
                  ", which the check would leave out; try again");
}

}  // namespace

SealedProfile acceptedProfile(const std::vector<SealRecord>& records, const QString& folder,
                              const QString& weightsKey)
{
    Acceptance acceptance;
    for (const SealRecord& each : records) {
        // The reader's own words, made printable; it always gives some, so none is a fault too.
        if (each.kind == SealRecord::Refusal)
            cannotRun(each.data.isEmpty() ? QString("the reader of the profile refused it without a reason; try again")
                                          : QString::fromStdString(answerLine(each.data.toStdString())));
        if (each.kind == SealRecord::File)
            acceptance.take(each);
        else if (each.kind == SealRecord::LeftOut)
            acceptance.takeLeftOut(each);
        else
            cannotRun("the profile came over damaged; try again");
    }
    SealedProfile sealed = acceptance.done();
    requireSealable(parsed(sealed, folder), weightsKey);
    return sealed;
}
