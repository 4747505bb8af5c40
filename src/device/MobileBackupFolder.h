#pragma once

#include "device/Export.h"

#include <QSet>
#include <QString>

// The computer's side of a device backup: the backup root and the one folder below it that a
// run lets the phone work in (<root>/<UDID>). Every name the phone sends passes through here
// before it touches the disk: it must be relative, begin with that folder, have no empty, "."
// or ".." part and no control character, and no existing part of it may be a link. A name
// that fails raises MobileBackupError (unsafeName). Files are opened without following links.
class PARLEWICK_DEVICE_EXPORT MobileBackupFolder
{
public:
    MobileBackupFolder(const QString &root, const QString &folderName);

    QString root() const { return m_root; }
    QString folderPath() const { return m_root + QLatin1Char('/') + m_folderName; }

    // Whether the phone's name is acceptable in form (nothing on disk is looked at).
    bool isSafeName(const QString &name) const;
    // The local path for the phone's name; raises for an unsafe one or one through a link.
    QString localPathThrow(const QString &name);

    // Makes the folder and its parents below the root (owner only); errno on failure, else 0.
    int makeFolders(const QString &localPath);
    // Removes a file, link or whole folder tree without following links; errno, 0 when gone.
    static int removeTree(const QString &localPath);
    // Opens for writing a new file in place of whatever the name held (so a second name of
    // the old file keeps the old bytes); -1 with errno set on failure.
    int createFile(const QString &localPath);
    static int openForReading(const QString &localPath);
    // Copies a file or a folder tree; links are left out. errno, 0 on success.
    int copyTree(const QString &from, const QString &to);

    // A folder the phone changed may have been replaced: its parts are looked at again.
    void forgetCheckedFolders() { m_checkedFolders.clear(); }

private:
    void checkNoLinksThrow(const QString &name, const QString &local);

    QString m_root;
    QString m_folderName;
    QSet<QString> m_checkedFolders;   // existing folders seen to be no links
};
