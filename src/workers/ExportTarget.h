#pragma once

#include "workers/Export.h"

#include <QString>

// Where an export goes, from the path the user chose and the kind of file they asked for
// ("txt", "doc", "csv", "pdf" or "html"): text kinds get their suffix when the name has none;
// PDF and HTML go into a folder named after the file, "<name>-pdf" or "<name>-html".
struct PARLEWICK_WORKERS_EXPORT ExportTarget
{
    QString path;
    int format = 0;   // an ExportMessagesThread format

    // Raises "unknown export format." for any other kind.
    static ExportTarget forChosenPath(const QString &chosenPath, const QString &kind);
    // The kind a name's suffix asks for (.txt .doc .csv .pdf .html .htm, any case); empty for others.
    static QString kindOfSuffix(const QString &path);
};
