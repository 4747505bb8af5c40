#include "app/ProcessSetup.h"

#include <QMutex>

#include <csignal>

namespace {

const char PasswordVariable[] = "PARLEWICK_BACKUP_PASSWORD";

QMutex passwordMutex;
Secret takenPassword;

}   // namespace

void prepareProcess()
{
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    takeEnvironmentBackupPassword();
}

Secret takeEnvironmentBackupPassword()
{
    const QMutexLocker lock(&passwordMutex);
    if (qEnvironmentVariableIsSet(PasswordVariable)) {
        QString value = qEnvironmentVariable(PasswordVariable);
        takenPassword = Secret::takeText(value);
        qunsetenv(PasswordVariable);
    }
    return takenPassword.clone();
}
