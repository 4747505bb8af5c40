#include "kik/IOSSideFile.h"

#include "app/AppError.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

void writeSideFileThrow(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        failWith(QStringLiteral("can not create %1. %2").arg(path.right(50), file.errorString()));
    // An unfinished QSaveFile is discarded, so no partial file is ever left under the name.
    if (file.write(data) != data.size() || !file.commit())
        failWith(QStringLiteral("write %1 error. %2").arg(path, file.errorString()));
}

bool isNonEmptyFile(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.size() > 0;
}
