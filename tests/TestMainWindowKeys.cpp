// The main window from the keyboard (Alt keys in every menu, the command shortcuts, copying
// messages), its search (marks in the list and the bubbles, "n of m", no box for a miss) and
// what it remembers from one run to the next.

#include "TestEnv.h"

#include "BoxRecorder.h"
#include "KikDataBuilder.h"
#include "WindowTestKit.h"
#include "app/AppFolders.h"
#include "app/ColourRoles.h"
#include "ui/MainMenus.h"
#include "ui/MainWindow.h"
#include "ui/ManualViewer.h"
#include "ui/SourceTreeView.h"
#include "ui/WindowMemory.h"
#include "views/ItemModelMain.h"
#include "views/MessageListModel.h"
#include "widgets/KikBubbleViewMgr.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

#include <memory>

using namespace WindowTestKit;

class TestMainWindowKeys : public QObject
{
    Q_OBJECT
    TestEnv env;
    std::unique_ptr<MainWindow> window;
    QList<QUrl> opened;
    int saveDialogs = 0;

    ItemNode *diary() const { return child(window->mainModel()->localDbRoot(), QStringLiteral("Diary")); }
    ItemNode *quinn() const { return child(diary(), QStringLiteral("Quinn")); }
    QLabel *searchResult() const { return window->findChild<QLabel *>(QStringLiteral("lbSearchResult")); }
    QLineEdit *searchBox() const { return window->findChild<QLineEdit *>(QStringLiteral("txtSMSKeyword")); }

    void openWindow()
    {
        window = std::make_unique<MainWindow>();
        window->dialogs().chooseExportFile = [this](const QString &, const QString &, const QString &, const QString &) {
            ++saveDialogs;
            return CommandDialogs::ExportChoice();
        };
        window->show();
        activate();
    }

    int currentRow() const { return messageList(*window)->currentIndex().row(); }

