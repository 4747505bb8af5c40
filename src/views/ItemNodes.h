#pragma once

#include "device/DeviceDescription.h"
#include "kik/KikDataSet.h"
#include "views/AbsTreeItemModel.h"
#include "views/Export.h"

#include <QIcon>

// The node kinds of the tree of data sources (ItemModelMain).
enum ItemNodeType {
    RootDeviceNodeType = 1,
    RootLocalDbNodeType = 2,   // a plain ItemNode
    IOSDeviceNodeType = 3,
    LocalDbNodeType = 5,
    ChatSessionNodeType = 6,
};

using ItemNode = AbsTreeItemModel::ItemNode;

class PARLEWICK_VIEWS_EXPORT DevicesRootNode : public ItemNode
{
public:
    explicit DevicesRootNode(const QString &nodeText)
        : ItemNode(RootDeviceNodeType, nodeText)
    {
    }
};

// A source of Kik records; the node holds the data set loaded from it.
class PARLEWICK_VIEWS_EXPORT SourceItemNode : public ItemNode
{
public:
    KikDataSetPtr dataSet = KikDataSetPtr::create();

protected:
    SourceItemNode(int nodeType, const QString &nodeText)
        : ItemNode(nodeType, nodeText)
    {
    }
};

class PARLEWICK_VIEWS_EXPORT PhoneItemNode : public SourceItemNode
{
public:
    explicit PhoneItemNode(const DeviceDescription &description)
        : SourceItemNode(IOSDeviceNodeType, description.deviceName)
        , device(description)
    {
    }

    DeviceDescription device;
    bool loadFailed = false;   // its last load failed or was cancelled: it waits for Retry
};

class PARLEWICK_VIEWS_EXPORT LocalDbItemNode : public SourceItemNode
{
public:
    explicit LocalDbItemNode(const QString &name)
        : SourceItemNode(LocalDbNodeType, name)
    {
    }
};

// One chat of its parent's data set.
class PARLEWICK_VIEWS_EXPORT ChatItemNode : public ItemNode
{
public:
    ChatItemNode(KikChat *shownChat, const QString &nodeText)
        : ItemNode(ChatSessionNodeType, nodeText)
        , chat(shownChat)
    {
    }

    KikChat *chat;   // owned by the parent's data set
    QIcon picture;   // the icon as shown, read on first use
};
