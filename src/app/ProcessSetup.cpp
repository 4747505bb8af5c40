#include "app/ProcessSetup.h"

#include <QMutex>

#include <csignal>

namespace {

const char PasswordVariable[] = "PARLEWICK_BACKUP_PASSWORD";

QMutex passwordMutex;
QString takenPassword;

}   // namespace

void prepareProcess()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    takeEnvironmentBackupPassword();
}

QString takeEnvironmentBackupPassword()
{
    const QMutexLocker lock(&passwordMutex);
    if (qEnvironmentVariableIsSet(PasswordVariable)) {
        takenPassword = qEnvironmentVariable(PasswordVariable);
        if (takenPassword.isNull())
            takenPassword = QLatin1String("");
        qunsetenv(PasswordVariable);
    }
    return takenPassword;
}
