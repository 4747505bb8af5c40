#include "device/MobileDeviceFrameworks.h"

#include <QDebug>
#include <QLibrary>

#include <stdexcept>

namespace {

QLibrary &mobileDeviceLibrary()
{
    // The phone library stays loaded for the whole process.
    static QLibrary library(QStringLiteral("imobiledevice-1.0"), 6);
    return library;
}

} // namespace

bool loadMobileDeviceFrameworks(QString *error)
{
    QLibrary &library = mobileDeviceLibrary();
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
        throw std::runtime_error(error.toStdString());
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
