#include "ui/MainWindow.h"

#include "app/AppConstants.h"
#include "app/DesktopServices.h"
#include "app/FileUtils.h"
#include "kik/KikLocalDb.h"
#include "kik/LocalDbCatalogue.h"
#include "ui/DropImport.h"
#include "ui/MainMenus.h"
#include "ui/MessageSearch.h"
#include "ui/PhoneConnections.h"
#include "ui/ProgressForm.h"
#include "ui/ShownMessages.h"
#include "ui/SourcePaths.h"
#include "ui/SourceTreeView.h"
#include "ui/StoredSources.h"
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
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QWebEngineView>

#include <optional>

namespace {

const QString LoadingMessagesTitle = QStringLiteral("Loading messages...");

}   // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , m_panes(WindowPanes::build(*this))
{
    setObjectName(QStringLiteral("MainWindow"));
    resize(1000, 680);
    setStyleSheet(::styleSheet());   // the application sheet, not QWidget::styleSheet()

    m_mainModel = new ItemModelMain(this);
    m_panes.sourceTree->setModel(m_mainModel);
    // The empty message list's hint follows the sources coming and going.
    m_shown = new ShownMessages(m_panes, *m_mainModel, this);
    // The empty message list's hint follows the sources coming and going.
    connect(m_mainModel, &QAbstractItemModel::rowsInserted, m_shown, &ShownMessages::refreshEmptyHint);
    connect(m_mainModel, &QAbstractItemModel::rowsRemoved, m_shown, &ShownMessages::refreshEmptyHint);
    setWindowTitle(QObject::tr(AppConstants::ProductName));
    m_shown->clear();
    // The first page shows that the web engine came up (its own process, which can fail apart).
    connect(
        m_panes.bubbles, &QWebEngineView::loadFinished, this, [](bool ok) { qDebug() << "message view loaded:" << ok; },
        Qt::SingleShotConnection);
    m_panes.bubbles->setUrl(QUrl(QStringLiteral("about:blank")));   // not the empty page clear() gave
    buildBars();
    // Only now: attaching the models already reports selection changes, which need the menus.
    connectViews();
    m_dialogs = CommandDialogs::standard(this);
    new DropImport(*this, *this);

    m_phones = new PhoneConnections(*this, m_panes.phoneServiceHint, this);
    m_phones->subscribe();
    addStoredSources(*this);
    m_panes.sourceTree->expandToDepth(0);
    addKeyboardCommands();
    WindowMemory::restore(*this, *m_panes.splitter, *m_panes.messageList->header());
    restoreSelection(WindowMemory::selectedNode());
    (new VendorNews(m_lbAdv, this))->start();
}

// The phone notifications end with m_phones, before the views they reach go.
MainWindow::~MainWindow()
{
    delete m_phones;
}

void MainWindow::connectViews()
{
    SourceTreeView *sourceTree = m_panes.sourceTree;
    SourceTreeView *messageList = m_panes.messageList;
    connect(sourceTree, &SourceTreeView::onSelectionChanged, this, &MainWindow::sourceSelected);
    connect(sourceTree, &SourceTreeView::createContextMenu, this,
            [this] { showContextMenu(m_menus->treeContextMenu(commandScope(), this)); });
    connect(messageList, &SourceTreeView::createContextMenu, this,
            [this] { showContextMenu(m_menus->listContextMenu(commandScope(), this)); });
    connect(m_panes.chatSearchButton, &QPushButton::pressed, this, &MainWindow::searchContact);
    connect(m_panes.chatKeyword, &QLineEdit::returnPressed, this, &MainWindow::searchContact);
}

