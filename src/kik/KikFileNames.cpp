#include "kik/KikFileNames.h"

bool isPlainFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() == 0)
            return false;
    }
    return true;
}

QString fileInFolder(const QString &folder, const QString &name)
{
    if (!isPlainFileName(name))
        return QString();
    return folder + QLatin1Char('/') + name;
}
