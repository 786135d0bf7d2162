#pragma once

#include "EnrolmentGroup.h"

#include <QLockFile>
#include <QString>
#include <QStringList>
#include <opencv2/core.hpp>

#include <functional>
#include <optional>
#include <vector>

// The owner's enrolment groups kept on disk, and the list of the groups the window holds.
//
// The profile folder holds one folder per group, "group-N" (N counting up from 1 in enrolment
// order; layout in GroupFolder.h), the lock file "visagio.lock" and, once a feature model was
// chosen on the command line, "features.txt" naming it, and "liveness.txt" saying whether the
// liveness check is on. A group is written
// completely as ".incoming-N" and then renamed to "group-N"; a removed group is renamed to
// ".removing-N" before its files are deleted. So a crash leaves either the old set of groups
// or the new one, plus hidden leftovers that the next writer deletes.
//
// Only the process holding the lock file writes ("saving"). Without it (another Visagio has
// the profile, or the folder cannot be created or written) the groups are still read, and
// new groups are kept in memory only. Trouble found while opening and loading is collected in
// warnings(), each a sentence naming the folder concerned, and logged with qWarning.
class OwnerProfile
{
public:
    // Ensures: the folder exists (created 0700), the lock is held and leftovers of
    //          interrupted writes are deleted, or the profile is not saving and warnings()
    //          says why. An existing folder that group or others can read adds a warning
    //          naming it.
    OwnerProfile(const QString& folder, cv::Size sampleSize);
    ~OwnerProfile();

    OwnerProfile(const OwnerProfile&) = delete;
    OwnerProfile& operator=(const OwnerProfile&) = delete;

    // Requires: called once, before addGroup().
    // Ensures:  the sound groups on disk in enrolment order (samples as saved, unmasked),
    //           each now an entry of this profile; a damaged group is skipped with a warning
    //           that names its folder and how to remove it, and its files are left as they are.
    //           With chipsRequired, a sound group without chips is skipped too, with a warning
    //           that names it and asks to enrol again; its files stay.
    std::vector<EnrolmentGroup> load(bool chipsRequired = false);

    // The feature model recorded in the profile folder by recordFeatures() ("grbm" when none
    // was, or the file does not hold one name of letters and digits). Reads without the lock.
    static QString recordedFeatures(const QString& folder);
    // Ensures: when saving, `name` is on disk as the profile's feature model.
    // Throws:  e_failure_write("...") naming the file when it cannot be written; the profile
    //          goes on saving groups.
    void recordFeatures(const QString& name);
    // Whether the liveness check was recorded on or off by recordLiveness(); empty when it
    // never was (the feature model's default applies). Reads without the lock.
    static std::optional<bool> recordedLiveness(const QString& folder);
    // Ensures: when saving, the choice is on disk ("liveness.txt"). Throws: as recordFeatures.
    void recordLiveness(bool on);

    // Requires: samples is not empty, all CV_8UC1 of the profile's sample size.
    // Ensures:  a new last entry; when saving, the group is on disk as the next "group-N".
    // Throws:   e_failure_write("...") naming the folder when writing fails: nothing of the
    //           group is left under a group name, the entry is kept, and the profile stops
    //           saving (later calls do not write and do not throw).
    void addGroup(const EnrolmentGroup& group);

    // Ensures: entry `index` is gone; when saving, so is its folder.
    // Throws:  e_logic_range("Out of range") outside 0 ... groupCount() - 1;
    //          e_failure_write("...") naming the folder when it cannot be removed: the entry
    //          is gone anyway and the profile stops saving.
    void removeGroup(int index);

    int groupCount() const;
    bool isSaving() const;
    const QString& folder() const;
    const QStringList& warnings() const;

    // For tests that simulate a crash: `hook` runs after a group is completely written under
    // its temporary name and before that folder is renamed into place.
    void setBeforeRename(std::function<void()> hook);

private:
    // A setting file holds one short word of letters and digits; empty when absent or not so.
    static QString recordedSetting(const QString& folder, const char* fileName);
    void recordSetting(const char* fileName, const QString& word);
    void openFolder();
    void warn(const QString& message);
    void writeGroup(const QString& name, const EnrolmentGroup& group);
    void stopSaving(const QString& message);
    void deleteLeftovers() const;
    QStringList groupFolders() const;

    QString path;
    cv::Size sampleSize;
    QLockFile lock;
    bool saving = false;
    QStringList messages;
    // Folder name of every entry, in the matcher's order; empty for a group kept in memory.
    QStringList entries;
    int lastNumber = 0;
    std::function<void()> beforeRename;
};