void MainWindow::buildBars()
{
    setMenuBar(new QMenuBar(this));
    menuBar()->setObjectName(QStringLiteral("menuBar"));

    auto *toolBar = new QToolBar(this);
    toolBar->setObjectName(QStringLiteral("mainToolBar"));
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setIconSize(QSize(52, 52));
    addToolBar(Qt::TopToolBarArea, toolBar);
    m_menus = new MainMenus(this, toolBar, m_commands);

    setStatusBar(new QStatusBar(this));
    statusBar()->setObjectName(QStringLiteral("statusBar"));
    statusBar()->showMessage(tr("Total: 0"));
    m_lbAdv = new QLabel(statusBar());
    m_lbAdv->setObjectName(QStringLiteral("lbAdv"));
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

void MainWindow::addKeyboardCommands()
{
    const auto add = [](QWidget *owner, const QKeySequence &keys, Qt::ShortcutContext context, const auto &run) {
        auto *action = new QAction(owner);
        action->setShortcut(keys);
        action->setShortcutContext(context);
        connect(action, &QAction::triggered, owner, run);
        owner->addAction(action);
    };
    MessageSearch *search = &m_shown->search();
    add(this, QKeySequence(Qt::CTRL | Qt::Key_F), Qt::WindowShortcut, [search] { search->focus(); });
    add(this, QKeySequence(Qt::Key_F3), Qt::WindowShortcut, [search] { search->next(); });
    add(this, QKeySequence(Qt::SHIFT | Qt::Key_F3), Qt::WindowShortcut, [search] { search->previous(); });
    add(this, QKeySequence(Qt::Key_F5), Qt::WindowShortcut, [this] { m_commands.reloadSource(); });
    add(m_panes.messageList, QKeySequence::Copy, Qt::WidgetShortcut, [this] { m_shown->copySelection(); });
}

MessageListModel *MainWindow::smsModel() const
{
    return m_shown->model();
}

KikBubbleViewMgr *MainWindow::bubbleView() const
{
    return m_shown->bubbles();
}

MessageSearch &MainWindow::messageSearch()
{
    return m_shown->search();
}

KikChat *MainWindow::currentChat() const
{
    return m_shown->chat();
}

ItemNode *MainWindow::currentNode() const
{
    return AbsTreeItemModel::nodeOf(m_panes.sourceTree->currentIndex());
}

CommandScope MainWindow::commandScope() const
{
    return CommandScope::of(*m_mainModel, currentNode());
}

bool MainWindow::hasSelectedMessages() const
{
    return m_shown->hasSelection();
}

CommandMessages MainWindow::messagesFor(MessageVariant variant) const
{
    return m_shown->messagesFor(variant, commandScope());
}

void MainWindow::showMessagesAgain()
{
    if (m_shown->dataSet())
        m_shown->show(m_shown->dataSet(), m_shown->chat());
}

void MainWindow::selectNode(ItemNode *node)
{
    const QPersistentModelIndex index(m_mainModel->indexOfNode(node));
    if (!index.isValid())
        return;
    m_panes.sourceTree->expand(index);
    // Queued: the caller may still be inside a selection change of the same view.
    QTimer::singleShot(0, this, [this, index] {
        if (index.isValid())
            m_panes.sourceTree->setCurrentIndex(index);
    });
}

void MainWindow::clearSourceSelection()
{
    m_panes.sourceTree->selectionModel()->clear();
}

KikDataSetPtr MainWindow::loadWithProgress(std::unique_ptr<AbsKikDb> db, const QString &title, ProgressForm *flowForm)
{
    std::optional<ProgressForm> own;
    ProgressForm &form = flowForm ? *flowForm : own.emplace(this);
    LoadKikDbThread worker(std::move(db), title, &form);
    if (!(flowForm ? runInKeptForm(form, worker) : runWithProgress(form, worker)))
        return KikDataSetPtr();
    m_shown->order().remember(worker.dataSet(), worker.sortedMessages());
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
    m_shown->clear();
    m_mainModel->removeAllChildren(node);
    node->dataSet = KikDataSetPtr::create();
    return loadLocalDb(node);
}

void MainWindow::reloadPhone(const DeviceDescription &device)
{
    m_phones->load(device);
}

void MainWindow::removeSourceNode(SourceItemNode *node)
{
    const ItemNode *current = currentNode();
    if (current && (current == node || current->parent == node))
        clearSourceSelection();
    if (current == node || (current && current->parent == node) || m_shown->dataSet() == node->dataSet)
        m_shown->clear();
    m_mainModel->removeNode(node);
    // One phone fewer may disable the transfers of the source still selected.
    m_menus->updateEnabled(commandScope());
}

void MainWindow::sourceSelected(const QItemSelection &selected)
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
            m_panes.sourceTree->expand(m_mainModel->indexOfNode(node));
        }
        m_shown->show(static_cast<SourceItemNode *>(node)->dataSet, nullptr);
        break;
    case IOSDeviceNodeType:
        m_shown->show(static_cast<SourceItemNode *>(node)->dataSet, nullptr);
        break;
    case ChatSessionNodeType:
        if (CommandScope::isDataSource(node->parent))
            m_shown->show(static_cast<SourceItemNode *>(node->parent)->dataSet, static_cast<ChatItemNode *>(node)->chat);
        break;
    default:
        m_shown->clear();
        break;
    }
}

void MainWindow::showContextMenu(QMenu *menu)
{
    const std::unique_ptr<QMenu> owned(menu);
    if (owned)
        owned->exec(QCursor::pos());
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
    const QString keyword = m_panes.chatKeyword->text().trimmed();
    if (keyword.isEmpty())
        return;
    const QList<ItemNode *> &chats = parent->children;
    const int row =
        wrappedSearch(int(chats.size()), start, [&](int i) { return chats.at(i)->text.contains(keyword, Qt::CaseInsensitive); });
    if (row < 0) {
        showInformation(QObject::tr("IDS_CAN_NOT_FOUNDCONTACT_KEYWORD_%0").arg(richTextOf(keyword)));
        return;
    }
    m_panes.sourceTree->setCurrentIndex(m_mainModel->indexOfNode(chats.at(row)));
}

void MainWindow::restoreSelection(const QStringList &path)
{
    ItemNode *node = SourcePaths::nodeAt(*m_mainModel, path);
    if (!node)
        return;
    // A database's chats exist once it is read; the chat selected last lies inside it.
    if (node->type == LocalDbNodeType && node->children.isEmpty() && path.size() > 2) {
        if (!loadLocalDb(static_cast<LocalDbItemNode *>(node)))
            return;
        node = SourcePaths::nodeAt(*m_mainModel, path);
    }
    selectNode(node);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    WindowMemory::save(*this, *m_panes.splitter, *m_panes.messageList->header(), SourcePaths::pathOf(currentNode()));
    QMainWindow::closeEvent(event);
}
