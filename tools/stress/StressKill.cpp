#include "StressKill.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <csignal>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

const uint32_t kChangeMask = IN_CREATE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE;

}   // namespace

ChangeWatch::ChangeWatch(const QString &root, const QString &namePattern)
    : m_names(namePattern)
{
    if (root.isEmpty())
        return;
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    add(root);
    QDirIterator folders(root, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (folders.hasNext())
        add(folders.next());
}

ChangeWatch::~ChangeWatch()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void ChangeWatch::add(const QString &folder)
{
    const int wd = inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), kChangeMask);
    if (wd >= 0)
        m_folders.insert(wd, folder);
}

int ChangeWatch::takeChanges(int waitMs)
{
    if (m_fd < 0)
        return 0;
    pollfd ready{m_fd, POLLIN, 0};
    if (::poll(&ready, 1, waitMs) <= 0)
        return 0;
    int changes = 0;
    alignas(inotify_event) char buffer[16384];
    ssize_t got;
    while ((got = ::read(m_fd, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if ((event->mask & kChangeMask)
                && (m_names.pattern().isEmpty() || (event->len > 0 && m_names.match(QFile::decodeName(event->name)).hasMatch())))
                ++changes;
            if ((event->mask & IN_CREATE) && (event->mask & IN_ISDIR) && event->len > 0)
                add(m_folders.value(event->wd) + QLatin1Char('/') + QFile::decodeName(event->name));
        }
    }
    return changes;
}

KilledRun runWithKill(const QString &program, const QStringList &arguments, const KillPlan &plan,
                      const QProcessEnvironment &environment)
{
    ChangeWatch watch(plan.watched, plan.namePattern);
    QProcess process;
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    KilledRun run;
    if (!process.waitForStarted()) {
        run.err = process.errorString();
        return run;
    }
    while (process.state() != QProcess::NotRunning && !process.waitForFinished(1)) {
        run.changes += watch.takeChanges(1);
        const bool due =
            (plan.atChange >= 0 && run.changes >= plan.atChange) || (plan.afterMs >= 0 && clock.elapsed() >= plan.afterMs);
        if (due && !run.killed) {
            ::kill(pid_t(process.processId()), SIGKILL);
            run.killed = true;
        }
    }
    run.ms = clock.elapsed();
    run.changes += watch.takeChanges(0);
    if (process.exitStatus() == QProcess::NormalExit) {
        run.killed = false;   // it ended before the kill reached it
        run.exitCode = process.exitCode();
    }
    run.out = process.readAllStandardOutput();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
