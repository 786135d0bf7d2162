// The PAM entry points: the steps in order, then the check, then what the user sees.

#include "caller.h"
#include "clock.h"
#include "launch.h"
#include "options.h"
#include "origin.h"
#include "outcome.h"
#include "seal.h"
#include "spawn.h"
#include "target.h"
#include "tries.h"

#include <security/pam_ext.h>
#include <security/pam_modules.h>

#include <libintl.h>
#include <syslog.h>

#define VG_EXPORT __attribute__((visibility("default")))

// Every log line of a test build says so; the packaging checks grep for this marker.
#ifdef VISAGIO_PAM_TESTING
static const char kBuildNote[] = " [VISAGIO-TEST-BUILD]";
#else
static const char kBuildNote[] = "";
#endif

static const char *path_name(enum vg_path path)
{
    return path == VG_ROOT_PATH ? "root" : "locker";
}

static void log_stop(pam_handle_t *pamh, const struct vg_target *target, enum vg_path path,
                     int result)
{
    pam_syslog(pamh, LOG_INFO, "user %s, %s path: %s, no check started%s", target->name,
               path_name(path), pam_strerror(pamh, result), kBuildNote);
}

// Every call returns within S + 2 s of its entry; the count's update after the check gets
// what is left of that, less this margin.
enum { kReturnMarginMs = 100 };

// Runs the check and maps its end; the result is PAM_SYSTEM_ERR unless the check said yes.
static int face_check(pam_handle_t *pamh, int flags, const struct vg_options *options,
                      const struct vg_target *target, enum vg_path path, const char *seal,
                      const struct vg_attempt *attempt, int64_t entry_ms)
{
    int result = PAM_SYSTEM_ERR;
    struct vg_launch launch;
    struct vg_report report = {0};
    enum vg_attempt_end end = VG_ATTEMPT_COUNTED;
    int started = vg_prepare_launch(pamh, options, target, path, seal, &launch) == PAM_SUCCESS
        && vg_spawn_check(&launch, options->timeout, &report) == 0;
    vg_release_launch(&launch);
    if (started)
        result = vg_outcome(&report, &end);
    vg_attempt_end(pamh, attempt, end,
                   entry_ms + options->timeout * 1000 + 2000 - kReturnMarginMs);
    char line[VG_REPORT_LINE_MAX + 1];
    char how[64];
    vg_printable(report.line, line);
    pam_syslog(pamh, result == PAM_SUCCESS ? LOG_NOTICE : LOG_WARNING,
               "user %s, %s path: %s, check %s%s%s%s", target->name, path_name(path),
               pam_strerror(pamh, result), started ? vg_report_text(&report, how, sizeof how)
                                                   : "not started",
               line[0] ? ": " : "", line, kBuildNote);
    if (started && result != PAM_SUCCESS && !(flags & PAM_SILENT))
        pam_info(pamh, "%s", dgettext("visagio", "Face not accepted"));
    return result;
}

VG_EXPORT int pam_sm_authenticate(pam_handle_t *pamh, int flags, int argc, const char **argv)
{
    int64_t entry_ms = vg_now_ms();
    struct vg_options options;
    if (vg_parse_options(pamh, argc, argv, &options) != 0)
        return PAM_SERVICE_ERR;
    struct vg_target target;
    int result = vg_find_target(pamh, &target);
    if (result != PAM_SUCCESS)
        return result;
    enum vg_path path = vg_caller_path();
    char seal[VG_SHA256_HEX + 1];
    struct vg_attempt attempt;
    result = vg_check_origin(pamh, &options, path);
    if (result == PAM_SUCCESS)
        result = vg_check_caller(pamh, &target, path);
    if (result == PAM_SUCCESS)
        result = vg_read_seal(pamh, &options, &target, seal);
    if (result == PAM_SUCCESS)
        result = vg_attempt_begin(pamh, &options, &target, path, &attempt);
    if (result != PAM_SUCCESS) {
        log_stop(pamh, &target, path, result);
        return result;
    }
    return face_check(pamh, flags, &options, &target, path, seal, &attempt, entry_ms);
}

VG_EXPORT int pam_sm_setcred(pam_handle_t *pamh, int flags, int argc, const char **argv)
{
    (void)pamh;
    (void)flags;
    (void)argc;
    (void)argv;
    return PAM_SUCCESS;
}
