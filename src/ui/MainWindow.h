#pragma once

#include "kik/KikDataSet.h"
#include "ui/CommandDialogs.h"
#include "ui/CommandScope.h"
#include "ui/Export.h"
#include "ui/MessageOrderCache.h"
#include "ui/PhonePasswords.h"
#include "views/ItemNodes.h"

#include <QItemSelection>
#include <QMainWindow>
#include <QSet>

#include <memory>

class AbsKikDb;
class ItemModelMain;
class MessageListModel;
class KikBubbleViewMgr;
class MainMenus;
class SourceTreeView;
class PhoneServiceHint;
class PictureLabel;
class ProgressForm;
class QLabel;
class QLineEdit;
class QPushButton;
class QSplitter;
class QToolBar;
class QWebEngineView;

// The program's only top-level window: data sources on the left, the message list in the
// middle, the selected conversation as chat bubbles on the right. Every user command is one of
// its slots; the longer flows live in command classes that work through the operations below.
class PARLEWICK_UI_EXPORT MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    ItemModelMain *mainModel() const { return m_mainModel; }
    MessageListModel *smsModel() const { return m_smsModel; }
    KikBubbleViewMgr *bubbleView() const { return m_bubbleView; }
    MainMenus *menus() const { return m_menus; }
    QLabel *advertisementLabel() const { return m_lbAdv; }
    // Replaced by tests so that no dialog blocks.
    CommandDialogs &dialogs() { return m_dialogs; }
    PhonePasswords &phonePasswords() { return m_phonePasswords; }

    ItemNode *currentNode() const;
    CommandScope commandScope() const;
    KikChat *currentChat() const { return m_currentChat; }
    bool hasSelectedMessages() const;
    CommandMessages messagesFor(MessageVariant variant) const;

    void clearMessages();
    void showMessages(const KikDataSetPtr &dataSet, KikChat *chat);
    // Expands the node and makes it current once the event loop runs again.
    void selectNode(ItemNode *node);
    void clearSourceSelection();
    // Reads a database into a new data set behind the progress dialog; null when that failed
    // (the error was shown) or was cancelled.
    // In a dialog of its own, or as a step of a workflow in the workflow's dialog.
    KikDataSetPtr loadWithProgress(std::unique_ptr<AbsKikDb> db, const QString &title, ProgressForm *flowForm = nullptr);
    // Reads the local database named after the node into a new data set with its chat nodes.
    // Errors are shown; the node then keeps no data.
    bool loadLocalDb(LocalDbItemNode *node);
    // Clears the views, drops the node's chats and loads its database again.
    bool reloadLocalDb(LocalDbItemNode *node);
    // Removes a source from the tree, emptying the views first when they show it.
    void removeSourceNode(SourceItemNode *node);

public slots:
    void onMainTreeSelected(const QItemSelection &selected, const QItemSelection &deselected);
    void onMainTreeContextMenu();
    void onSMSItemSelected(const QItemSelection &selected, const QItemSelection &deselected);
    void onSMSContextMenu();
    void onSMSSortIndicatorChanged(int logicalIndex, Qt::SortOrder order);
    void searchMessages();
    void searchMessagesBackwards();
    void focusMessageSearch();
    void searchContact();
    void reloadSource();
    void copySelectedMessages();

    void miBackup();
    void miBackupChat();
    void miBackupAll();
    void miBackupToolbar();
    void miExport();
    void miExportChat();
    void miExportAll();
    void miExportToolbar();
    void miPrint();
    void miPrintChat();
    void miPrintAll();
    void miPrintToolbar();
    void miDelete();
    void miDeleteChat();
    void miDeleteAll();
    void miDeleteToolbar();
    void miI2i();
    void miI2iChat();
    void miI2iAll();
    void miI2iToolbar();
    void miDb2i();
    void miDb2iChat();
    void miDb2iAll();
    void miDb2iToolbar();
    void miExport2ITunesBKSel();
    void miExport2ITunesBKChat();
    void miExport2ITunesBKAll();
    void miExport2ITunesBKToolbar();
    void miImportiTunes();
    void miImportiTunesToLocalDb();
    void miOpenDBFolder();
    void miClearCache();
    void miViewIOSCacheFiles();
    void miUnmountDevice();
    void miCheckUpdate();
    void miPreferences();
    void miHelp();
    void miFeedback();
    void miAbout();
    void miHome();
    void iosDeviceConnected(void *handle);
    void iosDeviceDisconnected(void *handle);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    QWidget *buildSourcePane();
    QWidget *buildMessagePane();
    QWidget *buildConversationPane();
    void buildBars();
    void configureMessageList();
    void connectViews();
    void subscribeToDevices();
    void addLocalDatabases();
    void addRememberedDevices();
    void addRememberedDevice(const QString &folder);
    void showChatTitle(KikChat *chat);
    void giveMessages(const KikMessageList &messages);
    // What the empty message list says: how to begin, where to choose, or that it is empty.
    QString emptyListHint() const;
    void refreshEmptyHint();
    void openChatPicture();
    void print(MessageVariant variant);
    void loadKikFromDevice(const DeviceDescription &description);
    void showConnectNotesOnce(const QString &udid);
    void keepUnloadedPhone(const DeviceDescription &description);
    // The node with those texts from a top node down, or the nearest one of them still there.
    ItemNode *nodeAtPath(const QStringList &path) const;
    void restoreSelection(const QStringList &path);
    // Goes to the next (step 1) or previous (step -1) message matching the search box.
    void findMessage(int step);
    void showSearchResult(const QString &text);
    void addKeyboardCommands();
    QStringList nodePath(const ItemNode *node) const;

    QSplitter *m_splitter = nullptr;
    QLineEdit *m_txtHandleKeyword = nullptr;
    QPushButton *m_btnSearchHandle = nullptr;
    SourceTreeView *m_treeViewDS = nullptr;
    QLineEdit *m_txtSMSKeyword = nullptr;
    QPushButton *m_btnSearchSMS = nullptr;
    SourceTreeView *m_treeViewSMS = nullptr;
    QLabel *m_lbSearchResult = nullptr;
    QLabel *m_lbSMSCount = nullptr;
    QLabel *m_lbConversation = nullptr;
    QLabel *m_lbChatName = nullptr;
    PictureLabel *m_lbChatImg = nullptr;
    QLabel *m_lbAdv = nullptr;
    PhoneServiceHint *m_phoneServiceHint = nullptr;   // under the sources while usbmuxd is not there
    QWebEngineView *m_webViewSMS = nullptr;
    QToolBar *m_mainToolBar = nullptr;

    ItemModelMain *m_mainModel = nullptr;
    MessageListModel *m_smsModel = nullptr;
    KikBubbleViewMgr *m_bubbleView = nullptr;
    MainMenus *m_menus = nullptr;
    CommandDialogs m_dialogs;
    PhonePasswords m_phonePasswords;
    QSet<QString> m_notedPhones;   // the phones shown the notes before their load, this session

    // What the views show: the source's data set (kept alive while shown) and the chat, or
    // none for all of the source's messages.
    KikDataSetPtr m_shownDataSet;
    KikChat *m_currentChat = nullptr;
    MessageOrderCache m_messageOrder;
    bool m_subscribed = false;
};
