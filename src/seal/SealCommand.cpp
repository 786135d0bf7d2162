#include "SealCommand.h"

#include "CheckAnswer.h"
#include "Errors.h"
#include "FaceResnet.h"
#include "RunFolder.h"
#include "SealStore.h"
#include "SealTransfer.h"

#include <QDir>

#include <map>

namespace {
// The key of the installed network's embeddings, read from the weights alone.
QString installedWeightsKey(const QString& programFolder)
{
    const QString folder = QDir(QDir(programFolder).absoluteFilePath(VISAGIO_DATA_FOLDER)).filePath(kResnetFolder);
    try {
        return FaceResnet::weightsSha256(folder);
    } catch (const e_default& error) {
        throw CannotRun("the installed network cannot be read: " + error.message() + "; install visagio again");
    }
}

std::vector<std::string> groupLines(const SealedProfile& sealed)
{
    std::map<int, std::string> lines;
    for (const int number : sealed.groups)
        lines[number] = "sealed group-" + std::to_string(number);
    for (const auto& [number, reason] : sealed.leftOut)
        lines[number] = "left out group-" + std::to_string(number) + ": " + reason.toStdString();
    std::vector<std::string> ordered;
    for (const auto& [number, line] : lines)
        ordered.push_back(answerLine(line));
    return ordered;
}
}  // namespace

std::vector<std::string> sealProfile(const CheckOptions& options, const QString& programFolder)
{
    const SealOwner owner = sealOwner();
    const QString weightsKey = installedWeightsKey(programFolder);
    const SealedProfile sealed = readOwnerProfile(owner, weightsKey);
    SealStore store(options.sealFolder, options.sealGroup);
    store.seal(owner.name, owner.uid, sealed.files, sealDigest(sealed.files));
    std::vector<std::string> lines = groupLines(sealed);
    lines.push_back(answerLine("sealed: " + std::to_string(sealed.groups.size()) + " groups for " +
                               owner.name.toStdString()));
    return lines;
}

std::vector<std::string> unsealProfile(const CheckOptions& options)
{
    const SealOwner owner = sealOwner();
    SealStore store(options.sealFolder, options.sealGroup);
    const bool removed = store.unseal(owner.name);
    return {answerLine((removed ? "unsealed: " : "unsealed: nothing was sealed for ") + owner.name.toStdString())};
}
