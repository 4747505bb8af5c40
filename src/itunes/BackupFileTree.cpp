#include "itunes/BackupFileTree.h"

#include "itunes/BackupFileNode.h"

#include <QRegularExpression>
#include <QtDebug>

namespace {

constexpr int kRefusalsLogged = 20;

}   // namespace

BackupFileTree::BackupFileTree() = default;
BackupFileTree::~BackupFileTree() = default;

BackupFileTree::Place BackupFileTree::placeOf(const QString &domain)
{
    static const QRegularExpression appDomain(QStringLiteral("^AppDomain([^-]*)-(.+)"));
    static const QString sharedRoot =
        QStringLiteral("=Domain=MediaDomain=RootDomain=HomeDomain=SystemPreferencesDomain=MobileDeviceDomain=WirelessDomain="
                       "DatabaseDomain=CameraRollDomain=HealthDomain=KeychainDomain=KeyboardDomain=ManagedPreferencesDomain=");
    if (const auto match = appDomain.match(domain); match.hasMatch()) {
        const QString group = match.captured(1);
        const QString top = group.isEmpty() ? QStringLiteral("Applications") : QStringLiteral("AppDomain") + group;
        return {top, top + QLatin1Char('/') + match.captured(2)};
    }
    if (sharedRoot.contains(QLatin1Char('=') + domain + QLatin1Char('=')))
        return {};
    return {domain, domain};
}

QString BackupFileTree::treePath(const QString &domain, const QString &path)
{
    const QString prefix = placeOf(domain).prefix;
    if (prefix.isEmpty())
        return path;
    // A domain's own root record (empty path) is the domain's node itself.
    return path.isEmpty() ? prefix : prefix + QLatin1Char('/') + path;
}

bool BackupFileTree::isSafeTreePath(const QString &treePath)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= treePath.size(); ++i) {
        const QChar c = i < treePath.size() ? treePath[i] : QLatin1Char('/');
        if (c == QLatin1Char('\\') || c == QChar(0))
            return false;
        if (c != QLatin1Char('/'))
            continue;
        const QStringView part = QStringView(treePath).mid(start, i - start);
        if (part.isEmpty() || part == u"." || part == u"..")
            return false;
        start = i + 1;
    }
    return true;
}

void BackupFileTree::clear()
{
    m_byPath.clear();
    m_topLevel.clear();
    m_allNodes.clear();
    m_categories.clear();
    m_refused = 0;
    m_root = std::make_unique<BackupFileNode>(QString(), MbdbRecord(), QString(), nullptr);
}

BackupFileNode *BackupFileTree::topLevelFor(const QString &name)
{
    if (BackupFileNode *node = m_topLevel.value(name, nullptr))
        return node;
    BackupFileNode *node = m_byPath.value(name, nullptr);
    if (!node || node->parent() != m_root.get()) {
        node = m_root->addChild(name, MbdbRecord(), QString());
        m_byPath.insert(name, node);
        m_allNodes.append(node);
    }
    m_topLevel.insert(name, node);
    return node;
}

void BackupFileTree::build(const MbdbIndex &index)
{
    clear();
    m_byPath.reserve(index.size());
    m_allNodes.reserve(index.size());
    QHash<QByteArray, Place> places;   // domains repeat: work each out once
    QString lastParentPath;            // sorted records come in runs under one folder
    BackupFileNode *lastParent = nullptr;
    for (const auto &it : sortedRecords(index)) {
        const MbdbRecord &rec = it.value();
        auto place = places.find(rec.domain.bytes);
        if (place == places.end())
            place = places.insert(rec.domain.bytes, placeOf(rec.domain.toString()));
        const QString path = rec.path.toString();
        const QString full = place->prefix.isEmpty() ? path
                             : path.isEmpty()        ? place->prefix
                                                     : place->prefix + QLatin1Char('/') + path;
        if (full.isEmpty())
            continue;   // a shared-root domain's own record: that is the root
        if (!isSafeTreePath(full)) {
            if (m_refused++ < kRefusalsLogged)
                qWarning("Manifest.mbdb entry refused, its name leaves its folder: %s", qUtf8Printable(full));
            continue;
        }
        if (!place->topLevel.isEmpty() && !place->topNode)
            place->topNode = topLevelFor(place->topLevel);
        BackupFileNode *&slot = m_byPath[full];
        if (slot) {
            // A node made up for a domain gets the domain's own record; other repeats are dropped.
            if (slot->backupName().isEmpty())
                slot->setRecord(rec, it.key());
            continue;
        }
        const qsizetype slash = full.lastIndexOf(QLatin1Char('/'));
        BackupFileNode *parent = m_root.get();
        if (slash >= 0) {
            const QStringView parentPath = QStringView(full).left(slash);
            if (!lastParent || parentPath != lastParentPath) {
                lastParentPath = parentPath.toString();
                lastParent = m_byPath.value(lastParentPath, m_root.get());
            }
            parent = lastParent;
        }
        slot = parent->addChild(slash < 0 ? full : full.mid(slash + 1), rec, it.key());
        m_allNodes.append(slot);
        m_categories.add(rec.domain.bytes, path, slot);
    }
}
