#pragma once

#include "kik/KikDataSet.h"
#include "workers/Export.h"

#include <QString>
#include <QThread>

#include <memory>

class AbsKikDb;
class AbsProgressTarget;

// Opens a Kik database and reads all of it into a new data set in the background, so that the
// window keeps painting while a large source loads; its messages are sorted there too, ready
// to be shown. Read dataSet() and sortedMessages() after the task succeeded.
class PARLEWICK_WORKERS_EXPORT LoadKikDbThread : public QThread
{
    Q_OBJECT
public:
    LoadKikDbThread(std::unique_ptr<AbsKikDb> db, const QString &title, AbsProgressTarget *progress, QObject *parent = nullptr);
    ~LoadKikDbThread() override;

    KikDataSetPtr dataSet() const { return m_dataSet; }
    KikMessageList sortedMessages() const { return m_sortedMessages; }   // ascending

protected:
    void run() override;

private:
    std::unique_ptr<AbsKikDb> m_db;
    QString m_title;
    AbsProgressTarget *m_progress;
    KikDataSetPtr m_dataSet;
    KikMessageList m_sortedMessages;
};
