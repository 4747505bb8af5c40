#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// Files put into an iTunes backup folder all together or not at all. Each file is first copied
// to a temporary name beside its place; commitThrow moves them all into place and runs the
// caller's last step (writing the index); when anything fails, every file in the folder is put
// back as it was. Copies never committed are removed on destruction.
class BackupFileStaging
{
public:
    explicit BackupFileStaging(const QString &folder);
    ~BackupFileStaging();
    BackupFileStaging(const BackupFileStaging &) = delete;
    BackupFileStaging &operator=(const BackupFileStaging &) = delete;

    QString targetPath(const QString &fileName) const;
    bool isStaged(const QString &fileName) const { return m_staged.contains(fileName); }
    // Copies localPath under a temporary name for fileName (a file of the folder, such as a
    // backup file name, or one in a sub-folder: "ab/ab12...") and returns the copy's path. A
    // missing sub-folder is made, and removed again unless the files are committed. Raises
    // "can not write %1. %2".
    QString stageThrow(const QString &localPath, const QString &fileName);
    // Raises "can not overwrite %1" or "can not write %1. %2", or what lastStep raised.
    void commitThrow(const std::function<void()> &lastStep);

private:
    void rollBack(const QStringList &placed, const QStringList &setAside);
    void removeMadeFolders();

    QString m_folder;
    QHash<QString, QString> m_staged;   // file name -> temporary copy
    QStringList m_madeFolders;          // sub-folders this staging made
};
