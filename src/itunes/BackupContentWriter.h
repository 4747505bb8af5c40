#pragma once

#include "itunes/BackupFileStaging.h"
#include "itunes/Export.h"
#include "itunes/ManifestDb.h"

#include <QByteArray>
#include <QHash>
#include <QSharedPointer>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class BackupManifest;
class BackupKeybag;
class BackupWriteLock;
class Sqlite3DB;

// Puts files into a loaded iTunes backup of either format, plain or encrypted, all at once.
// Each file is stored under a temporary name (in an encrypted backup encrypted with its own
// key: the key the file already had, or a fresh one wrapped with the class key of the files
// beside it) and its record changed in a private copy of the file list (Manifest.mbdb, or
// Manifest.db decrypted when it is encrypted). commitThrow writes the new list, reads it back
// and checks it before anything is swapped in; until then, and after any failure, the backup
// is byte for byte as it was. Manifest.plist, Status.plist and Info.plist are never touched.
class PARLEWICK_ITUNES_EXPORT BackupContentWriter
{
public:
    // lock must be held for the backup's folder. Throws AppError for an encrypted
    // backup whose keybag was not unlocked, and when the backup's file list is no longer the
    // one it loaded.
    BackupContentWriter(const BackupManifest &backup, const BackupWriteLock &lock);
    ~BackupContentWriter();
    BackupContentWriter(const BackupContentWriter &) = delete;
    BackupContentWriter &operator=(const BackupContentWriter &) = delete;

    // The list has a regular file at domain/path, or one was put there in this run.
    bool holdsFile(const QString &domain, const QString &path);
    // Stores the content of localFile as domain/path, replacing what the backup held there.
    void putFileThrow(const QString &localFile, const QString &domain, const QString &path);
    // Writes the list, checks it, and swaps everything in. checkCanceled may throw to stop
    // before the swap.
    void commitThrow(const std::function<void()> &checkCanceled);

private:
    struct Existing;
    QString stagingName(const QString &backupName) const;
    Existing existingFileThrow(const QString &name);
    quint8 siblingClassThrow(const QString &domain, const QString &path);
    quint8 findSiblingClassThrow(const QString &domain, const QString &parent);
    QByteArray classKeyThrow(quint8 protectionClass) const;
    void recordInFilesDbThrow(const Existing &existing, const MbdbRecord &rec);
    void addFolderRowsThrow(const QString &domain, const QString &path, quint32 time);
    QString writeListThrow();
    void checkListThrow(const QString &plainList);
    void checkStoredThrow(const QString &name, const MbdbRecord &rec, const QString &copy) const;
    void checkListUnchangedThrow() const;

    const BackupManifest &m_backup;
    bool m_filesDb = false;                        // Manifest.db, else Manifest.mbdb
    QSharedPointer<const BackupKeybag> m_keybag;   // set for an encrypted backup
    std::unique_ptr<QTemporaryDir> m_work;         // private: plain copies and encrypted files
    BackupFileStaging m_staging;
    MbdbIndex m_index;                         // Manifest.mbdb
    std::unique_ptr<Sqlite3DB> m_db;           // the private copy of Manifest.db
    MbdbIndex m_before;                        // the list as it was, to tell new gaps from old
    QHash<QString, quint8> m_siblingClasses;   // domain-folder -> class of the files there
    QHash<QString, QString> m_written;         // backup name of each file put in -> its staged copy
};
