#pragma once

#include "itunes/Export.h"
#include "itunes/MbdbRecord.h"

#include <QList>
#include <QString>

// One node of a backup's file tree: a path component with a copy of its record. Children are
// owned and freed with the node.
class PARLEWICK_ITUNES_EXPORT BackupFileNode
{
public:
    BackupFileNode(const QString &name, const MbdbRecord &record, const QString &backupName, BackupFileNode *parent);
    ~BackupFileNode();
    BackupFileNode(const BackupFileNode &) = delete;
    BackupFileNode &operator=(const BackupFileNode &) = delete;

    const QString &name() const { return m_name; }
    const MbdbRecord &record() const { return m_record; }
    // File holding the content in the backup folder; empty for nodes made up for the tree.
    const QString &backupName() const { return m_backupName; }
    BackupFileNode *parent() const { return m_parent; }
    const QList<BackupFileNode *> &children() const { return m_children; }
    BackupFileNode *child(const QString &name, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;
    bool isFolder() const { return m_record.isFolder(); }

    BackupFileNode *addChild(const QString &name, const MbdbRecord &record, const QString &backupName);
    void setRecord(const MbdbRecord &record, const QString &backupName);

private:
    QString m_name;
    MbdbRecord m_record;
    QString m_backupName;
    BackupFileNode *m_parent;
    QList<BackupFileNode *> m_children;
};
