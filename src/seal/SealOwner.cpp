#include "SealOwner.h"

#include "CheckAnswer.h"

#include <QRegularExpression>

#include <cstdlib>
#include <grp.h>
#include <limits>
#include <pwd.h>
#include <unistd.h>

namespace {
// More digits than any uid has is no uid.
constexpr int kMaxUidDigits = 10;
// getgrouplist's first guess; it tells how many when that is too few.
constexpr int kGroupGuess = 32;
const char* const kSudoUid = "SUDO_UID";

uid_t sudoUid()
{
    const QByteArray text = qgetenv(kSudoUid);
    if (text.isEmpty())
        cannotRun("SUDO_UID is not set; seal your own profile by sudo visagio-check --seal");
    bool digits = text.size() <= kMaxUidDigits;
    for (const char c : text)
        digits = digits && c >= '0' && c <= '9';
    const qulonglong value = digits ? text.toULongLong() : 0;
    if (!digits || value > std::numeric_limits<uid_t>::max() - 1)
        cannotRun("SUDO_UID is not a user id; run sudo visagio-check --seal");
    if (value == 0)
        cannotRun("SUDO_UID is root's; root has no face login: run sudo visagio-check --seal as yourself");
    return uid_t(value);
}

std::vector<gid_t> groupsOf(const QByteArray& name, gid_t gid)
{
    std::vector<gid_t> groups(kGroupGuess);
    int count = int(groups.size());
    while (::getgrouplist(name.constData(), gid, groups.data(), &count) < 0) {
        if (count <= int(groups.size()))
            cannotRun("the groups of " + QString::fromLatin1(name) + " cannot be listed");
        groups.resize(std::size_t(count));
    }
    groups.resize(std::size_t(count));
    return groups;
}
}  // namespace

bool isSealableName(const QString& name)
{
    static const QRegularExpression rule("\\A[a-z_][a-z0-9_.-]{0,31}\\$?\\z");
    return rule.match(name).hasMatch() && !name.endsWith(".seal");
}

SealOwner sealOwner()
{
    if (::geteuid() != 0)
        cannotRun("sealing needs root; run sudo visagio-check --seal (or --unseal)");
    SealOwner owner;
    owner.uid = sudoUid();
    const passwd* account = ::getpwuid(owner.uid);
    if (!account)
        cannotRun("uid " + QString::number(owner.uid) + " (SUDO_UID) is not in the user database");
    owner.name = QString::fromLatin1(account->pw_name);
    if (!isSealableName(owner.name))
        cannotRun("the account name of uid " + QString::number(owner.uid) +
                  " is not one a seal can be named by ([a-z_][a-z0-9_.-]{0,31}, not ending in .seal)");
    owner.gid = account->pw_gid;
    owner.home = QByteArray(account->pw_dir);
    if (!owner.home.startsWith('/'))
        cannotRun("the home folder of " + owner.name + " is not an absolute path");
    owner.groups = groupsOf(owner.name.toLatin1(), owner.gid);
    return owner;
}
