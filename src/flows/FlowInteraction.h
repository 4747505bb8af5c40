#pragma once

#include "app/Secret.h"
#include "device/DeviceDescription.h"
#include "flows/Export.h"
#include "kik/KikDataSet.h"
#include "workers/ExportMessagesThread.h"

#include <QList>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

#include <memory>

class AbsKikDb;
class AbsProgressTarget;
class BackupManifest;
class BackupWriteLock;
class QThread;
struct KikAccountSummary;

// One background task of a workflow in front of the front end's progress display.
class PARLEWICK_FLOWS_EXPORT FlowTask
{
public:
    virtual ~FlowTask() = default;
    // The target to build the task's worker with.
    virtual AbsProgressTarget &target() = 0;
    // Runs the worker to its end. True when it succeeded (a success text is shown as the front
    // end shows results); false when it failed or was canceled and the user was told. A front end
    // may raise instead of returning false.
    virtual bool run(QThread &worker) = 0;
};

// How an export is to be written; an empty path is no export.
struct PARLEWICK_FLOWS_EXPORT ExportChoice
{
    QString path;
    QString kind;   // txt, doc, csv, pdf, html (anything else is refused by the export rules)
    EmojiStyle emoji = EmojiStyle::Placeholder;
    ExportMessagesCsv::FormulaGuard csvGuard = ExportMessagesCsv::FormulaGuard::On;
};

// Everything a workflow asks of the person using it, and everything it tells: the window answers
// with its dialogs and message boxes, the command-line tool with its options and the terminal.
// A question the user declines or a dialog closed returns false or an empty value, after which
// the workflow stops without a word; a front end may raise instead (the tool's usage errors).
class PARLEWICK_FLOWS_EXPORT FlowInteraction
{
public:
    enum class Question {
        CloseKik,          // the phone is about to be written: Kik must be closed on it
        RestoreNotes,      // a device backup goes back onto the phone
        WriteIntoBackup,   // messages are about to be merged into an iTunes backup
    };
    enum class BackupUse { Read, Write };
    enum class Warning {
        Stop,            // any reason to stop
        CloudBackupOn,   // the phone backs up to iCloud and would not take a restore
    };

    virtual ~FlowInteraction() = default;

    // A task that other steps follow: a cancel that comes after its success stops the workflow.
    virtual std::unique_ptr<FlowTask> task() = 0;
    // The task that ends the workflow (it commits its work): its success stands.
    virtual std::unique_ptr<FlowTask> lastTask() = 0;
    // The last task of an export. A front end may leave its success text unshown and say it in
    // exported(), with the place (the window does, after its progress dialog has closed).
    virtual std::unique_ptr<FlowTask> exportTask() = 0;

    // The iTunes backup to read or write, its metadata read and finished; null when none.
    virtual QSharedPointer<BackupManifest> chooseBackup(BackupUse use) = 0;
    // Unlocks an encrypted backup with the user's password (backup->setKeybag); false when the
    // user gave up. *password, when asked for, receives the password that unlocked it.
    virtual bool unlockBackup(const QSharedPointer<BackupManifest> &backup, Secret *password) = 0;
    // The Kik account named before any was found (user name or id); empty for none.
    virtual QString givenKikAccount() = 0;
    // One of several Kik accounts of a backup (its id); empty when none was chosen.
    virtual QString chooseKikAccount(const QList<KikAccountSummary> &accounts) = 0;
    // The local database to back up into, existing or new; empty when none was chosen.
    virtual QString chooseLocalDb(const QStringList &existingNames, const QString &proposedName) = 0;
    // How and where to export; `what` names the messages that go ("the chat with Bob (3 messages)").
    virtual ExportChoice chooseExport(const QString &what) = 0;
    virtual bool confirm(Question question, const QString &text) = 0;
    // Takes the writer's lock of a backup, waiting or refusing while another writer holds it.
    virtual void acquireWriteLock(BackupWriteLock &lock) = 0;

    // Reads a Kik store into a data set behind the front end's progress; null when that failed
    // (the user was told) or was canceled.
    virtual KikDataSetPtr loadKik(std::unique_ptr<AbsKikDb> store, const QString &title) = 0;
    // A phone's Kik data was read (again): the window lists the phone with its chats.
    virtual void showPhone(const DeviceDescription &device, const KikDataSetPtr &data) = 0;
    // A phone was written. Restarting: it restores a backup and comes back by itself.
    virtual void phoneWritten(const DeviceDescription &device, bool restarting) = 0;
    // A backup into the local database storedName ended; it succeeded or not.
    virtual void localDbWritten(const QString &storedName, bool succeeded) = 0;
    // The messages went into Kik: onto the phone (backup null) or into the backup.
    virtual void transferred(int messages, const BackupManifest *backup) = 0;
    // An export ended well: that many messages went to path (a file, or the folder of the pages).
    virtual void exported(int messages, const QString &path) = 0;

    // Something the user must read before the workflow goes on.
    virtual void tell(const QString &text) = 0;
    // Why the workflow stops here (not a failure of the program: the phone or the user's choice).
    virtual void warn(Warning warning, const QString &text) = 0;
    // A passing remark on the way (the window logs it).
    virtual void mention(const QString &text) = 0;
};
