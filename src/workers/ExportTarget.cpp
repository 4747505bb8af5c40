#include "workers/ExportTarget.h"

#include "app/AppError.h"
#include "workers/ExportMessagesThread.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString withSuffix(const QString &path, const QString &suffix)
{
    return QFileInfo(path).suffix().isEmpty() ? path + QLatin1Char('.') + suffix : path;
}

// The folder and the file name up to its first dot: "a.b.pdf" -> "a".
QString withoutSuffix(const QString &path)
{
    const QFileInfo info(path);
    return QDir(info.path()).filePath(info.fileName().section(QLatin1Char('.'), 0, 0));
}

}   // namespace

ExportTarget ExportTarget::forChosenPath(const QString &chosenPath, const QString &kind)
{
    if (kind == QLatin1String("txt"))
        return {withSuffix(chosenPath, kind), ExportMessagesThread::FormatText};
    if (kind == QLatin1String("doc"))
        return {withSuffix(chosenPath, kind), ExportMessagesThread::FormatText};
    if (kind == QLatin1String("csv"))
        return {withSuffix(chosenPath, kind), ExportMessagesThread::FormatCsv};
    if (kind == QLatin1String("pdf"))
        return {withoutSuffix(chosenPath) + QLatin1String("-pdf"), ExportMessagesThread::FormatPdf};
    if (kind == QLatin1String("html"))
        return {withoutSuffix(chosenPath) + QLatin1String("-html"), ExportMessagesThread::FormatHtml};
    failWith(QStringLiteral("unknown export format."));
}

QString ExportTarget::kindOfSuffix(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("htm"))
        return QStringLiteral("html");
    for (const char *kind : {"txt", "doc", "csv", "pdf", "html"}) {
        if (suffix == QLatin1String(kind))
            return QString::fromLatin1(kind);
    }
    return QString();
}
