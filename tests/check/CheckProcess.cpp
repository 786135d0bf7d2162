#include "CheckProcess.h"

#include "TestData.h"

#include <QFile>
#include <QProcessEnvironment>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <vector>

namespace {
std::string fileText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

std::vector<std::string> environmentWith(const QStringList& changes)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("VISAGIO_DATA", runDir());
    for (const QString& change : changes) {
        const int equals = change.indexOf('=');
        if (equals < 0)
            environment.remove(change);
        else
            environment.insert(change.left(equals), change.mid(equals + 1));
    }
    std::vector<std::string> entries;
    for (const QString& entry : environment.toStringList())
        entries.push_back(entry.toStdString());
    return entries;
}
}  // namespace

std::string CheckResult::line() const
{
    return out.empty() || out.back() != '\n' ? out : out.substr(0, out.size() - 1);
}

CheckProcess::CheckProcess(const QStringList& arguments, const QStringList& environment)
{
    std::vector<std::string> argv = {VISAGIO_CHECK};
    for (const QString& argument : arguments)
        argv.push_back(argument.toStdString());
    std::vector<char*> argp;
    for (std::string& argument : argv)
        argp.push_back(argument.data());
    argp.push_back(nullptr);
    std::vector<std::string> env = environmentWith(environment);
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    const std::string out = outputs.filePath("out").toStdString();
    const std::string err = outputs.filePath("err").toStdString();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    started = std::chrono::steady_clock::now();
    const int failed = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0)
        throw std::runtime_error("cannot start " + argv[0]);
}

CheckProcess::~CheckProcess()
{
    if (!done) {
        ::kill(pid, SIGKILL);
        wait();
    }
}

bool CheckProcess::finished()
{
    int waitStatus = 0;
    if (!done && ::waitpid(pid, &waitStatus, WNOHANG) == pid)
        reap(waitStatus);
    return done;
}

CheckResult CheckProcess::wait()
{
    int waitStatus = 0;
    if (!done && ::waitpid(pid, &waitStatus, 0) == pid)
        reap(waitStatus);
    return result;
}

void CheckProcess::sendSignal(int signal)
{
    ::kill(pid, signal);
}

void CheckProcess::reap(int waitStatus)
{
    done = true;
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    result.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    result.signal = WIFSIGNALED(waitStatus) ? WTERMSIG(waitStatus) : 0;
    result.out = fileText(outputs.filePath("out"));
    result.err = fileText(outputs.filePath("err"));
}

CheckResult runCheckProcess(const QStringList& arguments, const QStringList& environment)
{
    return CheckProcess(arguments, environment).wait();
}
