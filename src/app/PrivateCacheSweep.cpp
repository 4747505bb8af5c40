#include "app/PrivateCacheSweep.h"

#include "app/FileUtils.h"
#include "app/PrivateCache.h"

#include <QDebug>
#include <QDir>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>

void removeLeftWorkFolders()
{
    static const QRegularExpression workName(QStringLiteral("^work-(\\d+)-"));
    const QDir cache(privateCachePath());
    for (const QString &name : cache.entryList({QStringLiteral("work-*")}, QDir::Dirs | QDir::NoSymLinks | QDir::Hidden)) {
        const QRegularExpressionMatch match = workName.match(name);
        bool isNumber = false;
        const qint64 pid = match.hasMatch() ? match.captured(1).toLongLong(&isNumber) : 0;
        // Only a process that is certainly gone: one that runs, or is not ours to ask, keeps its folder.
        if (!isNumber || pid <= 0 || ::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        qDebug().noquote() << "removing what an ended run left:" << name;
        removeFolderTree(cache.filePath(name));
    }
}