    // Keys reach the window's shortcuts only while it is active; a progress dialog that came
    // and went takes that away.
    void activate()
    {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    void press(QWidget *target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        if (!window->isActiveWindow())
            activate();
        QTest::keyClick(target, key, modifiers);
        settle();
    }

public slots:
    void open(const QUrl &url) { opened << url; }

private slots:
    void initTestCase()
    {
        prepareApplication();
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
        KikDataSet set;
        KikDataBuilder builder(set);
        KikChat *chat = builder.addChat(builder.addUser(QStringLiteral("Quinn"), QStringLiteral("quinn@talk.kik.com")));
        const QDateTime base(QDate(2020, 2, 2), QTime(12, 0), Qt::UTC);
        builder.addMessage(chat, base, QStringLiteral("Apple pie tonight?"), false);
        builder.addPicture(chat, base.addSecs(60), QString(), true);   // listed as "[IMAGE]"
        builder.addMessage(chat, base.addSecs(120), QStringLiteral("no fruit for me"), true);
        builder.addMessage(chat, base.addSecs(180), QStringLiteral("then apple juice \U0001F34F"), false);
        builder.addMessage(builder.addChat(builder.addUser(QStringLiteral("Rex"), QStringLiteral("rex@talk.kik.com"))),
                           base.addSecs(240), QStringLiteral("hello"), false);
        writeLocalDb(QDir(localDatabasesFolder()).filePath(QStringLiteral("Diary")), set);
        openWindow();
        select(*window, diary());
        select(*window, quinn());
        QCOMPARE(window->smsModel()->rowCount(), 4);
    }

    void everyMenuEntryHasItsOwnAltKey()
    {
        QList<QMenu *> menus;
        for (QAction *title : window->menuBar()->actions())
            menus << title->menu();
        std::unique_ptr<QMenu> treeMenu(window->menus()->treeContextMenu(window->commandScope(), window.get()));
        std::unique_ptr<QMenu> listMenu(window->menus()->listContextMenu(window->commandScope(), window.get()));
        menus << treeMenu.get() << listMenu.get();
        QList<QAction *> bar = window->menuBar()->actions();
        for (const QList<QAction *> &entries : [&] {
                 QList<QList<QAction *>> all{bar};
                 for (QMenu *menu : menus)
                     all << menu->actions();
                 return all;
             }()) {
            QString keys;
            for (const QAction *action : entries) {
                if (action->isSeparator())
                    continue;
                const qsizetype amp = action->text().indexOf(QLatin1Char('&'));
                QVERIFY2(amp >= 0 && amp + 1 < action->text().size(), qPrintable(action->text()));
                const QChar key = action->text().at(amp + 1).toLower();
                QVERIFY2(!keys.contains(key), qPrintable(action->text()));
                keys += key;
            }
        }
    }

    void commandsAnswerTheirKeys()
    {
        BoxRecorder boxes(QMessageBox::No);
        messageList(*window)->setFocus();
        press(window.get(), Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(saveDialogs, 1);
        // Printing opens a preview that would wait for the user; its key is only looked at.
        QCOMPARE(window->findChild<QAction *>(QStringLiteral("miPrintToolbar"))->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
        press(messageList(*window), Qt::Key_Delete);
        QCOMPARE(boxes.texts().size(), 1);
        QVERIFY(boxes.texts().first().startsWith("Confirm to delete Messages with this contact?"));
        press(window.get(), Qt::Key_F1);   // the manual that ships with the program
        ManualViewer *manual = window->findChild<ManualViewer *>();
        QVERIFY(manual && manual->isVisible());
        manual->close();
        activate();

        press(window.get(), Qt::Key_F5);   // read again from its file, the same chat shown
        QCOMPARE(window->currentNode(), quinn());
        QCOMPARE(window->smsModel()->rowCount(), 4);

        QItemSelectionModel *selection = messageList(*window)->selectionModel();
        selection->clearSelection();
        for (int row : {3, 0})
            selection->select(window->smsModel()->indexForRow(row), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        messageList(*window)->setFocus();
        press(messageList(*window), Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = QGuiApplication::clipboard()->text().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);   // in the list's order, whatever order they were picked in
        QVERIFY(lines.at(0).endsWith("\tFrom\tQuinn\tApple pie tonight?"));
        // Emoji stay the characters they are, no "[EMOJI]".
        QVERIFY(lines.at(1).endsWith(QStringLiteral("\tFrom\tQuinn\tthen apple juice \U0001F34F")));
    }

    void searchMarksCountsAndWraps()
    {
        BoxRecorder boxes;
        QSignalSpy finds(window->findChild<QWebEngineView *>(QStringLiteral("webViewSMS"))->page(),
                         &QWebEnginePage::findTextFinished);
        messageList(*window)->setCurrentIndex(QModelIndex());
        press(window.get(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), searchBox());
        QTest::keyClicks(searchBox(), QStringLiteral("APPLE"));
        press(searchBox(), Qt::Key_Return);
        QCOMPARE(currentRow(), 0);
        QCOMPARE(searchResult()->text(), QStringLiteral("1 of 2"));
        press(window.get(), Qt::Key_F3);
        QCOMPARE(currentRow(), 3);
        QCOMPARE(searchResult()->text(), QStringLiteral("2 of 2"));
        press(window.get(), Qt::Key_F3);
        QCOMPARE(searchResult()->text(), QStringLiteral("1 of 2"));
        press(window.get(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(currentRow(), 3);

        const ColourRoles roles = ColourRoles::current();
        const auto ground = [this](int row) {
            return window->smsModel()->index(row, 3).data(Qt::BackgroundRole).value<QBrush>().color();
        };
        QCOMPARE(ground(0), roles.match.background);
        QCOMPARE(ground(2), roles.sent.background);
        QCOMPARE(window->bubbleView()->highlight(), QStringLiteral("APPLE"));
        QTRY_VERIFY_WITH_TIMEOUT(
            !finds.isEmpty() && finds.last().first().value<QWebEngineFindTextResult>().numberOfMatches() == 2, 20000);

        // A picture's "[IMAGE]" is no text of the chat; a miss is said beside the box.
        searchBox()->setText(QStringLiteral("image"));
        press(searchBox(), Qt::Key_Return);
        QCOMPARE(searchResult()->text(), QStringLiteral("No message contains \"image\"."));
        QVERIFY(searchResult()->isVisible());
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(currentRow(), 3);
        // An emoji is found as the character it is.
        searchBox()->setText(QStringLiteral("\U0001F34F"));
        press(searchBox(), Qt::Key_Return);
        QCOMPARE(searchResult()->text(), QStringLiteral("1 of 1"));
        QCOMPARE(currentRow(), 3);
        searchBox()->clear();
        QCOMPARE(ground(0), roles.received.background);
        QVERIFY(!searchResult()->isVisible());
    }

    void theWindowComesBackAsItWasLeft()
    {
        window->showNormal();
        window->setGeometry(40, 50, 720, 480);
        auto *panes = window->findChild<QSplitter *>(QStringLiteral("splitter"));
        panes->setSizes({150, 300, 250});
        QHeaderView *columns = messageList(*window)->header();
        columns->resizeSection(0, 101);
        columns->resizeSection(2, 77);
        select(*window, quinn());
        const QRect geometry = window->geometry();
        const QList<int> paneSizes = panes->sizes();
        press(window.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!window->isVisible());

        openWindow();
        settle();
        QCOMPARE(window->geometry(), geometry);
        QCOMPARE(window->findChild<QSplitter *>(QStringLiteral("splitter"))->sizes(), paneSizes);
        QCOMPARE(messageList(*window)->header()->sectionSize(0), 101);
        QCOMPARE(messageList(*window)->header()->sectionSize(2), 77);
        QTRY_COMPARE(window->currentNode(), quinn());
        QCOMPARE(window->smsModel()->rowCount(), 4);

        // A place on a screen no longer there, larger than any, and maximized.
        window->close();
        {
            QSettings stored(WindowMemory::settingsPath(), QSettings::IniFormat);
            stored.setValue(QStringLiteral("window/geometry"), QRect(9000, -7000, 5000, 4000));
            stored.setValue(QStringLiteral("window/maximized"), true);
        }
        openWindow();
        const QRect screen = window->screen()->availableGeometry();
        QVERIFY(window->windowState().testFlag(Qt::WindowMaximized));
        QVERIFY2(screen.contains(window->normalGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                                           .arg(window->normalGeometry().x())
                                                                           .arg(window->normalGeometry().y())
                                                                           .arg(window->normalGeometry().width())
                                                                           .arg(window->normalGeometry().height())));
    }

    void aPlaceIsFittedToTheScreenItOverlapsMost()
    {
        const QList<QRect> screens{QRect(0, 0, 1600, 1000), QRect(1600, 0, 1280, 800)};
        QCOMPARE(WindowMemory::fitToScreens(QRect(1700, 100, 800, 600), screens), QRect(1700, 100, 800, 600));
        QCOMPARE(WindowMemory::fitToScreens(QRect(2500, 500, 800, 600), screens), QRect(2080, 200, 800, 600));
        QCOMPARE(WindowMemory::fitToScreens(QRect(-500, -500, 2000, 2000), screens), QRect(0, 0, 1600, 1000));
        QCOMPARE(WindowMemory::fitToScreens(QRect(9000, 9000, 300, 200), screens), QRect(1300, 800, 300, 200));
    }
};

QTEST_MAIN(TestMainWindowKeys)
#include "TestMainWindowKeys.moc"
