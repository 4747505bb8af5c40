#include "app/AppFolders.h"

#include "app/AppConstants.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString subFolder(const QString &name)
{
    const QString path = QDir(dataFolder()).filePath(name);
    QDir().mkpath(path);
    return path;
}

// The redirect file moves the whole data folder elsewhere (for example to a bigger disk).
// Its content is used exactly as written; anything that is not an existing folder is ignored.
QString redirectedBase()
{
    QFile redirect(QDir(roamingBrandFolder()).filePath(QLatin1String(AppConstants::ProductId) + QLatin1String(".redirect")));
    if (!redirect.open(QIODevice::ReadOnly))
        return QString();
    const QFileInfo target(QString::fromUtf8(redirect.readAll()));
    return target.isDir() ? target.absoluteFilePath() : QString();
}

}   // namespace

QString roamingRoot()
{
    const QDir home(QDir::homePath());
    const QString appData = home.filePath(QStringLiteral("AppData/Roaming"));
    if (QFileInfo(appData).isDir())
        return appData;
#ifdef Q_OS_WIN
    return home.filePath(QStringLiteral("Application Data"));
#else
    const QString generic = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return generic.isEmpty() ? home.filePath(QStringLiteral(".local/share")) : generic;
#endif
}

QString roamingBrandFolder()
{
    return QDir(roamingRoot()).filePath(QLatin1String(AppConstants::BrandFolder));
}

QString resolveDataFolderPath()
{
    QString base = redirectedBase();
    if (base.isEmpty())
        base = roamingBrandFolder();
    return QDir(base).filePath(QLatin1String(AppConstants::ProductId));
}

QString dataFolder()
{
    static const QString path = resolveDataFolderPath();
    QDir().mkpath(path);
    return path;
}

QString localDatabasesFolder()
{
    return subFolder(QStringLiteral("local_databases"));
}

QString iosCacheFolder()
{
    // The phones' mirrors hold decrypted stores: only the user may enter, as in the private cache.
    const QString path = subFolder(QStringLiteral("ios_cache"));
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

QString logFolder()
{
    return QDir(dataFolder()).filePath(QStringLiteral("qlogs"));
}

QString applicationFolder()
{
    const QDir program(QCoreApplication::applicationDirPath());
    if (program.exists(QStringLiteral("kikbb")))
        return program.path();
    const QString installed = QDir::cleanPath(program.filePath(QStringLiteral("../share/parlewick")));
    return QDir(installed).exists(QStringLiteral("kikbb")) ? installed : program.path();
}
