#pragma once

#include "workers/AbsProgressTarget.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <atomic>
#include <functional>

class QThread;

// A progress target for worker tests: keeps every report, and can cancel the task as soon as a
// report matches a condition (the worker then stops at its next check).
class RecordingProgress : public AbsProgressTarget
{
public:
    struct Report
    {
        QString status;
        int value;
        QString text;
    };

    bool isCanceled() const override { return m_canceled; }
    bool isWaitingForTips() const override { return false; }

    void postProgress(const QString &status, int value, const QString &text) override;
    void postError(const QString &message) override;
    void postSuccess(const QString &message) override;
    void postTipsWait(const QString &info) override;
    void postCanceled() override;
    void postNotice(const QString &notice) override;

    // Cancels once a progress report satisfies the condition.
    void cancelWhen(std::function<bool(const Report &)> condition);
    void cancel() { m_canceled = true; }

    // Starts the worker and waits for it to end.
    void run(QThread &worker);

    QList<Report> reports() const;
    QStringList errors() const;
    QStringList successes() const;
    int cancels() const;           // how many times the task posted its cancel
    QStringList notices() const;   // every notice posted, empty ones (taken away) too

private:
    std::atomic<bool> m_canceled{false};
    mutable QMutex m_mutex;
    std::function<bool(const Report &)> m_cancelCondition;
    QList<Report> m_reports;
    QStringList m_errors;
    QStringList m_successes;
    QStringList m_notices;
    int m_cancels = 0;
};
