#pragma once

#include "app/TaskCanceled.h"
#include "workers/Export.h"

#include <QString>

// What a background worker talks to: the progress dialog in the program, a console
// reporter in the command-line tool, a recorder in tests. Workers call the post* operations
// from their own thread; implementations queue them to their own thread and return at once.
// The flags are written by the target's thread and read by the worker.
class PARLEWICK_WORKERS_EXPORT AbsProgressTarget
{
public:
    // The value of a step that cannot say how far it is (a key derivation): a moving bar.
    static constexpr int Busy = -2;

    virtual ~AbsProgressTarget() = default;

    virtual bool isCanceled() const = 0;
    virtual bool isWaitingForTips() const = 0;

    virtual void postProgress(const QString &status, int value, const QString &text) = 0;
    virtual void postError(const QString &message) = 0;
    virtual void postSuccess(const QString &message) = 0;
    virtual void postTipsWait(const QString &info) = 0;
    // A notice that stays while it holds (the phone waits for something only the user can do);
    // an empty text takes it away.
    virtual void postNotice(const QString &notice) { Q_UNUSED(notice); }
    // The task stopped on a cancel. The target that was canceled knows already; one that keeps
    // the task's outcome records it.
    virtual void postCanceled() { }

    // Throws TaskCanceled when the user canceled: the unit-of-work check of every worker.
    void throwIfCanceled() const
    {
        if (isCanceled())
            throw TaskCanceled();
    }
};

// Free-function forms used by the workers, as the contract names them.
inline void postProgress(AbsProgressTarget *form, const QString &status, int value, const QString &text)
{
    form->postProgress(status, value, text);
}
inline void postError(AbsProgressTarget *form, const QString &message)
{
    form->postError(message);
}
inline void postSuccess(AbsProgressTarget *form, const QString &message)
{
    form->postSuccess(message);
}
inline void postTipsWait(AbsProgressTarget *form, const QString &info)
{
    form->postTipsWait(info);
}
