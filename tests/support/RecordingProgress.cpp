#include "RecordingProgress.h"

#include <QMutexLocker>
#include <QThread>

void RecordingProgress::postProgress(const QString &status, int value, const QString &text)
{
    QMutexLocker lock(&m_mutex);
    m_reports.append({status, value, text});
    if (m_cancelCondition && m_cancelCondition(m_reports.last()))
        m_canceled = true;
}

void RecordingProgress::postError(const QString &message)
{
    QMutexLocker lock(&m_mutex);
    m_errors.append(message);
}

void RecordingProgress::postSuccess(const QString &message)
{
    QMutexLocker lock(&m_mutex);
    m_successes.append(message);
}

void RecordingProgress::postCanceled()
{
    QMutexLocker lock(&m_mutex);
    ++m_cancels;
}

void RecordingProgress::postTipsWait(const QString &info)
{
    Q_UNUSED(info);
}

void RecordingProgress::cancelWhen(std::function<bool(const Report &)> condition)
{
    QMutexLocker lock(&m_mutex);
    m_cancelCondition = std::move(condition);
}

void RecordingProgress::run(QThread &worker)
{
    worker.start();
    worker.wait();
}

QList<RecordingProgress::Report> RecordingProgress::reports() const
{
    QMutexLocker lock(&m_mutex);
    return m_reports;
}

QStringList RecordingProgress::errors() const
{
    QMutexLocker lock(&m_mutex);
    return m_errors;
}

QStringList RecordingProgress::successes() const
{
    QMutexLocker lock(&m_mutex);
    return m_successes;
}

int RecordingProgress::cancels() const
{
    QMutexLocker lock(&m_mutex);
    return m_cancels;
}

void RecordingProgress::postNotice(const QString &notice)
{
    QMutexLocker lock(&m_mutex);
    m_notices << notice;
}

QStringList RecordingProgress::notices() const
{
    QMutexLocker lock(&m_mutex);
    return m_notices;
}
