#pragma once

#include "kik/KikDataSet.h"
#include "ui/CommandScope.h"
#include "ui/Export.h"

#include <memory>

class AbsKikDb;
class ItemModelMain;
class PhonePasswords;
class ProgressForm;
class QWidget;
struct CommandDialogs;
struct DeviceDescription;

// What the window's commands may use of the window: where the user stands and which messages
// a command takes, the tree of sources and the loads behind it, the dialogs and the kept phone
// passwords. The window implements it; tests give a fake, so that commands run without a web view.
class PARLEWICK_UI_EXPORT CommandHost
{
public:
    virtual ~CommandHost() = default;

    // The parent of the dialogs a command opens.
    virtual QWidget *dialogParent() = 0;
    // Replaced by tests so that no dialog blocks.
    virtual CommandDialogs &dialogs() = 0;
    virtual PhonePasswords &phonePasswords() = 0;

    virtual CommandScope commandScope() const = 0;
    virtual KikChat *currentChat() const = 0;
    virtual bool hasSelectedMessages() const = 0;
    virtual CommandMessages messagesFor(MessageVariant variant) const = 0;
    // The shown messages drawn again (another clock, say).
    virtual void showMessagesAgain() = 0;

    virtual ItemModelMain &sources() = 0;
    // Expands the node and makes it current once the event loop runs again.
    virtual void selectNode(ItemNode *node) = 0;
    // Reads a database into a new data set behind the progress dialog; null when that failed
    // (the error was shown) or was cancelled. In a dialog of its own, or as a step of a
    // workflow in the workflow's dialog.
    virtual KikDataSetPtr loadWithProgress(std::unique_ptr<AbsKikDb> db, const QString &title,
                                           ProgressForm *flowForm = nullptr) = 0;
    // Clears the views, drops the node's chats and loads its database again.
    virtual bool reloadLocalDb(LocalDbItemNode *node) = 0;
    // Reads Kik's data from a plugged-in phone again; a failed load leaves the phone listed, marked.
    virtual void reloadPhone(const DeviceDescription &device) = 0;
    // Removes a source from the tree, emptying the views first when they show it.
    virtual void removeSourceNode(SourceItemNode *node) = 0;
};
