#pragma once

#include "itunes/Export.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>

// Files put into an iTunes backup folder all together or not at all. Each file is first copied
// to a temporary name beside its place; commitThrow syncs the copies to the disk, gives every
// file it replaces a second name, moves the added files into place, then the replaced ones,
// and the file staged last (the backup's file list) only once those are on the disk; then it
// runs the caller's last step. When anything fails, every file in the folder is put back as it
// was. Copies never committed are removed on destruction. Moving the last file is the commit:
// one cut short before it is taken back by the next writer, one cut short after it is finished
// (recoverInterrupted). docs/architecture.md tells what readers see meanwhile.
class PARLEWICK_ITUNES_EXPORT BackupFileStaging
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
    // Settles what a commit cut short (the program killed, the machine stopped) left in the
    // folder, before anything else is staged: the old files are put back and the added ones
    // removed, unless the last file (lastFileName) was in place already; then the old ones go.
    // Staged copies left go too.
    void recoverInterrupted(const QString &lastFileName);
    // A commit into folder was cut short before its last file was put in place, and no writer
    // has settled it yet: the folder's content is still the old one, and a file replaced
    // already has its old content at oldContentPath. Reading it writes nothing.
    static bool isCutShortBeforeCommit(const QString &folder, const QString &lastFileName);
    static QString oldContentPath(const QString &path);

private:
    static bool isCommitted(const QString &folder, const QString &lastFileName);
    void makeFoldersThrow(const QString &target);
    void writeAddedListThrow();
    void placeThrow(const QString &name, QStringList *placed);
    QStringList stagedFolders() const;
    void syncThrow(const QStringList &folders, const QStringList &files) const;
    void rollBack(const QStringList &placed, const QStringList &setAside);
    void removeMadeFolders();

    QString m_folder;
    QHash<QString, QString> m_staged;   // file name -> temporary copy
    QStringList m_order;                // the file names as staged
    QStringList m_madeFolders;          // sub-folders this staging made
};
