#include "ui/MainWindow.h"

#include "app/AppConstants.h"
#include "app/AppFolders.h"
#include "app/DesktopServices.h"
#include "app/FileUtils.h"
#include "app/PrivateCache.h"
#include "device/DeviceNotifications.h"
#include "device/MobileDeviceFrameworks.h"
#include "kik/IOSKikDb.h"
#include "kik/KikLocalDb.h"
#include "kik/KikRules.h"
#include "kik/LocalDbCatalogue.h"
#include "ui/DropImport.h"
#include "ui/MainMenus.h"
#include "ui/PhoneServiceHint.h"
#include "ui/PictureLabel.h"
#include "ui/ProgressForm.h"
#include "ui/SourceTreeView.h"
#include "ui/VendorNews.h"
#include "ui/WindowMemory.h"
#include "ui/WrappedSearch.h"
#include "views/ItemModelMain.h"
#include "views/MessageListModel.h"
#include "widgets/KikBubbleViewMgr.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RichText.h"
#include "workers/LoadKikDbThread.h"

#include <QAction>
#include <QBoxLayout>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QWebEngineView>

#include <iterator>
#include <optional>
#include <stdexcept>

namespace {

constexpr int OuterMargin = 11;
constexpr int MessageColumnWidths[] = {160, 50, 120};
constexpr int ChatNameLimit = 20;
constexpr int ChatNameShown = 17;

QBoxLayout *tightLayout(QBoxLayout::Direction direction, QWidget *owner)
{
    auto *layout = new QBoxLayout(direction, owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    return layout;
}

template <typename T>
T *named(T *object, const char *name)
{
    object->setObjectName(QLatin1String(name));
    return object;
}

// A line edit with its search button to the right.
QWidget *searchRow(QLineEdit *edit, QPushButton *button)
{
    auto *row = new QWidget;
    QBoxLayout *layout = tightLayout(QBoxLayout::LeftToRight, row);
    button->setIcon(QIcon(QStringLiteral(":/res/search.svg")));
    layout->addWidget(edit, 1);
    layout->addWidget(button);
    return row;
}

// Sub-folders by name, without "." and "..".
QStringList subFolders(const QString &folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

const QString LoadingMessagesTitle = QStringLiteral("Loading messages...");

}   // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainWindow"));
    resize(1000, 680);

    auto *central = named(new QWidget(this), "wdMain");
    central->setAttribute(Qt::WA_StyledBackground);
    QBoxLayout *layout = tightLayout(QBoxLayout::TopToBottom, central);
    layout->setContentsMargins(OuterMargin, OuterMargin, OuterMargin, OuterMargin);

    m_splitter = named(new QSplitter(Qt::Horizontal, central), "splitter");
    m_splitter->setHandleWidth(1);
    m_splitter->addWidget(buildSourcePane());
    m_splitter->addWidget(buildMessagePane());
    m_splitter->addWidget(buildConversationPane());
    m_splitter->setChildrenCollapsible(false);
    for (int i = 0; i < m_splitter->count(); ++i)
        m_splitter->setCollapsible(i, false);   // isCollapsible() ignores the default above
    m_splitter->setSizes({200, 450, 350});
    layout->addWidget(m_splitter);
    setCentralWidget(central);
    setStyleSheet(::styleSheet());   // the application sheet, not QWidget::styleSheet()

    m_mainModel = new ItemModelMain(this);
    m_treeViewDS->setModel(m_mainModel);
    // The empty message list's hint follows the sources coming and going.
    connect(m_mainModel, &QAbstractItemModel::rowsInserted, this, &MainWindow::refreshEmptyHint);
    connect(m_mainModel, &QAbstractItemModel::rowsRemoved, this, &MainWindow::refreshEmptyHint);
    m_smsModel = new MessageListModel(this);
    m_treeViewSMS->setModel(m_smsModel);
    m_bubbleView = new KikBubbleViewMgr(this);
    m_bubbleView->setView(m_webViewSMS);
    m_treeViewSMS->expandAll();
    setWindowTitle(QObject::tr(AppConstants::ProductName));
    clearMessages();
    // The first page shows that the web engine came up (its own process, which can fail apart).
    connect(
        m_webViewSMS, &QWebEngineView::loadFinished, this, [](bool ok) { qDebug() << "message view loaded:" << ok; },
        Qt::SingleShotConnection);
    m_webViewSMS->setUrl(QUrl(QStringLiteral("about:blank")));   // not the empty page clearMessages gave
    m_lbChatImg->installEventFilter(this);
    buildBars();
    // Only now: attaching the models already reports selection changes, which need the menus.
    connectViews();
    m_dialogs = CommandDialogs::standard(this);
    new DropImport(*this);

    subscribeToDevices();
    addLocalDatabases();
    m_treeViewDS->expandToDepth(0);
    addRememberedDevices();
    addKeyboardCommands();
    WindowMemory::restore(*this, *m_splitter, *m_treeViewSMS->header());
    restoreSelection(WindowMemory::selectedNode());
    (new VendorNews(m_lbAdv, this))->start();
}

MainWindow::~MainWindow()
{
    // The subscription names this window; no notification may reach it once it is gone.
    if (m_subscribed)
        mobiledevice_unsubscribe();
}

QWidget *MainWindow::buildSourcePane()
{
    auto *pane = new QWidget;
    QBoxLayout *layout = tightLayout(QBoxLayout::TopToBottom, pane);
    m_txtHandleKeyword = named(new QLineEdit, "txtHandleKeyword");
    m_txtHandleKeyword->setPlaceholderText(QStringLiteral("Find a chat"));
    m_btnSearchHandle = named(new QPushButton, "btnSearchHandle");
    layout->addWidget(searchRow(m_txtHandleKeyword, m_btnSearchHandle));
    m_treeViewDS = named(new SourceTreeView, "treeViewDS");
    m_treeViewDS->setHeaderHidden(true);
    layout->addWidget(m_treeViewDS, 1);
    m_phoneServiceHint = new PhoneServiceHint(pane);   // a child from the start: shown, it is no window of its own
    layout->addWidget(m_phoneServiceHint);
    return pane;
}

QWidget *MainWindow::buildMessagePane()
{
    auto *pane = new QWidget;
    QBoxLayout *layout = tightLayout(QBoxLayout::TopToBottom, pane);
    m_txtSMSKeyword = named(new QLineEdit, "txtSMSKeyword");
    m_txtSMSKeyword->setPlaceholderText(QStringLiteral("Search messages (Ctrl+F)"));
    m_btnSearchSMS = named(new QPushButton, "btnSearchSMS");
    layout->addWidget(searchRow(m_txtSMSKeyword, m_btnSearchSMS));
    // Where the search stands ("3 of 17") or that it found nothing; never a box in the way.
    m_lbSearchResult = named(new QLabel, "lbSearchResult");
    layout->addWidget(m_lbSearchResult);
    m_treeViewSMS = named(new SourceTreeView, "treeViewSMS");
    configureMessageList();
    layout->addWidget(m_treeViewSMS, 1);
    m_lbSMSCount = named(new QLabel(tr("Messages: 0")), "lbSMSCount");
    layout->addWidget(m_lbSMSCount);
    return pane;
}

void MainWindow::configureMessageList()
{
    m_treeViewSMS->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_treeViewSMS->setIndentation(5);
    // Every row has the same height; without this the view measures rows one by one.
    m_treeViewSMS->setUniformRowHeights(true);
    m_treeViewSMS->setSortingEnabled(true);
    QHeaderView *header = m_treeViewSMS->header();
    header->setSectionsMovable(false);
    header->setSortIndicator(0, Qt::AscendingOrder);
    // The columns only exist once a model is attached, so their widths are set as they appear.
    connect(header, &QHeaderView::sectionCountChanged, this, [this](int oldCount, int newCount) {
        for (int column = oldCount; column < newCount && column < int(std::size(MessageColumnWidths)); ++column)
            m_treeViewSMS->setColumnWidth(column, MessageColumnWidths[column]);
    });
}

QWidget *MainWindow::buildConversationPane()
{
    auto *pane = new QWidget;
    QBoxLayout *layout = tightLayout(QBoxLayout::TopToBottom, pane);

    m_lbConversation = named(new QLabel, "lbConversation");
    QBoxLayout *titleRow = tightLayout(QBoxLayout::LeftToRight, m_lbConversation);
    titleRow->setContentsMargins(OuterMargin, 0, OuterMargin, 0);
    titleRow->setSpacing(OuterMargin);
    m_lbChatImg = named(new PictureLabel, "lbChatImg");
    m_lbChatImg->setFixedSize(32, 32);
    m_lbChatName = named(new QLabel, "lbChatName");
    titleRow->addWidget(m_lbChatImg);
    titleRow->addWidget(m_lbChatName, 1);
    layout->addWidget(m_lbConversation);

    m_webViewSMS = named(new QWebEngineView, "webViewSMS");
    m_webViewSMS->setContextMenuPolicy(Qt::NoContextMenu);
    m_webViewSMS->setAcceptDrops(false);
    layout->addWidget(m_webViewSMS, 1);
    return pane;
}

void MainWindow::connectViews()
{
    connect(m_treeViewDS, &SourceTreeView::onSelectionChanged, this, &MainWindow::onMainTreeSelected);
    connect(m_treeViewDS, &SourceTreeView::createContextMenu, this, &MainWindow::onMainTreeContextMenu);
    connect(m_treeViewSMS, &SourceTreeView::onSelectionChanged, this, &MainWindow::onSMSItemSelected);
    connect(m_treeViewSMS, &SourceTreeView::createContextMenu, this, &MainWindow::onSMSContextMenu);
    connect(m_btnSearchHandle, &QPushButton::pressed, this, &MainWindow::searchContact);
    connect(m_txtHandleKeyword, &QLineEdit::returnPressed, this, &MainWindow::searchContact);
    connect(m_btnSearchSMS, &QPushButton::pressed, this, &MainWindow::searchMessages);
    connect(m_txtSMSKeyword, &QLineEdit::returnPressed, this, &MainWindow::searchMessages);
    connect(m_txtSMSKeyword, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (text.trimmed().isEmpty())
            findMessage(1);   // drops the marks
    });
    connect(m_treeViewSMS->header(), &QHeaderView::sortIndicatorChanged, this, &MainWindow::onSMSSortIndicatorChanged);
}

