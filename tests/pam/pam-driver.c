// A small PAM host for the module's tests: one pam_authenticate through a configuration folder,
// then what came back, how long it took, what the user was shown and whether a child was
// left behind.
//
// pam-driver CONFDIR SERVICE USER [--rhost HOST] [--ruser NAME] [--silent]
//            [--sigchld ignore|handle] [--alarm SECONDS] [--messages LOCALEDIR]
// --messages: the host runs in the environment's locale and finds the module's message
// catalogue under LOCALEDIR (an installed system finds it in the default folder).

#define _GNU_SOURCE
#include <security/pam_appl.h>

#include <errno.h>
#include <libintl.h>
#include <locale.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static volatile sig_atomic_t alarm_fired = 0;

static void on_alarm(int sig)
{
    (void)sig;
    alarm_fired = 1;
}

// A host that reaps every child itself, as many daemons do.
static void on_child(int sig)
{
    (void)sig;
    int saved = errno;
    while (waitpid(-1, NULL, WNOHANG) > 0)
        ;
    errno = saved;
}

static int converse(int count, const struct pam_message **messages,
                    struct pam_response **responses, void *data)
{
    (void)data;
    for (int i = 0; i < count; ++i) {
        if (messages[i]->msg_style == PAM_TEXT_INFO)
            printf("info: %s\n", messages[i]->msg);
        else if (messages[i]->msg_style == PAM_ERROR_MSG)
            printf("error: %s\n", messages[i]->msg);
        else {
            printf("prompt: %s\n", messages[i]->msg);
            return PAM_CONV_ERR;
        }
    }
    *responses = calloc((size_t)count, sizeof **responses);
    return *responses ? PAM_SUCCESS : PAM_BUF_ERR;
}

static const char *code_name(int code)
{
    static const struct { int code; const char *name; } kNames[] = {
        {PAM_SUCCESS, "PAM_SUCCESS"}, {PAM_AUTH_ERR, "PAM_AUTH_ERR"},
        {PAM_AUTHINFO_UNAVAIL, "PAM_AUTHINFO_UNAVAIL"}, {PAM_SYSTEM_ERR, "PAM_SYSTEM_ERR"},
        {PAM_USER_UNKNOWN, "PAM_USER_UNKNOWN"}, {PAM_IGNORE, "PAM_IGNORE"},
        {PAM_SERVICE_ERR, "PAM_SERVICE_ERR"}, {PAM_PERM_DENIED, "PAM_PERM_DENIED"},
        {PAM_MAXTRIES, "PAM_MAXTRIES"}, {PAM_CRED_INSUFFICIENT, "PAM_CRED_INSUFFICIENT"},
    };
    for (size_t i = 0; i < sizeof kNames / sizeof kNames[0]; ++i)
        if (kNames[i].code == code)
            return kNames[i].name;
    return "other";
}

static void set_handler(int sig, void (*handler)(int))
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = handler;
    sigaction(sig, &action, NULL);
}

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: pam-driver CONFDIR SERVICE USER [options]\n");
        return 2;
    }
    const char *rhost = NULL, *ruser = NULL;
    int flags = 0, alarm_seconds = 0;
    for (int i = 4; i < argc; ++i) {
        const char *next = i + 1 < argc ? argv[i + 1] : "";
        if (strcmp(argv[i], "--rhost") == 0 && ++i)
            rhost = next;
        else if (strcmp(argv[i], "--ruser") == 0 && ++i)
            ruser = next;
        else if (strcmp(argv[i], "--silent") == 0)
            flags |= PAM_SILENT;
        else if (strcmp(argv[i], "--sigchld") == 0 && ++i)
            set_handler(SIGCHLD, strcmp(next, "ignore") == 0 ? SIG_IGN : on_child);
        else if (strcmp(argv[i], "--alarm") == 0 && ++i)
            alarm_seconds = atoi(next);
        else if (strcmp(argv[i], "--messages") == 0 && ++i) {
            setlocale(LC_ALL, "");
            bindtextdomain("visagio", next);
        }
        else {
            fprintf(stderr, "pam-driver: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    struct pam_conv conversation = {converse, NULL};
    pam_handle_t *pamh = NULL;
    int code = pam_start_confdir(argv[2], argv[3], &conversation, argv[1], &pamh);
    if (code == PAM_SUCCESS && rhost)
        code = pam_set_item(pamh, PAM_RHOST, rhost);
    if (code == PAM_SUCCESS && ruser)
        code = pam_set_item(pamh, PAM_RUSER, ruser);
    if (code != PAM_SUCCESS) {
        fprintf(stderr, "pam-driver: set-up failed: %d\n", code);
        return 2;
    }
    if (alarm_seconds > 0) {
        set_handler(SIGALRM, on_alarm);
        alarm((unsigned)alarm_seconds);
    }
    struct timespec start, end;
    clock_gettime(CLOCK_MONOTONIC, &start);
    code = pam_authenticate(pamh, flags);
    clock_gettime(CLOCK_MONOTONIC, &end);
    printf("result: %s\n", code_name(code));
    printf("elapsed-ms: %ld\n",
           (long)((end.tv_sec - start.tv_sec) * 1000 + (end.tv_nsec - start.tv_nsec) / 1000000));
    pam_end(pamh, code);
    if (alarm_seconds > 0) {
        // The host's own alarm must still fire once the module has returned.
        for (int waited = 0; !alarm_fired && waited < alarm_seconds + 2; ++waited)
            sleep(1);
        printf("alarm: %s\n", alarm_fired ? "fired" : "lost");
    }
    errno = 0;
    printf("children: %s\n", waitpid(-1, NULL, WNOHANG) < 0 && errno == ECHILD ? "none" : "left");
    return 0;
}
