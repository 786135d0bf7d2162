#include "target.h"

#include <security/pam_ext.h>

#include <pwd.h>
#include <string.h>
#include <syslog.h>

enum { kMaxNameLength = 32 };

static int is_lower_or_underscore(char c)
{
    return (c >= 'a' && c <= 'z') || c == '_';
}

int vg_is_safe_name(const char *name)
{
    size_t length = strlen(name);
    if (length > 0 && name[length - 1] == '$')
        --length;
    if (length == 0 || length > kMaxNameLength || !is_lower_or_underscore(name[0]))
        return 0;
    for (size_t i = 1; i < length; ++i) {
        char c = name[i];
        if (!is_lower_or_underscore(c) && !(c >= '0' && c <= '9') && c != '.' && c != '-')
            return 0;
    }
    static const char kSealSuffix[] = ".seal";
    size_t suffix = sizeof kSealSuffix - 1;
    return !(length >= suffix && memcmp(name + length - suffix, kSealSuffix, suffix) == 0);
}

int vg_find_target(pam_handle_t *pamh, struct vg_target *target)
{
    const void *item = NULL;
    if (pam_get_item(pamh, PAM_USER, &item) != PAM_SUCCESS || item == NULL
        || *(const char *)item == '\0')
        return PAM_USER_UNKNOWN;
    const struct passwd *pw = getpwnam((const char *)item);
    if (pw == NULL)
        return PAM_USER_UNKNOWN;
    if (pw->pw_uid == 0)
        return PAM_IGNORE;
    if (!vg_is_safe_name(pw->pw_name) || pw->pw_dir == NULL || pw->pw_dir[0] != '/'
        || strlen(pw->pw_dir) >= sizeof target->home) {
        pam_syslog(pamh, LOG_NOTICE, "account name or home unusable in a path");
        return PAM_AUTHINFO_UNAVAIL;
    }
    target->uid = pw->pw_uid;
    target->gid = pw->pw_gid;
    strcpy(target->name, pw->pw_name);
    strcpy(target->home, pw->pw_dir);
    return PAM_SUCCESS;
}
