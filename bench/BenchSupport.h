#pragma once

// Small helpers of the Kik database benchmarks: a quiet progress target, memory figures of this
// process, timing a run of the sqlite3 shell, and running this benchmark again as a child for a
// clean memory peak.
#include "kikstore/KikStoreGenerator.h"
#include "workers/AbsProgressTarget.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <cstdio>

namespace BenchSupport {

// A generated Kik store of about `messages` messages in 200 chats and 5 groups, without side
// files: the large data set of the benchmarks.
inline KikStoreOptions largeStoreOptions(qint64 messages)
{
    KikStoreOptions options;
    options.contacts = 200;
    options.chats = 200;
    options.groups = 5;
    options.membersPerGroup = 8;
    options.messagesPerChat = int(messages / (options.chats + options.groups));
    options.sideFiles = false;
    options.collectUids = false;
    return options;
}

// A progress target that only remembers how the task ended.
class QuietProgress : public AbsProgressTarget
{
public:
    bool isCanceled() const override { return false; }
    bool isWaitingForTips() const override { return false; }
    void postProgress(const QString &, int, const QString &) override { }
    void postError(const QString &message) override { error = message; }
    void postSuccess(const QString &message) override { success = message; }
    void postTipsWait(const QString &) override { }

    QString error;
    QString success;
};

// A field of /proc/self/status in bytes (VmRSS, VmHWM).
inline qint64 statusBytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return 0;
}

// Seconds the sqlite3 shell needs to run the script against the database with its output
// thrown away; negative when there is no shell or it fails. The database is opened read-only
// unless writable.
inline double shellSeconds(const QString &database, const QByteArray &script, bool writable = false)
{
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty())
        return -1;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(shell, writable ? QStringList{database} : QStringList{QStringLiteral("-readonly"), database});
    process.write(script);
    process.closeWriteChannel();
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::printf("  sqlite3 failed: %s\n", process.readAllStandardError().constData());
        return -1;
    }
    return timer.nsecsElapsed() / 1e9;
}

// Runs this program with the arguments (and a TZ value when not empty) and returns what it
// printed; null on failure.
inline QByteArray runSelf(const QStringList &arguments, const QString &timeZone = QString())
{
    QProcess process;
    if (!timeZone.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TZ"), timeZone);
        process.setProcessEnvironment(environment);
    }
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QCoreApplication::applicationFilePath(), arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        return QByteArray();
    return process.readAllStandardOutput();
}

}
