#include "origin.h"

#include <security/pam_ext.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <systemd/sd-login.h>
#include <unistd.h>

// The programs that ask for a local person's password as root: sudo, su, polkit, the greeters.
static const char kRootServices[] = "sudo,sudo-i,su,su-l,polkit-1,login,gdm-password,lightdm,sddm";

static const char *string_item(pam_handle_t *pamh, int type)
{
    const void *item = NULL;
    if (pam_get_item(pamh, type, &item) != PAM_SUCCESS)
        return NULL;
    return (const char *)item;
}

static int is_empty(const char *text)
{
    return text == NULL || *text == '\0';
}

// Ensures: 1 when service is one entry of the comma-separated list.
static int in_list(const char *list, const char *service)
{
    size_t length = strlen(service);
    for (const char *entry = list; *entry;) {
        const char *end = strchr(entry, ',');
        size_t entry_length = end ? (size_t)(end - entry) : strlen(entry);
        if (entry_length == length && length > 0 && strncmp(entry, service, length) == 0)
            return 1;
        if (!end)
            break;
        entry = end + 1;
    }
    return 0;
}

// A literal loopback address or this machine's own name; names are compared, never resolved.
static int is_local_host(const char *host)
{
    char own[256] = {0};
    struct in_addr v4;
    struct in6_addr v6;
    if (strcasecmp(host, "localhost") == 0)
        return 1;
    if (gethostname(own, sizeof own - 1) == 0 && own[0] && strcasecmp(host, own) == 0)
        return 1;
    if (inet_pton(AF_INET, host, &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    if (inet_pton(AF_INET6, host, &v6) == 1)
        return memcmp(&v6, &in6addr_loopback, sizeof v6) == 0;
    return 0;
}

static int has_ssh_variable(pam_handle_t *pamh)
{
    static const char *const kNames[] = {"SSH_CONNECTION", "SSH_CLIENT", "SSH_TTY"};
    for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i) {
        if (getenv(kNames[i]) != NULL || pam_getenv(pamh, kNames[i]) != NULL)
            return 1;
    }
    return 0;
}

static int in_remote_session(void)
{
    char *session = NULL;
    if (sd_pid_get_session(0, &session) < 0 || session == NULL)
        return 0;
    int remote = sd_session_is_remote(session) > 0;
    free(session);
    return remote;
}

int vg_check_origin(pam_handle_t *pamh, const struct vg_options *options, enum vg_path path)
{
    const char *rhost = string_item(pamh, PAM_RHOST);
    if (path == VG_ROOT_PATH) {
        const char *service = string_item(pamh, PAM_SERVICE);
        const char *list = options->services ? options->services : kRootServices;
        if (!is_empty(rhost) || is_empty(service) || !in_list(list, service))
            return PAM_IGNORE;
    } else if (!is_empty(rhost) && !is_local_host(rhost)) {
        return PAM_IGNORE;
    }
    if (has_ssh_variable(pamh) || in_remote_session())
        return PAM_IGNORE;
    return PAM_SUCCESS;
}
