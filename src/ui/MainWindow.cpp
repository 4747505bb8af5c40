#include "ui/MainWindow.h"

#include "app/AppConstants.h"
#include "app/FileUtils.h"
#include "ui/MyTreeView.h"

#include <QBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QWebEngineView>

#include <iterator>

namespace {

constexpr int OuterMargin = 11;
constexpr int MessageColumnWidths[] = {160, 50, 120};

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
    button->setIcon(QIcon(QStringLiteral(":/res/search.png")));
    layout->addWidget(edit, 1);
    layout->addWidget(button);
    return row;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("MainWindow"));
    resize(1000, 680);
    setWindowTitle(QObject::tr(AppConstants::ProductName));

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

    buildBars();
    setStyleSheet(::styleSheet());   // the application sheet, not QWidget::styleSheet()
}

QWidget *MainWindow::buildSourcePane()
{
    auto *pane = new QWidget;
    QBoxLayout *layout = tightLayout(QBoxLayout::TopToBottom, pane);
    m_txtHandleKeyword = named(new QLineEdit, "txtHandleKeyword");
    m_btnSearchHandle = named(new QPushButton, "btnSearchHandle");
    layout->addWidget(searchRow(m_txtHandleKeyword, m_btnSearchHandle));
    m_treeViewDS = named(new MyTreeView, "treeViewDS");
    layout->addWidget(m_treeViewDS, 1);
    return pane;
}

QWidget *MainWindow::buildMessagePane()
{
    auto *pane = new QWidget;
    QBoxLayout *layout = tightLayout(QBoxLayout::TopToBottom, pane);
    m_txtSMSKeyword = named(new QLineEdit, "txtSMSKeyword");
    m_btnSearchSMS = named(new QPushButton, "btnSearchSMS");
    layout->addWidget(searchRow(m_txtSMSKeyword, m_btnSearchSMS));
    m_treeViewSMS = named(new MyTreeView, "treeViewSMS");
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
    m_lbChatImg = named(new QLabel, "lbChatImg");
    m_lbChatImg->setFixedSize(32, 32);
    m_lbChatName = named(new QLabel, "lbChatName");
    titleRow->addWidget(m_lbChatImg);
    titleRow->addWidget(m_lbChatName, 1);
    layout->addWidget(m_lbConversation);

    m_webViewSMS = named(new QWebEngineView, "webViewSMS");
    m_webViewSMS->setContextMenuPolicy(Qt::NoContextMenu);
    m_webViewSMS->setAcceptDrops(false);
    m_webViewSMS->setUrl(QUrl(QStringLiteral("about:blank")));
    layout->addWidget(m_webViewSMS, 1);
    return pane;
}

void MainWindow::buildBars()
{
    setMenuBar(named(new QMenuBar(this), "menuBar"));

    m_mainToolBar = named(new QToolBar(this), "mainToolBar");
    m_mainToolBar->setMovable(false);
    m_mainToolBar->setFloatable(false);
    m_mainToolBar->setIconSize(QSize(52, 52));
    addToolBar(Qt::TopToolBarArea, m_mainToolBar);

    setStatusBar(named(new QStatusBar(this), "statusBar"));
    statusBar()->showMessage(tr("Total: 0"));
}
