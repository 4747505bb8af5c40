#include "device/TempBackupFolder.h"

#include "app/AppFolders.h"
#include "app/FileUtils.h"

#include <QDir>
#include <QFile>

namespace {

QString rootFilePath()
{
    return QDir(dataFolder()).filePath(QLatin1String(TempBackupRootFileName));
}

} // namespace

QString rememberedTempBackupFolder()
{
    QFile file(rootFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString root = QString::fromUtf8(file.read(4096)).trimmed();
    if (root.isEmpty() || !QDir::isAbsolutePath(root))
        return QString();
    return QDir::cleanPath(QDir(root).filePath(QLatin1String(TempBackupFolderName)));
}

void clearTempBackupFolder()
{
    const QString folder = rememberedTempBackupFolder();
    if (!folder.isEmpty())
        removeFolderTree(folder);
    QFile::remove(rootFilePath());
}
