#pragma once

#include "itunes/BackupCategoryIndex.h"
#include "itunes/Export.h"
#include "itunes/ManifestDb.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QString>

#include <memory>

class BackupFileNode;

// The browsable tree of a backup's files, built from its manifest index: app domains under
// "Applications" (or "AppDomain<Group>"), the shared-root domains at the top, any other
// domain under a node of its own name.
class PARLEWICK_ITUNES_EXPORT BackupFileTree
{
public:
    BackupFileTree();
    ~BackupFileTree();

    // Replaces any earlier tree. Entries whose names would climb out of their folder ("..",
    // ".", empty components, backslashes) are left out of the tree and counted.
    void build(const MbdbIndex &index);

    bool isEmpty() const { return m_allNodes.isEmpty(); }
    const BackupFileNode *root() const { return m_root.get(); }
    const BackupFileNode *node(const QString &fullPath) const { return m_byPath.value(fullPath, nullptr); }
    const BackupFileNode *topLevelNode(const QString &name) const { return m_topLevel.value(name, nullptr); }
    const QList<const BackupFileNode *> &allNodes() const { return m_allNodes; }
    const BackupCategoryIndex &categories() const { return m_categories; }
    int refusedCount() const { return m_refused; }

    // Where domain/path sits in the tree ("Applications/com.kik.chat/Documents/kik.sqlite").
    static QString treePath(const QString &domain, const QString &path);
    // Whether every component of a tree path is a plain name that stays inside its folder.
    static bool isSafeTreePath(const QString &treePath);

private:
    struct Place
    {
        QString topLevel;   // empty for the domains sharing the root
        QString prefix;     // tree path of the domain's root
        BackupFileNode *topNode = nullptr;
    };
    static Place placeOf(const QString &domain);
    BackupFileNode *topLevelFor(const QString &name);
    void clear();

    std::unique_ptr<BackupFileNode> m_root;
    QHash<QString, BackupFileNode *> m_byPath;
    QMap<QString, BackupFileNode *> m_topLevel;
    QList<const BackupFileNode *> m_allNodes;
    BackupCategoryIndex m_categories;
    int m_refused = 0;
};
