#include "TestEnv.h"

#include "LoopbackHttpServer.h"
#include "app/AppFolders.h"
#include "app/Preferences.h"
#include "widgets/UpdateCheck.h"

#include "app/FileUtils.h"
#include "ui/MainWindow.h"
#include "ui/SourceTreeView.h"
#include "views/ItemModelMain.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QNetworkReply>
#include <QPushButton>
#include <QSplitter>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QToolBar>
#include <QWebEngineView>
#include <QtTest>

class TestMainWindow : public QObject
{
    Q_OBJECT
    TestEnv env;

    template <typename T>
    static T *part(MainWindow &window, const char *name)
    {
        T *widget = window.findChild<T *>(QLatin1String(name));
        if (!widget)
            qWarning("missing %s", name);
        return widget;
    }

private slots:
    void widgetsCarryTheNamesTheStyleSheetUses()
    {
        MainWindow window;
        QCOMPARE(window.objectName(), QStringLiteral("MainWindow"));
        QCOMPARE(window.size(), QSize(1000, 680));
        QCOMPARE(window.windowTitle(), QStringLiteral("Parlewick"));
        QCOMPARE(window.styleSheet(), styleSheet());
        QVERIFY(!window.styleSheet().isEmpty());

        for (const char *name : {"txtHandleKeyword", "txtSMSKeyword"})
            QVERIFY(part<QLineEdit>(window, name));
        for (const char *name : {"btnSearchHandle", "btnSearchSMS"})
            QVERIFY(part<QPushButton>(window, name));
        for (const char *name : {"treeViewDS", "treeViewSMS"})
            QVERIFY(part<SourceTreeView>(window, name));
        for (const char *name : {"lbSMSCount", "lbConversation", "lbChatName", "lbChatImg"})
            QVERIFY(part<QLabel>(window, name));
        QVERIFY(!part<QPushButton>(window, "btnSearchHandle")->icon().isNull());

        QCOMPARE(part<QLabel>(window, "lbSMSCount")->text(), QStringLiteral("Messages: 0"));
        // No source yet: the empty list says how to begin; once there is one, where to choose.
        const SourceTreeView *list = part<SourceTreeView>(window, "treeViewSMS");
        QVERIFY2(list->emptyHint().startsWith("Import a backup or connect an iPhone\n"), qPrintable(list->emptyHint()));
        window.mainModel()->addLocalDb(QStringLiteral("Notes"));
        QVERIFY2(list->emptyHint().startsWith("Choose a chat"), qPrintable(list->emptyHint()));
        QCOMPARE(part<QLineEdit>(window, "txtHandleKeyword")->placeholderText(), QStringLiteral("Find a chat"));
        QCOMPARE(part<QLabel>(window, "lbChatImg")->minimumSize(), QSize(32, 32));
        QCOMPARE(part<QLabel>(window, "lbChatImg")->maximumSize(), QSize(32, 32));
        QCOMPARE(window.menuBar()->objectName(), QStringLiteral("menuBar"));
        QCOMPARE(window.statusBar()->objectName(), QStringLiteral("statusBar"));
        QCOMPARE(window.statusBar()->currentMessage(), QStringLiteral("Total: 0"));

        QLayout *outer = window.centralWidget()->layout();
        QCOMPARE(outer->contentsMargins(), QMargins(11, 11, 11, 11));
        QCOMPARE(outer->spacing(), 0);
    }

    void splitterToolBarAndWebView()
    {
        MainWindow window;
        auto *splitter = part<QSplitter>(window, "splitter");
        QVERIFY(splitter);
        QCOMPARE(splitter->orientation(), Qt::Horizontal);
        QCOMPARE(splitter->count(), 3);
        QCOMPARE(splitter->handleWidth(), 1);
        for (int i = 0; i < splitter->count(); ++i)
            QVERIFY(!splitter->isCollapsible(i));

        auto *toolBar = part<QToolBar>(window, "mainToolBar");
        QVERIFY(toolBar);
        QCOMPARE(window.toolBarArea(toolBar), Qt::TopToolBarArea);
        QVERIFY(!toolBar->isMovable());
        QVERIFY(!toolBar->isFloatable());
        QCOMPARE(toolBar->iconSize(), QSize(52, 52));

        auto *web = part<QWebEngineView>(window, "webViewSMS");
        QVERIFY(web);
        QCOMPARE(web->contextMenuPolicy(), Qt::NoContextMenu);
        QVERIFY(!web->acceptDrops());
        QCOMPARE(web->url(), QUrl(QStringLiteral("about:blank")));
    }

