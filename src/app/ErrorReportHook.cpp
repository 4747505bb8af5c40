#include "app/ErrorReportHook.h"

#include <QMutex>
#include <QMutexLocker>

namespace {

QMutex reporterMutex;
ErrorReporter currentReporter;

}   // namespace

void setErrorReporter(ErrorReporter reporter)
{
    QMutexLocker lock(&reporterMutex);
    currentReporter = std::move(reporter);
}

void sendToErrorReporter(const QString &text)
{
    ErrorReporter reporter;
    {
        QMutexLocker lock(&reporterMutex);
        reporter = currentReporter;
    }
    // Called outside the lock: a reporter may itself log or replace the reporter.
    if (reporter)
        reporter(text);
}
