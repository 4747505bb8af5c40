#include "kik/IOSSideFile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <stdexcept>

void writeSideFileThrow(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw std::runtime_error(QStringLiteral("can not create %1. %2").arg(path.right(50), file.errorString()).toStdString());
    // An unfinished QSaveFile is discarded, so no partial file is ever left under the name.
    if (file.write(data) != data.size() || !file.commit())
        throw std::runtime_error(QStringLiteral("write %1 error. %2").arg(path, file.errorString()).toStdString());
}

bool isNonEmptyFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}
