#pragma once

#include "kik/KikMessage.h"
#include "workers/Export.h"

#include <QString>
#include <QThread>

class AbsProgressTarget;

// Merges messages, with their users, chats and group members, into a local database and
// copies the pictures and attachment files they refer to into its folders. Everything goes
// in one transaction: a cancel or an error leaves the database as it was. A message is
// stored once: by its uid when that names it alone, otherwise by what it is. A message that the
// source lists in several chats of the selection is stored in each of them. The records belong
// to a data set the caller keeps alive until the thread has ended.
class PARLEWICK_WORKERS_EXPORT BackupKikMessagesThread : public QThread
{
    Q_OBJECT
public:
    // How the success is worded: the Backup commands back messages up, an import imports them.
    enum class Wording { BackedUp, Imported };

    // The messages are copied; the thread puts them in the one message order.
    BackupKikMessagesThread(const KikMessageList &messages, const QString &databaseFolder, AbsProgressTarget *progress,
                            QObject *parent = nullptr);
    void setWording(Wording wording) { m_wording = wording; }
    ~BackupKikMessagesThread() override;

protected:
    void run() override;

private:
    KikMessageList m_messages;
    QString m_databaseFolder;
    AbsProgressTarget *m_progress;
    Wording m_wording = Wording::BackedUp;
};
