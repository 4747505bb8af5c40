#pragma once

#include "kik/Export.h"

#include <QSet>
#include <QString>

// Shares one copy of texts that repeat across many records (application ids, picture paths).
class PARLEWICK_KIK_EXPORT KikStringPool
{
public:
    QString intern(const QString &text)
    {
        if (text.isEmpty())
            return QString();
        return *m_texts.insert(text);
    }

private:
    QSet<QString> m_texts;
};
