#include "OwnerProfile.h"

#include "ChipGeometry.h"
#include "Errors.h"
#include "GroupFolder.h"
#include "PrivateFiles.h"
#include "ProfileLayout.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ProfileLayout;

namespace {
const char* const kIncomingPrefix = ".incoming-";
const char* const kRemovingPrefix = ".removing-";
// A setting is written under this name beside its file, then renamed over it.
const char* const kNewSettingSuffix = ".new";
const QFile::Permissions kReadableByOthers =
    QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The N of a "group-N" folder name; 0 for any other name.
int groupNumber(const QString& name)
{
    if (!name.startsWith(kGroupPrefix))
        return 0;
    bool ok = false;
    const int number = name.mid(int(std::strlen(kGroupPrefix))).toInt(&ok);
    return ok && number > 0 ? number : 0;
}

// Makes a rename inside the folder durable (the folder's own entry list is synced).
void syncFolder(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0 || ::fsync(fd) != 0)
        qWarning() << "profile: cannot sync" << path << systemError();
    if (fd >= 0)
        ::close(fd);
}
}  // namespace

OwnerProfile::OwnerProfile(const QString& folder, cv::Size sampleSize)
    : path(QDir::cleanPath(folder)),
      sampleSize(sampleSize),
      lock(QDir(folder).filePath(kLockName))
{
    // A lock is stale only when its process is gone, however long the owner has held it.
    lock.setStaleLockTime(0);
    openFolder();
}

OwnerProfile::~OwnerProfile() = default;

void OwnerProfile::openFolder()
{
    const QFileInfo info(path);
    if (info.isDir() && (info.permissions() & kReadableByOthers))
        warn(QString("The owner profile folder %1 can be read by other users; make it private "
                     "with: chmod 700 '%1'").arg(path));
    if (!info.isDir() && !makePrivatePath(path)) {
        warn(QString("The owner profile folder %1 cannot be created (%2); enrolment groups are "
                     "kept only while this window runs.").arg(path, systemError()));
        return;
    }
    if (!lock.tryLock(0)) {
        if (lock.error() == QLockFile::LockFailedError)
            warn(QString("Another Visagio is using the owner profile %1; this window does not "
                         "save its enrolment groups.").arg(path));
        else
            warn(QString("The owner profile folder %1 cannot be written; enrolment groups are "
                         "kept only while this window runs.").arg(path));
        return;
    }
    QFile::setPermissions(QDir(path).filePath(kLockName), QFile::ReadOwner | QFile::WriteOwner);
    saving = true;
    deleteLeftovers();
    for (const QString& name : groupFolders())
        lastNumber = std::max(lastNumber, groupNumber(name));
}

void OwnerProfile::warn(const QString& message)
{
    qWarning().noquote() << "profile:" << message;
    messages << message;
}

std::vector<EnrolmentGroup> OwnerProfile::load(bool chipsRequired)
{
    std::vector<EnrolmentGroup> groups;
    for (const QString& name : groupFolders()) {
        const QString groupPath = QDir(path).filePath(name);
        try {
            EnrolmentGroup group = readGroupFolder(groupPath, sampleSize);
            if (chipsRequired && !group.hasChips()) {
                warn(QString("The enrolment group %1 was enrolled for the grbm model and cannot serve "
                             "the resnet model; it was skipped and kept. Enrol again for resnet.")
                         .arg(groupPath));
                continue;
            }
            if (chipsRequired && group.chipAligner != kChipAligner) {
                warn(QString("The enrolment group %1 was saved before faces were aligned by their landmarks "
                             "and cannot serve the resnet model; it was skipped and kept. Enrol again for resnet.")
                         .arg(groupPath));
                continue;
            }
            groups.push_back(std::move(group));
            entries << name;
        } catch (const e_default& error) {
            warn(QString("The enrolment group %1 is damaged (%2) and was skipped; to remove it, "
                         "delete that folder: rm -r '%1'")
                     .arg(groupPath, QString::fromStdString(error.message())));
        }
    }
    qDebug() << "profile:" << groups.size() << "groups read from" << path;
    return groups;
}

QString OwnerProfile::recordedSetting(const QString& folder, const char* fileName)
{
    QFile file(QDir(folder).filePath(fileName));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return settingWord(file.read(kMaxSettingLength + 1));
}

