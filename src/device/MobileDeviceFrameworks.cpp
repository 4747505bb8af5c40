#include "device/MobileDeviceFrameworks.h"

#include "app/AppError.h"

#include <QDebug>
#include <QLibrary>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

namespace {

QLibrary &mobileDeviceLibrary()
{
    // The phone library stays loaded for the whole process.
    static QLibrary library(QStringLiteral("imobiledevice-1.0"), 6);
    return library;
}

}   // namespace

bool loadMobileDeviceFrameworks(QString *error)
{
    QLibrary &library = mobileDeviceLibrary();
#ifdef Q_OS_UNIX
    // The library's TLS writes to a socket the phone may close at any moment (a cable pulled
    // during a session start): that must fail the call, not end the program with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    if (library.isLoaded() || library.load())
        return true;
    qDebug() << "loading the phone library failed:" << library.errorString();
    if (error)
        *error = QStringLiteral("Failed to load (Mobile Device) framework.");
    return false;
}

void loadMobileDeviceFrameworksThrow()
{
    QString error;
    if (!frameworksLoaded() && !loadMobileDeviceFrameworks(&error))
        failWith(error);
}

bool frameworksLoaded()
{
    return mobileDeviceLibrary().isLoaded();
}

void *resolveMD(const char *name)
{
    QLibrary &library = mobileDeviceLibrary();
    if (!library.isLoaded())
        return nullptr;
    return reinterpret_cast<void *>(library.resolve(name));
}