    void messageListGetsItsColumnsWhenAModelArrives()
    {
        MainWindow window;
        auto *list = part<SourceTreeView>(window, "treeViewSMS");
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(list->indentation(), 5);
        QVERIFY(list->isSortingEnabled());
        QVERIFY(!list->header()->sectionsMovable());

        QStandardItemModel model(0, 4);
        list->setModel(&model);
        QCOMPARE(list->columnWidth(0), 160);
        QCOMPARE(list->columnWidth(1), 50);
        QCOMPARE(list->columnWidth(2), 120);
        QCOMPARE(list->header()->sortIndicatorSection(), 0);
        QCOMPARE(list->header()->sortIndicatorOrder(), Qt::AscendingOrder);

        QStandardItemModel again(0, 3);   // a new model is laid out the same way
        list->setModel(&again);
        QCOMPARE(list->columnWidth(1), 50);
        list->setModel(nullptr);
    }

    void treeViewSignalsSelectionAndContextMenu()
    {
        SourceTreeView view;
        QStandardItemModel model(3, 1);
        view.setModel(&model);
        QSignalSpy selections(&view, &SourceTreeView::onSelectionChanged);
        QSignalSpy menus(&view, &SourceTreeView::createContextMenu);

        view.selectionModel()->select(model.index(1, 0), QItemSelectionModel::ClearAndSelect);
        QCOMPARE(selections.size(), 1);
        const auto selected = selections.first().at(0).value<QItemSelection>();
        QVERIFY(selected.contains(model.index(1, 0)));

        view.selectionModel()->select(model.index(2, 0), QItemSelectionModel::ClearAndSelect);
        const auto deselected = selections.last().at(1).value<QItemSelection>();
        QVERIFY(deselected.contains(model.index(1, 0)));

        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), view.mapToGlobal(QPoint(5, 5)));
        QCoreApplication::sendEvent(view.viewport(), &event);
        QCOMPARE(menus.size(), 1);
    }
    // The start-up check asks the vendor server once a day and shows its advertisement; a
    // window opened again the same day asks nothing.
    void startUpCheckRunsOnceADay()
    {
        LoopbackHttpServer server;
        QVERIFY(server.isListening());
        server.setAnswer("/sms_check_update.php", {200, "no update"});
        server.setAnswer("/adv.php", {200, "<a href=\"http://x.invalid/\">News</a>"});
        const QByteArray closedHost = qgetenv("PARLEWICK_VENDOR_HOST");
        qputenv("PARLEWICK_VENDOR_HOST", server.hostAndPort().toLatin1());
        Preferences preferences = Preferences::load();
        preferences.updateChecks = true;   // the user turned them on
        preferences.save();
        QFile::remove(QDir(dataFolder()).filePath(LastCheckFileName));
        {
            MainWindow window;
            QVERIFY(server.waitForRequests(2));
            QTRY_VERIFY(part<QLabel>(window, "lbAdv") && part<QLabel>(window, "lbAdv")->text().contains("News"));
            QTRY_VERIFY(QFileInfo::exists(QDir(dataFolder()).filePath(LastCheckFileName)));
        }
        MainWindow again;
        QVERIFY(part<QLabel>(again, "lbAdv")->text().contains("News"));   // remembered
        // A check is started in the constructor or not at all: no reply means no request.
        QVERIFY(again.findChildren<QNetworkReply *>().isEmpty());
        QCOMPARE(server.requests().size(), 2);
        qputenv("PARLEWICK_VENDOR_HOST", closedHost);
        preferences.updateChecks = false;
        preferences.save();
    }
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
