#pragma once

#include "kik/KikDataSet.h"
#include "ui/Export.h"

#include <QList>
#include <QWeakPointer>

// All messages of whole sources in display order, kept per data set. Sorting a million
// messages takes most of a second, so a source's list is sorted once, in the background
// while it loads, and showing the source again costs nothing.
class PARLEWICK_UI_EXPORT MessageOrderCache
{
public:
    void remember(const KikDataSetPtr &dataSet, const KikMessageList &ascending);
    // The data set's messages sorted in that order; sorted now when not remembered.
    KikMessageList allMessages(const KikDataSetPtr &dataSet, Qt::SortOrder order) const;

private:
    struct Entry
    {
        QWeakPointer<KikDataSet> dataSet;
        KikMessageList ascending;
    };
    QList<Entry> m_entries;
};
