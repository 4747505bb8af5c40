#include "app/PathScrub.h"

#include <QDir>
#include <QRegularExpression>

namespace {

const QString Placeholder = QStringLiteral("<path>");

// Folders whose names often hold the user's name, with spaces the general rule below would
// stop at: they become a bare "/~", which that rule then takes with the rest of the path.
QString replaceKnownRoots(QString text)
{
    for (const QString &root : {QDir::homePath(), QDir::tempPath()}) {
        if (root.size() < 2)
            continue;
        for (const QString &spelling : {root, QDir::toNativeSeparators(root)})
            text.replace(spelling, QStringLiteral("/~"), Qt::CaseInsensitive);
    }
    return text;
}

}   // namespace

QString scrubPaths(const QString &text)
{
    // A quoted text with a separator in it is a path, spaces and all.
    static const QRegularExpression quoted(QStringLiteral("([\"'])[^\"'\\r\\n]*[/\\\\][^\"'\\r\\n]*\\1"));
    // The start of an absolute path (not the slashes of "http://" or of a closing tag), up to
    // the next space; words after a space that hold a separator too are taken as its rest.
    static const QRegularExpression absolute(
        QStringLiteral("(?:(?<![\\w.:/<])/|\\b[A-Za-z]:[\\\\/]|\\\\\\\\|~[\\\\/]|\\bfile:/+)[^\\s\"'<>]*"
                       "(?:[ ]+[^\\s\"'<>]*[/\\\\][^\\s\"'<>]*)*"));
    QString scrubbed = replaceKnownRoots(text);
    scrubbed.replace(quoted, QStringLiteral("\\1") + Placeholder + QStringLiteral("\\1"));
    scrubbed.replace(absolute, Placeholder);
    return scrubbed;
}
