#pragma once

#include "kik/KikDataSet.h"
#include "ui/Export.h"
#include "views/ItemNodes.h"

class ItemModelMain;

// Which messages a command takes (the four variants of a command family).
enum class MessageVariant {
    Selection,   // the selected rows of the message list
    Chat,        // the messages the list shows
    All,         // every message of the source
    Toolbar,     // the selection if any, else the chat, else all
};

// The messages a command works on, with the data set that owns them: it stays alive while the
// command runs even when its node goes away meanwhile. `what` names them for the dialogs: "3
// selected messages of Bob", "the chat with Bob (120 messages)", "all 12 chats of Archive".
struct PARLEWICK_UI_EXPORT CommandMessages
{
    KikDataSetPtr dataSet;
    KikMessageList messages;
    QString what;

    static QString selectionWords(int messages, const QString &chatOrSource);
    static QString chatWords(const QString &chat, int messages);
    static QString allChatsWords(int chats, const QString &source);
    // The number of chats the messages belong to.
    static int chatsOf(const KikMessageList &messages);
};

// Where commands stand in the tree of sources: the current node, the data source S it belongs
// to (the node itself, or the parent of a chat node) and how many phones are listed. The
// enable rules of the File menu, the tool bar and the context menus are read from it.
struct PARLEWICK_UI_EXPORT CommandScope
{
    ItemNode *current = nullptr;
    SourceItemNode *source = nullptr;
    int devices = 0;

    static CommandScope of(const ItemModelMain &model, ItemNode *current);
    static bool isDataSource(const ItemNode *node);

    bool sourceIsDevice() const { return source && source->type == IOSDeviceNodeType; }
    bool sourceIsLocalDb() const { return source && source->type == LocalDbNodeType; }
    bool currentIsChat() const { return current && current->type == ChatSessionNodeType; }

    bool canBackup() const { return sourceIsDevice(); }
    bool canTransferToOtherPhone() const { return sourceIsDevice() && devices > 1; }
    bool canTransferToPhone() const { return sourceIsLocalDb() && devices > 0; }
    bool canExportOrPrint() const { return sourceIsDevice() || sourceIsLocalDb(); }
    bool canDelete() const { return sourceIsLocalDb(); }
};
