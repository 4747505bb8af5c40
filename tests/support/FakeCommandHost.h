#pragma once

#include "ui/CommandDialogs.h"
#include "ui/CommandHost.h"
#include "ui/PhonePasswords.h"
#include "views/ItemModelMain.h"

#include <QStringList>

// Stands in for the main window under the commands: a tree of sources, a current node and the
// messages every variant gives. It records what a command asked of it ("messages Chat", "select
// Bob", "reload Archive") and every dialog it opened, each cancelled.
class FakeCommandHost : public CommandHost
{
public:
    FakeCommandHost();

    ItemModelMain model;
    ItemNode *current = nullptr;
    CommandMessages given;   // what messagesFor() gives for any variant
    CommandDialogs answers;
    PhonePasswords passwords;
    mutable QStringList calls;
    QStringList asked;

    QWidget *dialogParent() override { return nullptr; }
    CommandDialogs &dialogs() override { return answers; }
    PhonePasswords &phonePasswords() override { return passwords; }
    CommandScope commandScope() const override { return CommandScope::of(model, current); }
    KikChat *currentChat() const override { return nullptr; }
    bool hasSelectedMessages() const override { return false; }
    CommandMessages messagesFor(MessageVariant variant) const override;
    void showMessagesAgain() override { calls << QStringLiteral("show again"); }
    ItemModelMain &sources() override { return model; }
    void selectNode(ItemNode *node) override { calls << QStringLiteral("select ") + node->text; }
    KikDataSetPtr loadWithProgress(std::unique_ptr<AbsKikDb> db, const QString &title, ProgressForm *flowForm) override;
    bool reloadLocalDb(LocalDbItemNode *node) override;
    void reloadPhone(const DeviceDescription &device) override;
    void removeSourceNode(SourceItemNode *node) override;
};
