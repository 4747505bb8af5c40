#include "workers/ExportOutputTracker.h"

#include "app/FileUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace {

QStringList entryNames(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

void removeEntry(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        removeFolderTree(path);
    else
        QFile::remove(path);
}

} // namespace

bool ExportOutputTracker::makeFolder(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QString topmostMissing;
    for (QString at = absolute; !QFileInfo(at).exists() && !QFileInfo(at).isSymLink();) {
        topmostMissing = at;
        const QString parent = QFileInfo(at).absolutePath();
        if (parent == at)
            break;
        at = parent;
    }
    if (!QDir().mkpath(absolute) || !QFileInfo(absolute).isDir())
        throw std::runtime_error(QStringLiteral("Cannot create the folder %1.").arg(QDir::toNativeSeparators(absolute))
                                     .toUtf8().toStdString());
    if (topmostMissing.isEmpty())
        return false;
    m_folders.append(topmostMissing);
    return true;
}

void ExportOutputTracker::addFile(const QString &path)
{
    m_files.append(QFileInfo(path).absoluteFilePath());
}

void ExportOutputTracker::watchFolder(const QString &path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (m_watched.contains(absolute))
        return;
    const QStringList names = entryNames(absolute);
    m_watched.insert(absolute, QSet<QString>(names.cbegin(), names.cend()));
}

void ExportOutputTracker::removeAll()
{
    for (const QString &file : std::as_const(m_files))
        QFile::remove(file);
    for (auto it = m_watched.cbegin(); it != m_watched.cend(); ++it) {
        const QDir folder(it.key());
        for (const QString &name : entryNames(it.key())) {
            if (!it.value().contains(name))
                removeEntry(folder.filePath(name));
        }
    }
    for (auto it = m_folders.crbegin(); it != m_folders.crend(); ++it)
        removeFolderTree(*it);
    m_files.clear();
    m_watched.clear();
    m_folders.clear();
}
