#include "views/ItemModelMain.h"

#include "kik/KikRules.h"
#include "views/ViewIcons.h"

#include <QImage>
#include <QSize>

#include <algorithm>

ItemModelMain::ItemModelMain(QObject *parent)
    : AbsTreeItemModel(parent)
    , m_deviceRoot(new DevicesRootNode(QObject::tr("IDS_ROOT_DEVICE")))
    , m_localDbRoot(new ItemNode(RootLocalDbNodeType, QObject::tr("IDS_ROOT_LOCALDB")))
{
    appendNode(nullptr, m_deviceRoot);
    appendNode(nullptr, m_localDbRoot);
}

PhoneItemNode *ItemModelMain::addDevice(const DeviceDescription &description)
{
    auto *node = new PhoneItemNode(description);
    appendNode(m_deviceRoot, node);
    emitLayoutChanged();
    return node;
}

LocalDbItemNode *ItemModelMain::addLocalDb(const QString &name)
{
    auto *node = new LocalDbItemNode(name);
    appendNode(m_localDbRoot, node);
    emitLayoutChanged();
    return node;
}

void ItemModelMain::addChats(SourceItemNode *node)
{
    QList<KikChat *> chats = node->dataSet->allChats();
    std::stable_sort(chats.begin(), chats.end(), chatNewerThan);
    for (KikChat *chat : std::as_const(chats))
        appendNode(node, new ChatItemNode(chat, chatDisplayName(chat)));
    emitLayoutChanged();
}

int ItemModelMain::columnCount(const QModelIndex &) const
{
    return 1;
}

QVariant ItemModelMain::data(const QModelIndex &index, int role) const
{
    ItemNode *node = nodeOf(index);
    if (!node)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return node->text;
    case Qt::ToolTipRole:
        return toolTip(node);
    case Qt::DecorationRole:
        return icon(node);
    case Qt::SizeHintRole:
        return QSize(0, 25);
    default:
        return QVariant();
    }
}

// A group's chat also lists its members, admins marked.
QString ItemModelMain::toolTip(const ItemNode *node)
{
    if (node->type != ChatSessionNodeType)
        return node->text;
    const KikChat *chat = static_cast<const ChatItemNode *>(node)->chat;
    const QString members = chat && chat->user && chat->user->is_group ? groupMembersText(chat->user) : QString();
    return members.isEmpty() ? node->text : node->text + QStringLiteral("\nMembers: ") + members;
}

QVariant ItemModelMain::headerData(int, Qt::Orientation, int) const
{
    return QVariant();
}

QIcon ItemModelMain::icon(ItemNode *node)
{
    switch (node->type) {
    case RootDeviceNodeType:
        return resourceViewIcon(QStringLiteral(":res/devices.svg"));
    case RootLocalDbNodeType:
        return resourceViewIcon(QStringLiteral(":res/databases.svg"));
    case IOSDeviceNodeType:
        return resourceViewIcon(QStringLiteral(":res/iphone.svg"));
    case LocalDbNodeType:
        return resourceViewIcon(QStringLiteral(":res/database.svg"));
    case ChatSessionNodeType: {
        auto *chatNode = static_cast<ChatItemNode *>(node);
        if (chatNode->picture.isNull())
            chatNode->picture = chatPicture(chatNode->chat);
        return chatNode->picture;
    }
    default:
        return QIcon();
    }
}

QIcon ItemModelMain::chatPicture(const KikChat *chat)
{
    const KikUser *user = chat ? chat->user : nullptr;
    if (!user)
        return resourceViewIcon(QStringLiteral(":res/contact.svg"));
    if (user->is_group)
        return resourceViewIcon(QStringLiteral(":res/group.svg"));
    QImage photo;
    if (!user->photo_path.isEmpty() && (photo.load(user->photo_path, "JPEG") || photo.load(user->photo_path, "PNG")))
        return viewIcon(photo);
    return resourceViewIcon(QStringLiteral(":res/contact.svg"));
}
