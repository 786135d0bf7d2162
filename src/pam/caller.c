#include "caller.h"

#include <string.h>
#include <unistd.h>

enum vg_path vg_caller_path(void)
{
    return geteuid() == 0 ? VG_ROOT_PATH : VG_LOCKER_PATH;
}

int vg_check_caller(pam_handle_t *pamh, const struct vg_target *target, enum vg_path path)
{
    uid_t ruid = getuid();
    if (path == VG_LOCKER_PATH)
        return geteuid() == target->uid && ruid == target->uid ? PAM_SUCCESS
                                                                : PAM_AUTHINFO_UNAVAIL;
    const void *item = NULL;
    if (pam_get_item(pamh, PAM_RUSER, &item) != PAM_SUCCESS)
        return PAM_AUTHINFO_UNAVAIL;
    const char *ruser = (const char *)item;
    int ruser_ok = ruser == NULL || *ruser == '\0' || strcmp(ruser, target->name) == 0;
    int ruid_ok = ruid == 0 || ruid == target->uid;
    return ruser_ok && ruid_ok ? PAM_SUCCESS : PAM_AUTHINFO_UNAVAIL;
}
