#pragma once

#include "ui/Export.h"

#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

#include <functional>

class BackupManifest;
class Secret;
class QWidget;
struct ChoiceEntry;
struct KikAccountSummary;

// The questions commands ask through dialogs. Each is a replaceable function so that tests
// answer them without a dialog blocking; standard() gives the program's own dialogs.
struct PARLEWICK_UI_EXPORT CommandDialogs
{
    // The iTunes backup to load, read and ready to open; null when cancelled.
    std::function<QSharedPointer<BackupManifest>()> chooseBackup;
    // The iTunes backup to write messages into, in the same list under its own words; null when
    // cancelled.
    std::function<QSharedPointer<BackupManifest>()> chooseBackupToWrite;
    // Unlocks an encrypted backup with the user's password; false when the user gave up.
    // *password, when asked for, receives the password that unlocked it (a restore hands it on).
    std::function<bool(const QSharedPointer<BackupManifest> &backup, Secret *password)> unlockBackup;
    // The local database to back up into, existing or new; empty when cancelled.
    std::function<QString(const QStringList &existingNames, const QString &proposedName)> chooseLocalDb;
    // What an export goes into and how: the path (empty when cancelled), the chosen filter and
    // whether emoji are written as characters. `what` names the messages that go.
    struct ExportChoice
    {
        QString path;
        QString filter;
        bool emojiAsCharacters = false;
    };
    std::function<ExportChoice(const QString &title, const QString &initialPath, const QString &filters, const QString &what)>
        chooseExportFile;

    // One of the offered phones (the entry's node); nullptr when cancelled.
    std::function<void *(const QString &title, const QList<ChoiceEntry> &entries)> chooseDevice;

    // One of several Kik accounts of a backup (its id); empty when cancelled.
    std::function<QString(const QList<KikAccountSummary> &accounts)> chooseKikAccount;

    static CommandDialogs standard(QWidget *parent);
};
