#include "ui/MessageOrderCache.h"

#include "kik/KikRules.h"

void MessageOrderCache::remember(const KikDataSetPtr &dataSet, const KikMessageList &ascending)
{
    // Lists of sources that are gone go with the next one remembered.
    m_entries.removeIf(
        [&](const Entry &entry) { return entry.dataSet.toStrongRef().isNull() || entry.dataSet.toStrongRef() == dataSet; });
    if (dataSet)
        m_entries.append({dataSet.toWeakRef(), ascending});
}

KikMessageList MessageOrderCache::allMessages(const KikDataSetPtr &dataSet, Qt::SortOrder order) const
{
    if (!dataSet)
        return {};
    if (order == Qt::AscendingOrder) {
        for (const Entry &entry : m_entries) {
            // Through a strong reference: a dead set's address may have been reused.
            if (entry.dataSet.toStrongRef() == dataSet)
                return entry.ascending;
        }
    }
    KikMessageList messages = dataSet->allMessages();
    sortMessages(messages, order);
    return messages;
}
