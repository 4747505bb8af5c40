#include "workers/TaskRun.h"

#include "workers/AbsProgressTarget.h"

#include <QtDebug>

namespace {

void takeBackQuietly(const std::function<void()> &takeBack)
{
    if (!takeBack)
        return;
    try {
        takeBack();
    } catch (const std::exception &error) {
        qWarning() << "could not undo the task's work:" << error.what();
    } catch (...) {
        qWarning() << "could not undo the task's work";
    }
}

}   // namespace

void runTask(AbsProgressTarget *progress, const std::function<QString()> &work, const std::function<void()> &takeBack,
             const std::function<QString(const std::exception &)> &errorText)
{
    QString success;
    try {
        success = work();
    } catch (const TaskCanceled &) {
        takeBackQuietly(takeBack);
        progress->postCanceled();
        return;
    } catch (const std::exception &error) {
        takeBackQuietly(takeBack);
        progress->postError(errorText ? errorText(error) : QString::fromUtf8(error.what()));
        return;
    } catch (...) {
        takeBackQuietly(takeBack);
        progress->postError(QStringLiteral("The task stopped on an unexpected error."));
        return;
    }
    progress->postSuccess(success);
}
