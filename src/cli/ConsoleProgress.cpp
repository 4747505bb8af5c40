#include "cli/ConsoleProgress.h"

#include <QEventLoop>
#include <QMutexLocker>
#include <QThread>

#include <cstdio>
#include <unistd.h>

namespace {

// The object that Ctrl-C cancels; a signal handler can only reach it through a global.
std::atomic<ConsoleProgress *> g_interruptTarget{nullptr};
static_assert(std::atomic<ConsoleProgress *>::is_always_lock_free, "used in a signal handler");

// A terminal redraws the line at most this often; every report would only slow the worker.
constexpr qint64 kRedrawMs = 100;

void writeStderr(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

}   // namespace

ConsoleProgress::ConsoleProgress()
    : m_enclosing(g_interruptTarget.load())
    , m_drawProgress(isatty(STDERR_FILENO) == 1)
{
    if (m_enclosing)
        m_canceled = m_enclosing->isCanceled();
    g_interruptTarget = this;
    // The outermost object owns the handler: the first Ctrl-C anywhere inside resets it.
    if (m_enclosing)
        return;
    struct sigaction action
    { };
    action.sa_handler = &ConsoleProgress::onInterrupt;
    sigemptyset(&action.sa_mask);
    // The handler is used once: the next Ctrl-C gets the default action and ends the process.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, &m_previousAction);
}

ConsoleProgress::~ConsoleProgress()
{
    if (!m_enclosing)
        sigaction(SIGINT, &m_previousAction, nullptr);
    ConsoleProgress *self = this;
    g_interruptTarget.compare_exchange_strong(self, m_enclosing);
    QMutexLocker lock(&m_mutex);
    finishProgressLine();
}

void ConsoleProgress::onInterrupt(int)
{
    for (ConsoleProgress *target = g_interruptTarget.load(); target; target = target->m_enclosing)
        target->m_canceled = true;
}

void ConsoleProgress::postProgress(const QString &status, int value, const QString &text)
{
    if (!m_drawProgress)
        return;
    QMutexLocker lock(&m_mutex);
    if (!status.isEmpty())
        m_status = status;
    if (value == Busy)
        m_value = -1;
    else if (value >= 0)
        m_value = value;
    if (m_lineOpen && m_sinceDrawn.isValid() && m_sinceDrawn.elapsed() < kRedrawMs && status.isEmpty())
        return;
    m_sinceDrawn.start();
    m_lineOpen = true;
    // "\x1b[K" clears what a longer previous line left to the right.
    if (!m_notice.isEmpty())
        writeStderr(QStringLiteral("\r%1\x1b[K").arg(m_notice));
    else
        writeStderr(m_value < 0 ? QStringLiteral("\r%1 %2\x1b[K").arg(m_status, text)
                                : QStringLiteral("\r%1 %2% %3\x1b[K").arg(m_status).arg(m_value).arg(text));
}

void ConsoleProgress::postNotice(const QString &notice)
{
    QMutexLocker lock(&m_mutex);
    if (notice == m_notice)
        return;
    m_notice = notice;
    if (!m_drawProgress) {
        if (!notice.isEmpty())
            writeStderr(notice + QLatin1Char('\n'));
        return;
    }
    m_lineOpen = true;
    m_sinceDrawn.start();
    writeStderr(notice.isEmpty() ? QStringLiteral("\r%1 %2%\x1b[K").arg(m_status).arg(m_value)
                                 : QStringLiteral("\r%1\x1b[K").arg(notice));
}

void ConsoleProgress::postError(const QString &message)
{
    QMutexLocker lock(&m_mutex);
    m_hasError = true;
    m_error = message;
}

void ConsoleProgress::postSuccess(const QString &message)
{
    QMutexLocker lock(&m_mutex);
    m_hasSuccess = true;
    m_success = message;
}

void ConsoleProgress::postCanceled()
{
    QMutexLocker lock(&m_mutex);
    m_hasCancel = true;
}

void ConsoleProgress::postTipsWait(const QString &info)
{
    QMutexLocker lock(&m_mutex);
    finishProgressLine();
    writeStderr(info + QLatin1Char('\n'));
}

void ConsoleProgress::finishProgressLine()
{
    if (m_lineOpen)
        writeStderr(QStringLiteral("\n"));
    m_lineOpen = false;
}

ConsoleProgress::Outcome ConsoleProgress::runWorker(QThread &worker)
{
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker.start(QThread::InheritPriority);
    if (!worker.isFinished())
        loop.exec();
    worker.wait();

    QMutexLocker lock(&m_mutex);
    finishProgressLine();
    // A success posted before a late Ctrl-C stands: the work is done and committed.
    if (m_hasError)
        return Failed;
    if (m_hasSuccess)
        return Succeeded;
    if (m_hasCancel)
        return Canceled;
    m_hasError = true;
    m_error = QStringLiteral("The task ended without a result.");
    return Failed;
}

QString ConsoleProgress::errorText() const
{
    QMutexLocker lock(&m_mutex);
    return m_error;
}

QString ConsoleProgress::successText() const
{
    QMutexLocker lock(&m_mutex);
    return m_success;
}