void MainWindow::buildBars()
{
    setMenuBar(named(new QMenuBar(this), "menuBar"));

    m_mainToolBar = named(new QToolBar(this), "mainToolBar");
    m_mainToolBar->setMovable(false);
    m_mainToolBar->setFloatable(false);
    m_mainToolBar->setIconSize(QSize(52, 52));
    addToolBar(Qt::TopToolBarArea, m_mainToolBar);
    m_menus = new MainMenus(this, m_mainToolBar);

    setStatusBar(named(new QStatusBar(this), "statusBar"));
    statusBar()->showMessage(tr("Total: 0"));
    m_lbAdv = named(new QLabel(statusBar()), "lbAdv");
    m_lbAdv->setTextFormat(Qt::RichText);
    m_lbAdv->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    // The link comes from the network: only web addresses are handed to the browser.
    connect(m_lbAdv, &QLabel::linkActivated, this, [](const QString &link) {
        const QString scheme = QUrl(link).scheme().toLower();
        if (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
            shellOpen(link);
    });
    statusBar()->addPermanentWidget(m_lbAdv);
}

void MainWindow::subscribeToDevices()
{
    if (!frameworksLoaded())
        return;
    static MobileDeviceSubscription subscription;
    subscription = {this, "iosDeviceConnected", "iosDeviceDisconnected"};
    try {
        mobiledevice_subscribe(&subscription);
        m_subscribed = true;
    } catch (const std::exception &error) {
        reportError(richTextOf(QString::fromUtf8(error.what())));
    }
}

void MainWindow::addLocalDatabases()
{
    for (const QString &name : LocalDbCatalogue().names())
        m_mainModel->addLocalDb(name);
}

void MainWindow::addRememberedDevices()
{
    const QString root = QDir(dataFolder()).filePath(QStringLiteral("virtual_ios"));
    for (const QString &name : subFolders(root))
        addRememberedDevice(QDir(root).filePath(name));
}

void MainWindow::addRememberedDevice(const QString &folder)
{
    DeviceDescription description;
    description.deviceName = QFileInfo(folder).fileName();
    description.udid = folder;
    PhoneItemNode *node = m_mainModel->addDevice(description);
    std::unique_ptr<AbsKikDb> db;
    if (LocalDbCatalogue::holdsDatabase(folder)) {
        db = std::make_unique<KikLocalDb>(folder);
    } else {
        auto store = std::make_unique<IOSKikDb>(folder);
        store->setOpenMode(IOSKikDb::ReadOnlyMode);
        db = std::move(store);
    }
    if (const KikDataSetPtr dataSet = loadWithProgress(std::move(db), QObject::tr("IDS_LOADING_IOS_KIK"))) {
        node->dataSet = dataSet;
        m_mainModel->addChats(node);
    }
}

ItemNode *MainWindow::currentNode() const
{
    return AbsTreeItemModel::nodeOf(m_treeViewDS->currentIndex());
}

CommandScope MainWindow::commandScope() const
{
    return CommandScope::of(*m_mainModel, currentNode());
}

bool MainWindow::hasSelectedMessages() const
{
    return m_treeViewSMS->selectionModel()->hasSelection();
}

CommandMessages MainWindow::messagesFor(MessageVariant variant) const
{
    const CommandScope scope = commandScope();
    if (variant == MessageVariant::Toolbar) {
        if (hasSelectedMessages())
            variant = MessageVariant::Selection;
        else
            variant = scope.currentIsChat() ? MessageVariant::Chat : MessageVariant::All;
    }
    const QString sourceName = scope.source ? scope.source->text : QString();
    const auto allChats = [&](const KikDataSetPtr &dataSet, const KikMessageList &messages) {
        return CommandMessages{dataSet, messages, CommandMessages::allChatsWords(CommandMessages::chatsOf(messages), sourceName)};
    };
    switch (variant) {
    case MessageVariant::Selection: {
        CommandMessages result{m_shownDataSet, {}, {}};
        for (const QModelIndex &row : m_treeViewSMS->selectionModel()->selectedRows(0)) {
            if (KikMessage *message = MessageListModel::messageOf(row))
                result.messages.append(message);
        }
        result.what = CommandMessages::selectionWords(int(result.messages.size()),
                                                      m_currentChat ? chatDisplayName(m_currentChat) : sourceName);
        return result;
    }
    case MessageVariant::Chat:
        // A source's node shows all its messages in the list.
        if (!m_currentChat)
            return allChats(m_shownDataSet, m_smsModel->messages());
        return {m_shownDataSet, m_smsModel->messages(),
                CommandMessages::chatWords(chatDisplayName(m_currentChat), int(m_smsModel->messages().size()))};
    default:
        if (!scope.source || !scope.source->dataSet)
            return {};
        return allChats(scope.source->dataSet, scope.source->dataSet->allMessages());
    }
}

void MainWindow::clearMessages()
{
    m_currentChat = nullptr;
    m_shownDataSet.reset();
    m_smsModel->clear();
    m_bubbleView->showBubble(KikMessageList());
    showSearchResult(QString());
    m_lbSMSCount->setText(tr("Messages: 0"));
    m_lbChatImg->hide();
    m_lbChatName->clear();
    refreshEmptyHint();
}

void MainWindow::refreshEmptyHint()
{
    m_treeViewSMS->setEmptyHint(emptyListHint());
}

QString MainWindow::emptyListHint() const
{
    if (m_shownDataSet)
        return QStringLiteral("No messages here.");
    if (m_mainModel->deviceRoot()->children.isEmpty() && m_mainModel->localDbRoot()->children.isEmpty())
        return QStringLiteral("Import a backup or connect an iPhone\n\nFile > Import from iTunes Backup reads a backup "
                              "of your iPhone; an iPhone plugged in with its cable appears under Devices.");
    return QStringLiteral("Choose a chat or a source on the left to see its messages.");
}

void MainWindow::showMessages(const KikDataSetPtr &dataSet, KikChat *chat)
{
    m_currentChat = chat;
    m_shownDataSet = dataSet;
    const Qt::SortOrder order = m_treeViewSMS->header()->sortIndicatorOrder();
    KikMessageList messages;
    if (chat) {
        messages = chat->messages;
        sortMessages(messages, order);
    } else {
        messages = m_messageOrder.allMessages(dataSet, order);
    }
    giveMessages(messages);
    m_lbSMSCount->setText(tr("Messages: %1").arg(messages.size()));
    refreshEmptyHint();
    showChatTitle(chat);
}

void MainWindow::giveMessages(const KikMessageList &messages)
{
    showSearchResult(QString());   // a count of another list would mislead
    m_smsModel->setMessages(messages);
    m_bubbleView->showBubble(messages);
}

void MainWindow::showChatTitle(KikChat *chat)
{
    if (!chat) {
        m_lbChatImg->hide();
        m_lbChatName->setText(QStringLiteral("All"));
        return;
    }
    const KikUser *user = chat->user;
    QImage picture;
    if (user && !user->is_group && !user->photo_path.isEmpty() && !picture.load(user->photo_path, "JPEG"))
        picture.load(user->photo_path, "PNG");
    if (picture.isNull()) {
        m_lbChatImg->hide();
    } else {
        m_lbChatImg->setPhoto(picture, 32);
        m_lbChatImg->show();
    }
    QString name = userDisplayName(user);
    if (name.size() > ChatNameLimit)
        name = name.left(ChatNameShown) + QStringLiteral("...");
    m_lbChatName->setText(name);
}

void MainWindow::selectNode(ItemNode *node)
{
    const QPersistentModelIndex index(m_mainModel->indexOfNode(node));
    if (!index.isValid())
        return;
    m_treeViewDS->expand(index);
    // Queued: the caller may still be inside a selection change of the same view.
    QTimer::singleShot(0, this, [this, index] {
        if (index.isValid())
            m_treeViewDS->setCurrentIndex(index);
    });
}

void MainWindow::clearSourceSelection()
{
    m_treeViewDS->selectionModel()->clear();
}

KikDataSetPtr MainWindow::loadWithProgress(std::unique_ptr<AbsKikDb> db, const QString &title, ProgressForm *flowForm)
{
    std::optional<ProgressForm> own;
    ProgressForm &form = flowForm ? *flowForm : own.emplace(this);
    LoadKikDbThread worker(std::move(db), title, &form);
    if (!(flowForm ? runInKeptForm(form, worker) : runWithProgress(form, worker)))
        return KikDataSetPtr();
    m_messageOrder.remember(worker.dataSet(), worker.sortedMessages());
    return worker.dataSet();
}

bool MainWindow::loadLocalDb(LocalDbItemNode *node)
{
    const QString folder = LocalDbCatalogue().folderOf(node->text);
    const KikDataSetPtr dataSet = loadWithProgress(std::make_unique<KikLocalDb>(folder), LoadingMessagesTitle);
    if (!dataSet)
        return false;
    node->dataSet = dataSet;
    m_mainModel->addChats(node);
    return true;
}

bool MainWindow::reloadLocalDb(LocalDbItemNode *node)
{
    clearSourceSelection();
    clearMessages();
    m_mainModel->removeAllChildren(node);
    node->dataSet = KikDataSetPtr::create();
    return loadLocalDb(node);
}

void MainWindow::removeSourceNode(SourceItemNode *node)
{
    const ItemNode *current = currentNode();
    if (current && (current == node || current->parent == node))
        clearSourceSelection();
    if (current == node || (current && current->parent == node) || m_shownDataSet == node->dataSet)
        clearMessages();
    m_mainModel->removeNode(node);
    // One phone fewer may disable the transfers of the source still selected.
    m_menus->updateEnabled(commandScope());
}

void MainWindow::onMainTreeSelected(const QItemSelection &selected, const QItemSelection &)
{
    const QModelIndexList indexes = selected.indexes();
    ItemNode *node = indexes.isEmpty() ? nullptr : AbsTreeItemModel::nodeOf(indexes.first());
    m_menus->updateEnabled(CommandScope::of(*m_mainModel, node));
    if (!node)
        return;
    switch (node->type) {
    case LocalDbNodeType:
        if (node->children.isEmpty()) {
            auto *localDb = static_cast<LocalDbItemNode *>(node);
            if (!loadLocalDb(localDb))
                return;
            m_treeViewDS->expand(m_mainModel->indexOfNode(node));
        }
        showMessages(static_cast<SourceItemNode *>(node)->dataSet, nullptr);
        break;
    case IOSDeviceNodeType:
        showMessages(static_cast<SourceItemNode *>(node)->dataSet, nullptr);
        break;
    case ChatSessionNodeType:
        if (CommandScope::isDataSource(node->parent))
            showMessages(static_cast<SourceItemNode *>(node->parent)->dataSet, static_cast<ChatItemNode *>(node)->chat);
        break;
    default:
        clearMessages();
        break;
    }
}

void MainWindow::onMainTreeContextMenu()
{
    const std::unique_ptr<QMenu> menu(m_menus->treeContextMenu(commandScope(), this));
    if (menu)
        menu->exec(QCursor::pos());
}

void MainWindow::onSMSItemSelected(const QItemSelection &selected, const QItemSelection &)
{
    // Ranges, not indexes: a select-all of a large list must not list every cell.
    for (const QItemSelectionRange &range : selected) {
        if (range.left() == 0 && MessageListModel::messageOf(range.topLeft())) {
            m_bubbleView->scrollToPos(range.top());
            return;
        }
    }
}

void MainWindow::onSMSContextMenu()
{
    const std::unique_ptr<QMenu> menu(m_menus->listContextMenu(commandScope(), this));
    if (menu)
        menu->exec(QCursor::pos());
}

void MainWindow::onSMSSortIndicatorChanged(int logicalIndex, Qt::SortOrder order)
{
    if (logicalIndex != 0) {
        m_treeViewSMS->header()->setSortIndicator(0, Qt::AscendingOrder);   // signals again
        return;
    }
    KikMessageList messages = m_smsModel->messages();
    sortMessages(messages, order);
    giveMessages(messages);
}

void MainWindow::searchMessages()
{
    findMessage(1);
}

void MainWindow::searchMessagesBackwards()
{
    findMessage(-1);
}

void MainWindow::focusMessageSearch()
{
    m_txtSMSKeyword->setFocus(Qt::ShortcutFocusReason);
    m_txtSMSKeyword->selectAll();
}

void MainWindow::findMessage(int step)
{
    const QString keyword = m_txtSMSKeyword->text().trimmed();
    m_smsModel->setHighlight(keyword);
    m_bubbleView->setHighlight(keyword);
    if (keyword.isEmpty()) {
        showSearchResult(QString());
        return;
    }
    const KikMessageList &messages = m_smsModel->messages();
    if (messages.isEmpty()) {
        showSearchResult(QObject::tr("IDS_CAN_NOT_FOUND_AND_MESSAGES"));
        return;
    }
    QList<int> matches;
    for (int row = 0; row < messages.size(); ++row) {
        if (MessageListModel::matches(messages.at(row), keyword))
            matches << row;
    }
    if (matches.isEmpty()) {
        showSearchResult(QObject::tr("IDS_CAN_NOT_FOUNDSMS_KEYWORD_%0").arg(keyword));
        return;
    }
    // From the row after (or before) the current one, wrapping round at the end.
    const QModelIndex current = m_treeViewSMS->currentIndex();
    qsizetype found;
    if (step > 0) {
        const int from = current.isValid() ? current.row() + 1 : 0;
        found = std::lower_bound(matches.cbegin(), matches.cend(), from) - matches.cbegin();
        if (found == matches.size())
            found = 0;
    } else {
        const int before = current.isValid() ? current.row() : int(messages.size());
        found = std::lower_bound(matches.cbegin(), matches.cend(), before) - matches.cbegin() - 1;
        if (found < 0)
            found = matches.size() - 1;
    }
    m_treeViewSMS->setCurrentIndex(m_smsModel->indexForRow(matches.at(found)));
    showSearchResult(QStringLiteral("%1 of %2").arg(found + 1).arg(matches.size()));
}

void MainWindow::showSearchResult(const QString &text)
{
    m_lbSearchResult->setText(text);
    m_lbSearchResult->setVisible(!text.isEmpty());
}

void MainWindow::searchContact()
{
    ItemNode *node = currentNode();
    if (!node)
        return;
    ItemNode *parent = nullptr;
    int start = 0;
    if (CommandScope::isDataSource(node)) {
        parent = node;
    } else if (node->type == ChatSessionNodeType && node->parent) {
        parent = node->parent;
        start = int(parent->children.indexOf(node)) + 1;
    } else {
        return;
    }
    const QString keyword = m_txtHandleKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const QList<ItemNode *> &chats = parent->children;
    const int row =
        wrappedSearch(int(chats.size()), start, [&](int i) { return chats.at(i)->text.contains(keyword, Qt::CaseInsensitive); });
    if (row < 0) {
        showInformation(QObject::tr("IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0").arg(richTextOf(keyword)));
        return;
    }
    m_treeViewDS->setCurrentIndex(m_mainModel->indexOfNode(chats.at(row)));
}

void MainWindow::reloadSource()
{
    const CommandScope scope = commandScope();
    if (!scope.source)
        return;
    if (scope.sourceIsLocalDb()) {
        const QStringList path = nodePath(scope.current);
        auto *node = static_cast<LocalDbItemNode *>(scope.source);
        ItemNode *again = reloadLocalDb(node) ? nodeAtPath(path) : nullptr;
        if (again)
            selectNode(again);
        return;
    }
    const DeviceDescription device = static_cast<PhoneItemNode *>(scope.source)->device;
    if (device.handle)   // a phone; a remembered backup has nothing to read again
        loadKikFromDevice(device);
}

void MainWindow::copySelectedMessages()
{
    // As the list shows them: its columns, tab-separated, one message a line.
    QStringList lines;
    QModelIndexList rows = m_treeViewSMS->selectionModel()->selectedRows(0);
    std::sort(rows.begin(), rows.end());
    for (const QModelIndex &row : rows) {
        QStringList cells;
        for (int column = 0; column < m_smsModel->columnCount(); ++column)
            cells << m_smsModel->index(row.row(), column).data().toString().replace(QLatin1Char('\n'), QLatin1Char(' '));
        lines << cells.join(QLatin1Char('\t'));
    }
    if (!lines.isEmpty())
        QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

void MainWindow::addKeyboardCommands()
{
    const auto add = [this](QWidget *owner, const QKeySequence &keys, Qt::ShortcutContext context, auto slot) {
        auto *action = new QAction(owner);
        action->setShortcut(keys);
        action->setShortcutContext(context);
        connect(action, &QAction::triggered, this, slot);
        owner->addAction(action);
    };
    add(this, QKeySequence(Qt::CTRL | Qt::Key_F), Qt::WindowShortcut, &MainWindow::focusMessageSearch);
    add(this, QKeySequence(Qt::Key_F3), Qt::WindowShortcut, &MainWindow::searchMessages);
    add(this, QKeySequence(Qt::SHIFT | Qt::Key_F3), Qt::WindowShortcut, &MainWindow::searchMessagesBackwards);
    add(this, QKeySequence(Qt::Key_F5), Qt::WindowShortcut, &MainWindow::reloadSource);
    add(m_treeViewSMS, QKeySequence::Copy, Qt::WidgetShortcut, &MainWindow::copySelectedMessages);
}

QStringList MainWindow::nodePath(const ItemNode *node) const
{
    QStringList path;
    for (; node; node = node->parent)
        path.prepend(node->text);
    return path;
}

ItemNode *MainWindow::nodeAtPath(const QStringList &path) const
{
    if (path.isEmpty())
        return nullptr;
    ItemNode *node = nullptr;
    for (ItemNode *top : {static_cast<ItemNode *>(m_mainModel->deviceRoot()), m_mainModel->localDbRoot()}) {
        if (top->text == path.first())
            node = top;
    }
    for (qsizetype i = 1; node && i < path.size(); ++i) {
        ItemNode *next = nullptr;
        for (ItemNode *child : node->children) {
            if (child->text == path.at(i)) {
                next = child;
                break;
            }
        }
        if (!next)
            break;   // gone since: the nearest node still there
        node = next;
    }
    return node;
}

void MainWindow::restoreSelection(const QStringList &path)
{
    ItemNode *node = nodeAtPath(path);
    if (!node)
        return;
    // A database's chats exist once it is read; the chat selected last lies inside it.
    if (node->type == LocalDbNodeType && node->children.isEmpty() && path.size() > 2) {
        if (!loadLocalDb(static_cast<LocalDbItemNode *>(node)))
            return;
        node = nodeAtPath(path);
    }
    selectNode(node);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    WindowMemory::save(*this, *m_splitter, *m_treeViewSMS->header(), nodePath(currentNode()));
    QMainWindow::closeEvent(event);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_lbChatImg && event->type() == QEvent::MouseButtonPress)
        openChatPicture();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::openChatPicture()
{
    const KikUser *user = m_currentChat ? m_currentChat->user : nullptr;
    if (!user || user->is_group || user->photo_path.isEmpty())
        return;
    const QFileInfo picture(user->photo_path);
    if (!picture.isFile() || picture.size() == 0)
        return;
    QString copy;
    try {
        copy =
            QDir(privateCacheFolderThrow(QStringLiteral("opened"))).filePath(md5Hex(user->photo_path) + QStringLiteral(".jpg"));
    } catch (const std::exception &error) {
        showWarning(richTextOf(QString::fromUtf8(error.what())));
        return;
    }
    QFile::remove(copy);
    if (!QFile::copy(user->photo_path, copy)) {
        qDebug() << "cannot copy the chat picture to" << copy;
        return;
    }
    openInExplorer(copy);
}
