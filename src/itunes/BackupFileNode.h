#pragma once

#include "itunes/MbdbRecord.h"

#include <QList>
#include <QString>

// One node of a backup's file tree: a path component with a copy of its record. Children are
// owned and freed with the node.
class _BackupFileNode
{
public:
    _BackupFileNode(const QString &name, const MbdbRecord &record, const QString &backupName, _BackupFileNode *parent);
    ~_BackupFileNode();
    _BackupFileNode(const _BackupFileNode &) = delete;
    _BackupFileNode &operator=(const _BackupFileNode &) = delete;

    const QString &name() const { return m_name; }
    const MbdbRecord &record() const { return m_record; }
    // File holding the content in the backup folder; empty for nodes made up for the tree.
    const QString &backupName() const { return m_backupName; }
    _BackupFileNode *parent() const { return m_parent; }
    const QList<_BackupFileNode *> &children() const { return m_children; }
    _BackupFileNode *child(const QString &name, Qt::CaseSensitivity cs = Qt::CaseSensitive) const;
    bool isFolder() const { return m_record.isFolder(); }

    _BackupFileNode *addChild(const QString &name, const MbdbRecord &record, const QString &backupName);
    void setRecord(const MbdbRecord &record, const QString &backupName);

private:
    QString m_name;
    MbdbRecord m_record;
    QString m_backupName;
    _BackupFileNode *m_parent;
    QList<_BackupFileNode *> m_children;
};
