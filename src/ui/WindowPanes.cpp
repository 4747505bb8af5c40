#include "ui/WindowPanes.h"

#include "ui/PhoneServiceHint.h"
#include "ui/PictureLabel.h"
#include "ui/SourceTreeView.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QSplitter>
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
    button->setIcon(QIcon(QStringLiteral(":/res/search.svg")));
    layout->addWidget(edit, 1);
    layout->addWidget(button);
    return row;
}

}   // namespace

WindowPanes WindowPanes::build(QMainWindow &window)
{
    auto *central = named(new QWidget(&window), "wdMain");
    central->setAttribute(Qt::WA_StyledBackground);
    QBoxLayout *layout = tightLayout(QBoxLayout::TopToBottom, central);
    layout->setContentsMargins(OuterMargin, OuterMargin, OuterMargin, OuterMargin);

    WindowPanes panes;
    panes.splitter = named(new QSplitter(Qt::Horizontal, central), "splitter");
    panes.splitter->setHandleWidth(1);
    panes.splitter->addWidget(panes.buildSourcePane());
    panes.splitter->addWidget(panes.buildMessagePane());
    panes.splitter->addWidget(panes.buildConversationPane());
    panes.splitter->setChildrenCollapsible(false);
    for (int i = 0; i < panes.splitter->count(); ++i)
        panes.splitter->setCollapsible(i, false);   // isCollapsible() ignores the default above
    panes.splitter->setSizes({200, 450, 350});
    layout->addWidget(panes.splitter);
    window.setCentralWidget(central);
    return panes;
}

QWidget *WindowPanes::buildSourcePane()
{
    auto *pane = new QWidget;
    QBoxLayout *layout = tightLayout(QBoxLayout::TopToBottom, pane);
    chatKeyword = named(new QLineEdit, "txtHandleKeyword");
    chatKeyword->setPlaceholderText(QStringLiteral("Find a chat"));
    chatSearchButton = named(new QPushButton, "btnSearchHandle");
    layout->addWidget(searchRow(chatKeyword, chatSearchButton));
    sourceTree = named(new SourceTreeView, "treeViewDS");
    sourceTree->setHeaderHidden(true);
    layout->addWidget(sourceTree, 1);
    phoneServiceHint = new PhoneServiceHint(pane);   // a child from the start: shown, it is no window of its own
    layout->addWidget(phoneServiceHint);
    return pane;
}

QWidget *WindowPanes::buildMessagePane()
{
    auto *pane = new QWidget;
    QBoxLayout *layout = tightLayout(QBoxLayout::TopToBottom, pane);
    messageKeyword = named(new QLineEdit, "txtSMSKeyword");
    messageKeyword->setPlaceholderText(QStringLiteral("Search messages (Ctrl+F)"));
    messageSearchButton = named(new QPushButton, "btnSearchSMS");
    layout->addWidget(searchRow(messageKeyword, messageSearchButton));
    // Where the search stands ("3 of 17") or that it found nothing; never a box in the way.
    searchResult = named(new QLabel, "lbSearchResult");
    layout->addWidget(searchResult);
    messageList = named(new SourceTreeView, "treeViewSMS");
    configureMessageList();
    layout->addWidget(messageList, 1);
    // The window's texts keep its translation context.
    messageCount = named(new QLabel(QCoreApplication::translate("MainWindow", "Messages: 0")), "lbSMSCount");
    layout->addWidget(messageCount);
    return pane;
}

void WindowPanes::configureMessageList()
{
    messageList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    messageList->setIndentation(5);
    // Every row has the same height; without this the view measures rows one by one.
    messageList->setUniformRowHeights(true);
    messageList->setSortingEnabled(true);
    QHeaderView *header = messageList->header();
    header->setSectionsMovable(false);
    header->setSortIndicator(0, Qt::AscendingOrder);
    // The columns only exist once a model is attached, so their widths are set as they appear.
    SourceTreeView *list = messageList;
    QObject::connect(header, &QHeaderView::sectionCountChanged, list, [list](int oldCount, int newCount) {
        for (int column = oldCount; column < newCount && column < int(std::size(MessageColumnWidths)); ++column)
            list->setColumnWidth(column, MessageColumnWidths[column]);
    });
}

QWidget *WindowPanes::buildConversationPane()
{
    auto *pane = new QWidget;
    QBoxLayout *layout = tightLayout(QBoxLayout::TopToBottom, pane);

    auto *title = named(new QLabel, "lbConversation");
    QBoxLayout *titleRow = tightLayout(QBoxLayout::LeftToRight, title);
    titleRow->setContentsMargins(OuterMargin, 0, OuterMargin, 0);
    titleRow->setSpacing(OuterMargin);
    chatPicture = named(new PictureLabel, "lbChatImg");
    chatPicture->setFixedSize(32, 32);
    chatName = named(new QLabel, "lbChatName");
    titleRow->addWidget(chatPicture);
    titleRow->addWidget(chatName, 1);
    layout->addWidget(title);

    bubbles = named(new QWebEngineView, "webViewSMS");
    bubbles->setContextMenuPolicy(Qt::NoContextMenu);
    bubbles->setAcceptDrops(false);
    layout->addWidget(bubbles, 1);
    return pane;
}
