#include "certificates/ProbeProcess.h"

#include "common/SystemErrorText.h"
#include "common/TrustedFile.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace cto {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// A posix_spawn setting, initialised and destroyed with its owner.
template <typename Setting, int (*Initialise)(Setting*), int (*Destroy)(Setting*)> class SpawnSetting {
public:
    SpawnSetting() { Initialise(&setting_); }
    ~SpawnSetting() { Destroy(&setting_); }
    SpawnSetting(const SpawnSetting&) = delete;
    SpawnSetting& operator=(const SpawnSetting&) = delete;
    Setting* get() { return &setting_; }

private:
    Setting setting_{};
};
using SpawnActions = SpawnSetting<posix_spawn_file_actions_t, ::posix_spawn_file_actions_init,
                                  ::posix_spawn_file_actions_destroy>;
using SpawnAttributes = SpawnSetting<posix_spawnattr_t, ::posix_spawnattr_init, ::posix_spawnattr_destroy>;

QString endingOf(int status) {
    if (WIFSIGNALED(status))
        return QStringLiteral("terminó con la señal %1: %2")
            .arg(WTERMSIG(status))
            .arg(QString::fromStdString(signalText(WTERMSIG(status))));
    return QStringLiteral("terminó con el estado %1").arg(WEXITSTATUS(status));
}

} // namespace

ProbeRun runProbe(const QString& program, const QStringList& arguments, std::chrono::milliseconds bound,
                  int inheritedFd) {
    ProbeRun run;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        run.ending = QStringLiteral("no se pudo crear la tubería");
        return run;
    }
    Descriptor reading(ends[0]), writing(ends[1]);
    // The program's own code runs as the user: it must be the user's or root's
    // alone, and the file checked is the file run (the child reaches it through
    // its copy of the descriptor, which closes as the program starts).
    const QByteArray path = QFile::encodeName(program);
    const TrustedFile file(path.toStdString());
    if (!file.trusted()) {
        run.refusal = QString::fromStdString(file.refusal());
        run.ending = run.refusal;
        return run;
    }
    const std::string runPath = file.procPath();
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(actions.get(), writing.get(), STDOUT_FILENO);
    ::posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // A dup2 onto itself keeps the descriptor open across the exec: a script's
    // interpreter opens the script by that name once the exec is done.
    ::posix_spawn_file_actions_adddup2(actions.get(), file.fd(), file.fd());
    if (inheritedFd >= 0)
        ::posix_spawn_file_actions_adddup2(actions.get(), inheritedFd, inheritedFd);

    std::vector<QByteArray> texts{path};
    for (const QString& argument : arguments)
        texts.push_back(QFile::encodeName(argument));
    std::vector<char*> argv;
    argv.reserve(texts.size() + 1);
    for (QByteArray& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);

    // A group of its own: a driver that starts helpers of its own goes with it.
    SpawnAttributes attributes;
    ::posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETPGROUP);
    ::posix_spawnattr_setpgroup(attributes.get(), 0);
    pid_t child = -1;
    if (const int error =
            ::posix_spawn(&child, runPath.c_str(), actions.get(), attributes.get(), argv.data(), environ);
        error != 0) {
        run.ending =
            QStringLiteral("no se pudo iniciar: %1").arg(QString::fromStdString(systemErrorText(error)));
        return run;
    }
    writing.reset(); // the child's copy is the only writer left

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + bound;
    bool open = true;
    int status = 0;
    bool reaped = false;
    while (!reaped) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            break;
        if (open) {
            pollfd watched{reading.get(), POLLIN, 0};
            const int ready = ::poll(&watched, 1, static_cast<int>(left.count()));
            if (ready < 0 && errno != EINTR)
                break;
            if (ready > 0) {
                char buffer[4096];
                const ssize_t got = ::read(reading.get(), buffer, sizeof buffer);
                if (got > 0 && run.output.size() < 64 * 1024)
                    run.output.append(buffer, static_cast<qsizetype>(got));
                else if (got == 0 || (got < 0 && errno != EINTR))
                    open = false;
            }
        } else {
            // The output is closed; the process ends any moment, or hangs on.
            ::usleep(2000);
        }
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        reaped = done == child;
    }
    if (reaped) {
        run.finished = WIFEXITED(status);
        run.exitCode = run.finished ? WEXITSTATUS(status) : -1;
        if (!run.finished)
            run.ending = endingOf(status);
        return run;
    }
    ::kill(-child, SIGKILL);
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    run.ending = QStringLiteral("no respondió en %1 s").arg(bound.count() / 1000.0, 0, 'g', 3);
    return run;
}

} // namespace cto
