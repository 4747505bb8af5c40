#include "app/LogHandler.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QTime>

#include <cstdio>
#include <cstdlib>

namespace {

struct LogState
{
    QMutex mutex;
    QString folder;
    QFile file;
    bool echoDebug = true;
    std::function<QDate()> today;
    // The last line written, and how often it came again since (a phone that is polled
    // repeats the same lines over and over): repeats are counted, not written.
    bool hasLast = false;
    QtMsgType lastType = QtDebugMsg;
    QString lastMessage;
    int repeats = 0;
};

// Never destroyed: threads and static destructors may still log while the process ends.
LogState &logState()
{
    static LogState *state = new LogState;
    return *state;
}

// A message raised while a line is being written (by the file code itself) would deadlock.
thread_local bool insideHandler = false;

QString linePattern(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("(D %1) %2\n");
    case QtWarningMsg:
        return QStringLiteral("(W %1) %2\n");
    case QtCriticalMsg:
        return QStringLiteral("(C %1) %2\n");
    case QtFatalMsg:
        return QStringLiteral("(F %1) %2\n");
    default:
        return QStringLiteral("(%1) %2\n");
    }
}

void openLogFile(LogState &state)
{
    if (state.folder.isEmpty())
        return;
    QDir().mkpath(state.folder);
    const QDate day = state.today ? state.today() : QDate::currentDate();
    const QString name = QStringLiteral("log-%1.txt").arg(day.toString(QStringLiteral("yyyyMMdd")));
    state.file.setFileName(QDir(state.folder).filePath(name));
    // A failure leaves the file closed, so the next message tries again.
    state.file.open(QIODevice::ReadWrite | QIODevice::Append);
}

void writeLine(LogState &state, QtMsgType type, const QString &message)
{
    if (!state.file.isOpen())
        openLogFile(state);
    if (state.file.isOpen()) {
        const QString time = QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
        state.file.write(linePattern(type).arg(time, message).toUtf8());
        state.file.flush();
    }
}

void writeRepeats(LogState &state)
{
    if (state.repeats > 0)
        writeLine(state, state.lastType, QStringLiteral("(the line above came %1 more times)").arg(state.repeats));
    state.repeats = 0;
}

void writeMessage(QtMsgType type, const QString &message)
{
    LogState &state = logState();
    QMutexLocker lock(&state.mutex);
    if (state.hasLast && type != QtFatalMsg && type == state.lastType && message == state.lastMessage) {
        ++state.repeats;
        return;
    }
    writeRepeats(state);
    writeLine(state, type, message);
    state.hasLast = true;
    state.lastType = type;
    state.lastMessage = message;
    if (type == QtDebugMsg && state.echoDebug) {
        const QByteArray raw = message.toUtf8() + '\n';
        std::fwrite(raw.constData(), 1, size_t(raw.size()), stdout);
        std::fflush(stdout);
    }
}

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (!insideHandler) {
        insideHandler = true;
        writeMessage(type, message);
        insideHandler = false;
    }
    if (type == QtFatalMsg)
        std::abort();
}

void removeOldestFiles(const QString &folder, int limit)
{
    const QDir dir(folder);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    for (qsizetype i = 0; i < files.size() - qMax(limit, 0); ++i)
        QFile::remove(dir.filePath(files.at(i)));
}

}   // namespace

void setupLogging(const QString &folder, int limit, bool echoDebug)
{
    LogState &state = logState();
    {
        QMutexLocker lock(&state.mutex);
        writeRepeats(state);
        state.hasLast = false;
        state.folder = folder;
        state.echoDebug = echoDebug;
        state.file.close();   // the next message opens today's file in the new folder
        removeOldestFiles(folder, limit);
    }
    qInstallMessageHandler(messageHandler);
}

void setLogClock(std::function<QDate()> today)
{
    LogState &state = logState();
    QMutexLocker lock(&state.mutex);
    state.today = std::move(today);
    state.file.close();   // the next message opens the file of that day
}
