#pragma once

#include "views/AbsTreeItemModel.h"
#include "views/Export.h"

#include <QSharedPointer>

class BackupManifest;

// The flat list of iTunes backups of the backup dialog: name, date, folder, iOS version and
// whether the phone finished the backup; newest first.
class PARLEWICK_VIEWS_EXPORT ItemModelLoadBk : public AbsTreeItemModel
{
    Q_OBJECT
public:
    class BackupItemNode : public AbsTreeItemModel::ItemNode
    {
    public:
        static constexpr int Type = 10;
        explicit BackupItemNode(const QSharedPointer<BackupManifest> &listed);
        QSharedPointer<BackupManifest> backup;
    };

    explicit ItemModelLoadBk(QObject *parent = nullptr);

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Adds a row below every backup as new or newer than this one.
    BackupItemNode *insert(const QSharedPointer<BackupManifest> &backup);
    static QSharedPointer<BackupManifest> backupAt(const QModelIndex &index);
};
