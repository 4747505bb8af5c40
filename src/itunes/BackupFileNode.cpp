#include "itunes/BackupFileNode.h"

BackupFileNode::BackupFileNode(const QString &name, const MbdbRecord &record, const QString &backupName, BackupFileNode *parent)
    : m_name(name)
    , m_record(record)
    , m_backupName(backupName)
    , m_parent(parent)
{
}

BackupFileNode::~BackupFileNode()
{
    qDeleteAll(m_children);
}

BackupFileNode *BackupFileNode::child(const QString &name, Qt::CaseSensitivity cs) const
{
    for (BackupFileNode *node : m_children) {
        if (node->m_name.compare(name, cs) == 0)
            return node;
    }
    return nullptr;
}

BackupFileNode *BackupFileNode::addChild(const QString &name, const MbdbRecord &record, const QString &backupName)
{
    auto *node = new BackupFileNode(name, record, backupName, this);
    m_children.append(node);
    return node;
}

void BackupFileNode::setRecord(const MbdbRecord &record, const QString &backupName)
{
    m_record = record;
    m_backupName = backupName;
}
