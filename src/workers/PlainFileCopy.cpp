#include "workers/PlainFileCopy.h"

#include <QDir>
#include <QFile>

// Written directly rather than with QFile::copy, whose temporary file and sync per file made
// copies of many small pictures take seconds; NewOnly keeps a file that is already there.
void copyPlainFiles(const QString &from, const QString &to)
{
    const QDir source(from);
    const QDir target(to);
    for (const QString &name : source.entryList(QDir::Files | QDir::Hidden)) {
        QFile in(source.filePath(name));
        QFile out(target.filePath(name));
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            continue;
        const QByteArray bytes = in.readAll();
        if (out.write(bytes) != bytes.size() || !out.flush()) {
            out.close();
            out.remove();   // no half picture
        }
    }
}
