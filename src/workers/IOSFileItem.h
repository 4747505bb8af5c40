#pragma once

#include "workers/Export.h"

#include <QList>
#include <QString>

// One file to be placed into an iTunes backup: the local file, the domain it belongs to
// ("AppDomain-com.kik.chat") and its path inside the domain, without a leading "/".
struct PARLEWICK_WORKERS_EXPORT IOSFileItem
{
    QString domain;
    QString localPath;
    QString path;
    bool overwrite = false;   // replace a file the backup already holds
};

using IOSFileItemList = QList<IOSFileItem>;
