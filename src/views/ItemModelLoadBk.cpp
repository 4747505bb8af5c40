#include "views/ItemModelLoadBk.h"

#include "app/ColourRoles.h"
#include "itunes/BackupManifest.h"
#include "views/ViewIcons.h"

#include <QBrush>
#include <QLocale>
#include <QSize>

ItemModelLoadBk::BackupItemNode::BackupItemNode(const QSharedPointer<BackupManifest> &listed)
    : ItemNode(Type, listed->displayName())
    , backup(listed)
{
}

ItemModelLoadBk::ItemModelLoadBk(QObject *parent)
    : AbsTreeItemModel(parent)
{
}

int ItemModelLoadBk::columnCount(const QModelIndex &) const
{
    return 5;
}

QVariant ItemModelLoadBk::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case 0:
        return QStringLiteral("Name");
    case 1:
        return QStringLiteral("Backup Date");
    case 2:
        return QStringLiteral("Path");
    case 3:
        return QStringLiteral("iOS");
    case 4:
        return QStringLiteral("Status");
    default:
        return QVariant();
    }
}

QSharedPointer<BackupManifest> ItemModelLoadBk::backupAt(const QModelIndex &index)
{
    auto *node = dynamic_cast<BackupItemNode *>(nodeOf(index));
    return node ? node->backup : QSharedPointer<BackupManifest>();
}

QVariant ItemModelLoadBk::data(const QModelIndex &index, int role) const
{
    const QSharedPointer<BackupManifest> backup = backupAt(index);
    if (!backup)
        return QVariant();
    switch (role) {
    case Qt::ToolTipRole:
        // Greyed rows say why, wherever the pointer rests on them.
        if (!backup->isFinished())
            return backup->unfinishedText();
        [[fallthrough]];
    case Qt::DisplayRole:
        switch (index.column()) {
        case 0:
            return backup->displayName();
        case 1:
            return QLocale::system().toString(backup->backupDate(), QLocale::ShortFormat);
        case 2:
            return backup->folder();
        case 3:
            return backup->productVersion();
        case 4:
            return backup->isFinished() ? QStringLiteral("finished")
                                        : QStringLiteral("unfinished: %1").arg(backup->unfinishedReason());
        default:
            return QVariant();
        }
    case Qt::ForegroundRole: {
        const ColourRoles roles = ColourRoles::current();
        return QBrush(backup->isFinished() ? roles.window.text : roles.disabledText);
    }
    case Qt::DecorationRole:
        if (index.column() == 0)
            return resourceViewIcon(QStringLiteral(":res/iphone.svg"));
        return QVariant();
    case Qt::BackgroundRole: {
        const ColourRoles roles = ColourRoles::current();
        return QBrush(index.row() % 2 == 1 ? roles.window.background : roles.windowShade);
    }
    case Qt::SizeHintRole:
        return QSize(0, 25);
    default:
        return QVariant();
    }
}

Qt::ItemFlags ItemModelLoadBk::flags(const QModelIndex &index) const
{
    // An unfinished backup is listed so that the user sees it, but cannot be picked.
    const QSharedPointer<BackupManifest> backup = backupAt(index);
    if (backup && !backup->isFinished())
        return Qt::NoItemFlags;
    return AbsTreeItemModel::flags(index);
}

ItemModelLoadBk::BackupItemNode *ItemModelLoadBk::insert(const QSharedPointer<BackupManifest> &backup)
{
    const QDateTime date = backup->backupDate();
    const QList<ItemNode *> &rows = topLevelNodes();
    int position = 0;
    while (position < rows.size() && !(static_cast<BackupItemNode *>(rows[position])->backup->backupDate() < date))
        ++position;
    auto *node = new BackupItemNode(backup);
    insertNode(nullptr, position, node);
    return node;
}
