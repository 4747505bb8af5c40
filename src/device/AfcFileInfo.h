#pragma once

#include "device/Export.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What the phone says about one path. An empty type means the path does not exist or could
// not be queried.
struct PARLEWICK_DEVICE_EXPORT AfcFileInfo
{
    QString path;         // as asked
    qint64 size = 0;      // "st_size"
    QDateTime modified;   // "st_mtime" (nanoseconds since 1970); invalid when absent
    QString type;         // "st_ifmt": "S_IFREG", "S_IFDIR", others for links and devices

    bool exists() const { return !type.isEmpty(); }
    bool isFile() const { return type == QLatin1String("S_IFREG"); }
    bool isDir() const { return type == QLatin1String("S_IFDIR"); }

    // From the answer of "get file info": key and value strings, each NUL-terminated.
    static AfcFileInfo fromAnswer(const QString &path, const QByteArray &answer);
};
