#pragma once

#include <QSharedPointer>
#include <QString>

class BackupManifest;
class MainWindow;
struct KikBackupLocation;

// Loads Kik's messages out of an iTunes backup the user picks (asking for the password of an
// encrypted one) and backs them all up into a local database.
class ImportItunesCommand
{
public:
    explicit ImportItunesCommand(MainWindow &window)
        : m_window(window)
    {
    }

    // An empty proposed name proposes the backup's device name followed by "_Backup".
    void run(const QString &proposedName);
    // The same with a backup already chosen and read (readInfo).
    void importBackup(const QSharedPointer<BackupManifest> &backup, const QString &proposedName);
    // Reads the Kik store in appFolder (pictures of attachment descriptions go to thumbsFolder;
    // empty: appFolder's "thumbs") behind the progress dialog titled title, and backs all its
    // messages up into the local database the user names.
    void importKikFolder(const QString &appFolder, const QString &thumbsFolder, const QString &title,
                         const QString &proposedName);
    // Unlocks a read backup when it is encrypted, reads its file tree and copies Kik's files out
    // of it into cacheRoot (empty: the program's own cache of the backup). Returns the folder
    // to open Kik's store in, or an empty text when a step failed (the error was shown) or was
    // cancelled. notFoundText is shown when the backup holds no Kik data. With several Kik
    // accounts in the backup the user picks one. location receives where the files lay, password
    // the password that unlocked an encrypted backup.
    QString extractKik(const QSharedPointer<BackupManifest> &backup, const QString &cacheRoot,
                       const QString &notFoundText = ImportItunesCommand::notFoundText(), KikBackupLocation *location = nullptr,
                       QString *password = nullptr);
    static QString notFoundText() { return QStringLiteral("Found no Kik data in your iTunes Backup."); }

private:
    struct Extraction;
    bool runExtraction(const QSharedPointer<BackupManifest> &backup, const QString &cacheRoot, const QString &account,
                       Extraction &out);

    MainWindow &m_window;
};