// A new private file renamed over the old one: a reader sees the old choice or the new, and
// never a file others could read.
void OwnerProfile::recordSetting(const char* fileName, const QString& word)
{
    if (!saving || recordedSetting(path, fileName) == word)
        return;
    const QString filePath = QDir(path).filePath(fileName);
    const QString newPath = filePath + kNewSettingSuffix;
    QFile::remove(newPath);
    QFile file;
    if (!openPrivateFile(file, newPath))
        throw e_failure_write(QString("cannot write %1: %2").arg(newPath, systemError()).toStdString());
    const QByteArray line = (word + "\n").toUtf8();
    const bool written = file.write(line) == line.size() && file.flush() && ::fsync(file.handle()) == 0;
    file.close();
    if (!written || ::rename(QFile::encodeName(newPath).constData(), QFile::encodeName(filePath).constData()) != 0) {
        const QString reason = written ? systemError() : file.errorString();
        QFile::remove(newPath);
        throw e_failure_write(QString("cannot write %1: %2").arg(filePath, reason).toStdString());
    }
    syncFolder(path);
}

QString OwnerProfile::recordedFeatures(const QString& folder)
{
    const QString name = recordedSetting(folder, kFeaturesName);
    return name.isEmpty() ? QString(kDefaultFeatures) : name;
}

void OwnerProfile::recordFeatures(const QString& name)
{
    recordSetting(kFeaturesName, name);
}

std::optional<bool> OwnerProfile::recordedLiveness(const QString& folder)
{
    const QString word = recordedSetting(folder, kLivenessName);
    if (word == kOn)
        return true;
    if (word == kOff)
        return false;
    return std::nullopt;
}

void OwnerProfile::recordLiveness(bool on)
{
    recordSetting(kLivenessName, on ? kOn : kOff);
}

void OwnerProfile::addGroup(const EnrolmentGroup& group)
{
    if (!saving) {
        entries << QString();
        return;
    }
    const QString name = kGroupPrefix + QString::number(++lastNumber);
    try {
        writeGroup(name, group);
        entries << name;
    } catch (const e_failure_write& error) {
        QDir(QDir(path).filePath(kIncomingPrefix + QString::number(lastNumber))).removeRecursively();
        entries << QString();
        stopSaving(QString::fromStdString(error.message()));
        throw;
    }
}

// Everything under the temporary name first, then one rename makes the group appear whole.
void OwnerProfile::writeGroup(const QString& name, const EnrolmentGroup& group)
{
    const QString incomingName = kIncomingPrefix + QString::number(groupNumber(name));
    const QString incoming = QDir(path).filePath(incomingName);
    if (!makePrivateFolder(incoming))
        throw e_failure_write(QString("cannot create %1: %2").arg(incoming, systemError()).toStdString());
    writeGroupFolder(incoming, group);
    if (beforeRename)
        beforeRename();
    if (!QDir(path).rename(incomingName, name))
        throw e_failure_write(QString("cannot rename %1 to %2").arg(incoming, name).toStdString());
    syncFolder(path);
    qDebug() << "profile: saved" << name << "with" << group.samples.size() << "samples and"
             << group.chips.size() << "chips";
}

void OwnerProfile::removeGroup(int index)
{
    if (index < 0 || index >= entries.size())
        throw e_logic_range("Out of range");
    const QString name = entries.takeAt(index);
    if (!saving || name.isEmpty())
        return;
    const QString removingName = kRemovingPrefix + QString::number(groupNumber(name));
    if (!QDir(path).rename(name, removingName)) {
        const QString message = QString("cannot remove %1").arg(QDir(path).filePath(name));
        stopSaving(message);
        throw e_failure_write(message.toStdString());
    }
    syncFolder(path);
    if (!QDir(QDir(path).filePath(removingName)).removeRecursively())
        qWarning() << "profile: leftover" << removingName << "is deleted at the next start";
    qDebug() << "profile: removed" << name;
}

void OwnerProfile::stopSaving(const QString& message)
{
    saving = false;
    qWarning().noquote() << "profile: stops saving:" << message;
}

void OwnerProfile::deleteLeftovers() const
{
    const QDir dir(path);
    const QStringList leftovers = dir.entryList(
        QStringList() << QString(kIncomingPrefix) + "*" << QString(kRemovingPrefix) + "*",
        QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : leftovers) {
        qDebug() << "profile: deleting the leftover" << name << "of an interrupted write";
        QDir(dir.filePath(name)).removeRecursively();
    }
}

// The "group-N" folders in the order of N.
QStringList OwnerProfile::groupFolders() const
{
    QStringList names;
    for (const QString& name : QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (groupNumber(name) > 0)
            names << name;
    std::sort(names.begin(), names.end(),
              [](const QString& a, const QString& b) { return groupNumber(a) < groupNumber(b); });
    return names;
}

int OwnerProfile::groupCount() const
{
    return entries.size();
}

bool OwnerProfile::isSaving() const
{
    return saving;
}

const QString& OwnerProfile::folder() const
{
    return path;
}

const QStringList& OwnerProfile::warnings() const
{
    return messages;
}

void OwnerProfile::setBeforeRename(std::function<void()> hook)
{
    beforeRename = std::move(hook);
}
