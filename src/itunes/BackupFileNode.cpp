#include "itunes/BackupFileNode.h"

_BackupFileNode::_BackupFileNode(const QString &name, const MbdbRecord &record, const QString &backupName,
                                 _BackupFileNode *parent)
    : m_name(name)
    , m_record(record)
    , m_backupName(backupName)
    , m_parent(parent)
{
}

_BackupFileNode::~_BackupFileNode()
{
    qDeleteAll(m_children);
}

_BackupFileNode *_BackupFileNode::child(const QString &name, Qt::CaseSensitivity cs) const
{
    for (_BackupFileNode *node : m_children) {
        if (node->m_name.compare(name, cs) == 0)
            return node;
    }
    return nullptr;
}

_BackupFileNode *_BackupFileNode::addChild(const QString &name, const MbdbRecord &record, const QString &backupName)
{
    auto *node = new _BackupFileNode(name, record, backupName, this);
    m_children.append(node);
    return node;
}

void _BackupFileNode::setRecord(const MbdbRecord &record, const QString &backupName)
{
    m_record = record;
    m_backupName = backupName;
}
