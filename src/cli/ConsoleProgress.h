#pragma once

#include "workers/AbsProgressTarget.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QString>
#include <atomic>
#include <csignal>

class QThread;

// The command-line front end of a background task. Progress is drawn on one line of stderr
// when stderr is a terminal and dropped otherwise; the error or success text is kept for the
// command, which prints it in its own place. While the object lives, Ctrl-C sets the cancel
// flag (the worker stops at its next check and commits nothing); a second Ctrl-C ends the
// process the usual way. Objects nest: one made while another lives (a task of a longer
// stretch, such as loading a source) passes a Ctrl-C on to the enclosing ones, and one made
// after a Ctrl-C in the enclosing stretch starts canceled.
class ConsoleProgress : public AbsProgressTarget
{
public:
    enum Outcome { Succeeded, Failed, Canceled };

    ConsoleProgress();
    ~ConsoleProgress() override;
    ConsoleProgress(const ConsoleProgress &) = delete;
    ConsoleProgress &operator=(const ConsoleProgress &) = delete;

    bool isCanceled() const override { return m_canceled; }
    bool isWaitingForTips() const override { return false; }   // nobody answers a console tip

    void postProgress(const QString &status, int value, const QString &text) override;
    void postError(const QString &message) override;
    void postSuccess(const QString &message) override;
    void postTipsWait(const QString &info) override;
    void postCanceled() override;
    // On a terminal the notice stands in the progress line until taken away; elsewhere it is
    // written once as a line of its own.
    void postNotice(const QString &notice) override;

    // Starts the worker, keeps the calling thread's events flowing until it ends, then tells
    // how the task went, as the worker posted it. A worker that ended without a word counts as
    // failed, and a success posted before a late Ctrl-C still counts as success.
    Outcome runWorker(QThread &worker);

    // Valid once the worker has ended.
    QString errorText() const;
    QString successText() const;

    // The same as a Ctrl-C.
    void cancel() { m_canceled = true; }

private:
    static void onInterrupt(int);
    void finishProgressLine();

    std::atomic<bool> m_canceled{false};
    ConsoleProgress *const m_enclosing;   // the object that took Ctrl-C before this one, if any
    const bool m_drawProgress;
    struct sigaction m_previousAction
    { };

    mutable QMutex m_mutex;   // guards everything below
    QString m_status;
    QString m_notice;
    int m_value = 0;
    bool m_lineOpen = false;
    QElapsedTimer m_sinceDrawn;
    bool m_hasError = false;
    bool m_hasSuccess = false;
    bool m_hasCancel = false;
    QString m_error;
    QString m_success;
};
