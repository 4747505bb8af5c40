#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

// What one export run put on disk, so that a cancel or an error takes back exactly that:
// the folders it created (with everything in them), the files it created, and what was added
// to folders it watched. Nothing that was there before the run is ever removed.
class ExportOutputTracker
{
public:
    // Creates the folder with its parents and remembers the topmost one that was missing.
    // True when the folder was missing; raises when it cannot be made (a file has its name).
    bool makeFolder(const QString &path);
    void addFile(const QString &path);
    // Remembers what an existing folder holds now; entries that appear later count as ours.
    void watchFolder(const QString &path);

    void removeAll();

private:
    QStringList m_folders;
    QStringList m_files;
    QHash<QString, QSet<QString>> m_watched;
};
