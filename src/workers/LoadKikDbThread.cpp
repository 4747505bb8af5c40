#include "workers/LoadKikDbThread.h"

#include "kik/AbsKikDb.h"
#include "kik/KikRules.h"
#include "workers/AbsProgressTarget.h"
#include "workers/TaskRun.h"

LoadKikDbThread::LoadKikDbThread(std::unique_ptr<AbsKikDb> db, const QString &title, AbsProgressTarget *progress, QObject *parent)
    : QThread(parent)
    , m_db(std::move(db))
    , m_title(title)
    , m_progress(progress)
{
}

LoadKikDbThread::~LoadKikDbThread() = default;

void LoadKikDbThread::run()
{
    postProgress(m_progress, m_title, 0, QString());
    runTask(m_progress, [this] {
        m_progress->throwIfCanceled();
        const KikDataSetPtr dataSet = KikDataSetPtr::create();
        m_db->open();
        m_db->load(dataSet);
        m_db->close();
        m_progress->throwIfCanceled();
        m_sortedMessages = dataSet->allMessages();
        sortMessages(m_sortedMessages);
        m_dataSet = dataSet;
        postProgress(m_progress, QString(), 100, QString());
        return QString();
    });
}
