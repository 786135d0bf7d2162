// A stand-in for visagio-check in the PAM module's tests. It records how it was started
// (ids, groups, environment, descriptors, folder, arguments) into fake-check.log beside itself,
// then does what fake-check.do beside itself says:
//   exit N [LINE]   print LINE (if any) and exit with N
//   hang            sleep until killed
//   stubborn        ignore SIGTERM, leave a child holding stdout, and sleep
//   signal NAME     end by SEGV or TERM
// Its environment is only HOME, USER and PATH, so it finds its folder through /proc/self/exe.

#define _GNU_SOURCE
#include <dirent.h>
#include <grp.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

extern char **environ;

static void own_folder_file(const char *name, char *path)
{
    char self[PATH_MAX - 64] = {0};
    if (readlink("/proc/self/exe", self, sizeof self - 1) < 0)
        exit(120);
    char *slash = strrchr(self, '/');
    *slash = '\0';
    snprintf(path, PATH_MAX, "%s/%s", self, name);
}

// The open descriptors, listed before the log itself is opened.
static void list_descriptors(char *out, size_t size)
{
    DIR *folder = opendir("/proc/self/fd");
    size_t used = 0;
    out[0] = '\0';
    for (struct dirent *entry; folder && (entry = readdir(folder));) {
        if (entry->d_name[0] == '.' || atoi(entry->d_name) == dirfd(folder))
            continue;
        used += (size_t)snprintf(out + used, size - used, used ? " %s" : "%s", entry->d_name);
    }
    if (folder)
        closedir(folder);
}

static void record(int argc, char **argv)
{
    char descriptors[1024], path[PATH_MAX], cwd[PATH_MAX] = "?";
    list_descriptors(descriptors, sizeof descriptors);
    own_folder_file("fake-check.log", path);
    FILE *log = fopen(path, "a");
    if (!log)
        exit(121);
    gid_t groups[256];
    int count = getgroups(256, groups);
    fprintf(log, "run\nuid: %u\ngid: %u\ngroups:", getuid(), getgid());
    for (int i = 0; i < count; ++i)
        fprintf(log, " %u", groups[i]);
    fprintf(log, "\neuid: %u\nfds: %s\ncwd: %s\n", geteuid(), descriptors,
            getcwd(cwd, sizeof cwd) ? cwd : "?");
    for (char **variable = environ; *variable; ++variable)
        fprintf(log, "env: %s\n", *variable);
    for (int i = 0; i < argc; ++i)
        fprintf(log, "arg: %s\n", argv[i]);
    fclose(log);
}

static void hang(void)
{
    for (;;)
        pause();
}

int main(int argc, char **argv)
{
    record(argc, argv);
    char path[PATH_MAX], order[512] = "";
    own_folder_file("fake-check.do", path);
    FILE *told = fopen(path, "r");
    if (!told || !fgets(order, sizeof order, told))
        return 122;
    fclose(told);
    order[strcspn(order, "\n")] = '\0';
    if (strncmp(order, "exit ", 5) == 0) {
        char *line = strchr(order + 5, ' ');
        if (line)
            printf("%s\n", line + 1);
        fflush(stdout);
        return atoi(order + 5);
    }
    if (strcmp(order, "hang") == 0)
        hang();
    if (strcmp(order, "stubborn") == 0) {
        signal(SIGTERM, SIG_IGN);
        if (fork() == 0)
            hang();
        hang();
    }
    if (strcmp(order, "signal SEGV") == 0)
        raise(SIGSEGV);
    if (strcmp(order, "signal TERM") == 0)
        raise(SIGTERM);
    return 123;
}
