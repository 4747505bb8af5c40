#include "workers/LoadKikDbThread.h"

#include "kik/AbsKikDb.h"
#include "kik/KikRules.h"
#include "workers/AbsProgressTarget.h"

LoadKikDbThread::LoadKikDbThread(std::unique_ptr<AbsKikDb> db, const QString &title, AbsProgressTarget *progress,
                                 QObject *parent)
    : QThread(parent), m_db(std::move(db)), m_title(title), m_progress(progress)
{
}

LoadKikDbThread::~LoadKikDbThread() = default;

void LoadKikDbThread::run()
{
    postProgress(m_progress, m_title, 0, QString());
    try {
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
        postSuccess(m_progress, QString());
    } catch (int) {
    } catch (const std::exception &error) {
        postError(m_progress, QString::fromUtf8(error.what()));
    } catch (...) {
        postError(m_progress, QStringLiteral("Loading the messages stopped on an unexpected error."));
    }
}
