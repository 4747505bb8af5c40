#pragma once

#include "views/AbsTreeItemModel.h"
#include "views/Export.h"
#include "views/ItemNodes.h"

#include <QIcon>

// The tree of data sources: connected devices and local databases, each with its chats.
class PARLEWICK_VIEWS_EXPORT ItemModelMain : public AbsTreeItemModel
{
    Q_OBJECT
public:
    explicit ItemModelMain(QObject *parent = nullptr);

    DevicesRootNode *deviceRoot() const { return m_deviceRoot; }
    ItemNode *localDbRoot() const { return m_localDbRoot; }

    PhoneItemNode *addDevice(const DeviceDescription &description);
    LocalDbItemNode *addLocalDb(const QString &name);
    // One node per chat of the node's data set, newest chat first.
    void addChats(SourceItemNode *node);

    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    static QIcon icon(ItemNode *node);
    static QString toolTip(const ItemNode *node);
    static QIcon chatPicture(const KikChat *chat);

    DevicesRootNode *m_deviceRoot;
    ItemNode *m_localDbRoot;
};
