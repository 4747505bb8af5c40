#pragma once

#include "ui/CommandDialogs.h"
#include "ui/CommandHost.h"
#include "ui/Export.h"
#include "ui/PhonePasswords.h"
#include "ui/WindowCommands.h"
#include "ui/WindowPanes.h"

#include <QItemSelection>
#include <QMainWindow>

class ItemModelMain;
class KikBubbleViewMgr;
class MainMenus;
class MessageListModel;
class MessageSearch;
class PhoneConnections;
class QLabel;
class QMenu;
class ShownMessages;

// The program's only top-level window: data sources on the left, the message list in the
// middle, the selected conversation as chat bubbles on the right. It shows what the tree of
// sources selects and is the host of the commands its menus run.
class PARLEWICK_UI_EXPORT MainWindow : public QMainWindow, public CommandHost
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    ItemModelMain *mainModel() const { return m_mainModel; }
    MessageListModel *smsModel() const;
    KikBubbleViewMgr *bubbleView() const;
    MainMenus *menus() const { return m_menus; }
    QLabel *advertisementLabel() const { return m_lbAdv; }
    WindowCommands &commands() { return m_commands; }
    MessageSearch &messageSearch();
    PhoneConnections &phones() { return *m_phones; }

    ItemNode *currentNode() const;
    void clearSourceSelection();
    // Reads the local database named after the node into a new data set with its chat nodes.
    // Errors are shown; the node then keeps no data.
    bool loadLocalDb(LocalDbItemNode *node);
    // The next chat of the current source whose name holds the words of the chat search box.
    void searchContact();

    QWidget *dialogParent() override { return this; }
    CommandDialogs &dialogs() override { return m_dialogs; }
    PhonePasswords &phonePasswords() override { return m_phonePasswords; }
    CommandScope commandScope() const override;
    KikChat *currentChat() const override;
    bool hasSelectedMessages() const override;
    CommandMessages messagesFor(MessageVariant variant) const override;
    void showMessagesAgain() override;
    ItemModelMain &sources() override { return *m_mainModel; }
    void selectNode(ItemNode *node) override;
    KikDataSetPtr loadWithProgress(std::unique_ptr<AbsKikDb> db, const QString &title, ProgressForm *flowForm = nullptr) override;
    bool reloadLocalDb(LocalDbItemNode *node) override;
    void reloadPhone(const DeviceDescription &device) override;
    void removeSourceNode(SourceItemNode *node) override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildBars();
    void connectViews();
    void addKeyboardCommands();
    void sourceSelected(const QItemSelection &selected);
    void showContextMenu(QMenu *menu);
    void restoreSelection(const QStringList &path);

    WindowPanes m_panes;
    QLabel *m_lbAdv = nullptr;
    ItemModelMain *m_mainModel = nullptr;
    ShownMessages *m_shown = nullptr;
    MainMenus *m_menus = nullptr;
    PhoneConnections *m_phones = nullptr;
    WindowCommands m_commands{*this};
    CommandDialogs m_dialogs;
    PhonePasswords m_phonePasswords;
};
