#include "simiphone/AfcRoot.h"

#include "simiphone/AfcPacket.h"

#include <QFileInfo>
#include <QList>

#include <climits>
#include <cstdlib>
#include <sys/stat.h>

AfcRoot::AfcRoot(const QString &folder)
    : m_root(QFileInfo(folder).canonicalFilePath())
{
}

bool AfcRoot::inside(const QString &canonical) const
{
    return canonical == m_root || canonical.startsWith(m_root + QLatin1Char('/'));
}

quint64 AfcRoot::resolve(const QByteArray &peerPath, Follow follow, QString *hostPath) const
{
    if (m_root.isEmpty())
        return AfcObjectNotFound;
    QList<QByteArray> parts;
    for (const QByteArray &part : peerPath.split('/')) {
        if (part == "..")
            return AfcPermissionDenied;
        if (!part.isEmpty() && part != ".")
            parts.append(part);
    }
    QString current = m_root;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString next = current + QLatin1Char('/') + QString::fromUtf8(parts.at(i));
        struct stat info;
        if (::lstat(QFile::encodeName(next).constData(), &info) != 0) {
            // Not there (yet): what follows cannot be a link either.
            current = next;
            for (qsizetype j = i + 1; j < parts.size(); ++j)
                current += QLatin1Char('/') + QString::fromUtf8(parts.at(j));
            break;
        }
        const bool last = i == parts.size() - 1;
        if (S_ISLNK(info.st_mode) && (!last || follow == FollowLast)) {
            char target[PATH_MAX];
            // A dangling link is refused: creating through it would land wherever it points.
            if (!::realpath(QFile::encodeName(next).constData(), target))
                return AfcPermissionDenied;
            const QString canonical = QFile::decodeName(target);
            if (!inside(canonical))
                return AfcPermissionDenied;
            current = canonical;
        } else {
            current = next;
        }
    }
    *hostPath = current;
    return AfcSuccess;
}
