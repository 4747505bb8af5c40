#include "TestEnv.h"

#include "BoxRecorder.h"
#include "KikDataBuilder.h"
#include "ModalKeys.h"
#include "WindowTestKit.h"
#include "app/AppFolders.h"
#include "ui/AboutUsForm.h"
#include "ui/ExportFileDialog.h"
#include "ui/MainWindow.h"
#include "ui/SourceTreeView.h"
#include "views/ItemModelMain.h"
#include "views/MessageListModel.h"
#include "widgets/MessageBoxes.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

using namespace WindowTestKit;

namespace {

QDateTime at(int minutes)
{
    return QDateTime(QDate(2016, 3, 1), QTime(10, 0), Qt::UTC).addSecs(minutes * 60);
}

KikDataSetPtr chats(const QList<QPair<QString, QStringList>> &chatBodies)
{
    KikDataSetPtr set(new KikDataSet);
    KikDataBuilder builder(*set);
    int minute = 0;
    for (const auto &[name, bodies] : chatBodies) {
        KikChat *chat = builder.addChat(builder.addUser(name, name.toLower() + QStringLiteral("@talk.kik.com")));
        for (const QString &body : bodies)
            builder.addMessage(chat, at(minute += 5), body, false);
    }
    return set;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

using SaveAnswer = CommandDialogs::ExportChoice;

// The first line of an export's end box; the place follows it.
QStringList firstLines(const QStringList &texts)
{
    QStringList lines;
    for (const QString &text : texts)
        lines << text.section(QStringLiteral("<br/>"), 0, 0);
    return lines;
}

}   // namespace

// Export, delete, backup and the single commands of the main window, with every dialog
// answered by the test.
class TestMainWindowCommands : public QObject
{
    Q_OBJECT
    TestEnv env;
    std::unique_ptr<MainWindow> window;
    PhoneItemNode *phone = nullptr;
    QList<QUrl> opened;

    // What the dialogs were asked and will answer.
    QStringList saveDialogAsked;
    SaveAnswer saveAnswer;
    QStringList databaseDialogAsked;
    QString databaseAnswer;

    ItemModelMain *model() const { return window->mainModel(); }
    ItemNode *database(const QString &name) const { return child(model()->localDbRoot(), name); }
    ItemNode *archiveChat(const QString &name) const { return child(database(QStringLiteral("Archive")), name); }

    void selectRows(const QList<int> &rows)
    {
        QItemSelectionModel *selection = messageList(*window)->selectionModel();
        selection->clearSelection();
        for (int row : rows)
            selection->select(window->smsModel()->indexForRow(row), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    QStringList localDatabaseFolders() const
    {
        return QDir(localDatabasesFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }

public slots:
    void open(const QUrl &url) { opened << url; }

private slots:
    void initTestCase()
    {
        prepareApplication();
        for (const char *scheme : {"file", "http"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "open");
        writeLocalDb(QDir(localDatabasesFolder()).filePath("Archive"), *chats({{"Solo", {"only one \U0001F604"}},
                                                                               {"Bob", {"bob one", "bob two", "bob three"}},
                                                                               {"Carol", {"carol one", "carol two"}}}));
        window = std::make_unique<MainWindow>();
        CommandDialogs &dialogs = window->dialogs();
        dialogs.chooseExportFile = [this](const QString &title, const QString &initialPath, const QString &filters,
                                          const QString &what) {
            saveDialogAsked = {title, initialPath, filters, what};
            return saveAnswer;
        };
        dialogs.chooseLocalDb = [this](const QStringList &existingNames, const QString &proposedName) {
            databaseDialogAsked = existingNames;
            databaseDialogAsked.prepend(proposedName);
            return databaseAnswer;
        };

        DeviceDescription description;
        description.deviceName = QStringLiteral("X");
        description.udid = QStringLiteral("0123456789abcdef");
        phone = model()->addDevice(description);
        phone->dataSet = chats({{"Eve", {"eve one", "eve two"}}});
        model()->addChats(phone);
        select(*window, database(QStringLiteral("Archive")));
        QCOMPARE(childTexts(database(QStringLiteral("Archive"))), QStringList({"Carol", "Bob", "Solo"}));
    }

    void exportAsksForAPathAndFollowsItsRules_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QByteArray>("begins");   // the kind that was written
        const QByteArray text("Date "), csv("date,send"), pdf("%PDF"), html("<!DOCTYPE");
        QTest::newRow("text without suffix") << "Text Files(*.txt)"
                                             << "notes"
                                             << "notes.txt" << text;
        QTest::newRow("word") << "Doc Files(*.doc)"
                              << "letter"
                              << "letter.doc" << text;
        QTest::newRow("csv with its suffix") << "CSV Files(*.csv)"
                                             << "table.csv"
                                             << "table.csv" << csv;
        QTest::newRow("text named otherwise") << "Text Files(*.txt)"
                                              << "log.dat"
                                              << "log.dat" << text;
        QTest::newRow("pdf: a folder before the first dot") << "PDF Files(*.pdf)"
                                                            << "a.b.pdf"
                                                            << "a-pdf/Bob.pdf" << pdf;
        QTest::newRow("html") << "HTML Files(*.html)"
                              << "page.html"
                              << "page-html/Bob.html" << html;
        // The typed suffix outranks the selected filter.
        QTest::newRow("html typed under text") << "Text Files(*.txt)"
                                               << "x.html"
                                               << "x-html/Bob.html" << html;
        QTest::newRow("htm in capitals under csv") << "CSV Files(*.csv)"
                                                   << "y.HTM"
                                                   << "y-html/Bob.html" << html;
        QTest::newRow("csv typed under pdf") << "PDF Files(*.pdf)"
                                             << "t.Csv"
                                             << "t.Csv" << csv;
    }

    void exportAsksForAPathAndFollowsItsRules()
    {
        QFETCH(QString, filter);
        QFETCH(QString, chosen);
        QFETCH(QString, written);
        QFETCH(QByteArray, begins);
        BoxRecorder boxes;
        const QDir out(env.path(QStringLiteral("out-%1").arg(QTest::currentDataTag()).replace(' ', '_')));
        QVERIFY(out.mkpath("."));
        saveAnswer = {out.filePath(chosen), filter};
        select(*window, archiveChat(QStringLiteral("Bob")));
        window->commands().exportToFile(MessageVariant::Chat);

        QCOMPARE(saveDialogAsked.value(0), QStringLiteral("Please select Save Path for messages."));
        const QString initial = saveDialogAsked.value(1);
        QCOMPARE(QFileInfo(initial).dir(), QDir::home());
        QVERIFY2(QRegularExpression(QStringLiteral("^chats\\(\\d{8}-\\d{6}\\)$")).match(QFileInfo(initial).fileName()).hasMatch(),
                 qPrintable(initial));
        QCOMPARE(saveDialogAsked.value(2), QStringLiteral("Text Files(*.txt);;Doc Files(*.doc);;CSV Files(*.csv);;"
                                                          "PDF Files(*.pdf);;HTML Files(*.html)"));
        QVERIFY2(readAll(out.filePath(written)).startsWith(begins), qPrintable(out.entryList().join(' ')));
        // The end box names the file, or the folder of the pages.
        const QString place = out.filePath(written.section('/', 0, 0));
        QCOMPARE(boxes.texts(), QStringList("Successfully exported 3 Messages.<br/><br/>" + place));
    }

    void exportWithoutAnswerOrWithAStrangeFilterWritesNothing()
    {
        BoxRecorder boxes;
        const QDir out(env.path("out-refused"));
        QVERIFY(out.mkpath("."));
        select(*window, archiveChat(QStringLiteral("Bob")));
        saveAnswer = {QString(), QStringLiteral("Text Files(*.txt)")};
        window->commands().exportToFile(MessageVariant::Chat);
        QVERIFY(boxes.boxes().isEmpty());

        saveAnswer = {out.filePath("x.rtf"), QStringLiteral("Rich Text(*.rtf)")};
        window->commands().exportToFile(MessageVariant::Chat);
        QCOMPARE(boxes.texts(QMessageBox::Critical).size(), 1);
        QVERIFY(boxes.texts(QMessageBox::Critical).first().contains("unknown export format."));
        QVERIFY(out.isEmpty());
    }

    // The dialog's emoji choice reaches the file, and the dialog remembers it.
    void exportWritesEmojiAsTheDialogSays()
    {
        // Until the user unticks it, emoji go out as the characters they are.
        QVERIFY(ExportFileDialog(window.get(), QString(), QString(), QString()).emojiAsCharacters());
        BoxRecorder boxes;
        const QDir out(env.path("out-emoji"));
        QVERIFY(out.mkpath("."));
        select(*window, archiveChat(QStringLiteral("Solo")));
        saveAnswer = {out.filePath("kept.txt"), QStringLiteral("Text Files(*.txt)"), true};
        window->commands().exportToFile(MessageVariant::Chat);
        QVERIFY(readAll(out.filePath("kept.txt")).contains("only one \xF0\x9F\x98\x84"));
        saveAnswer = {out.filePath("marked.txt"), QStringLiteral("Text Files(*.txt)"), false};
        window->commands().exportToFile(MessageVariant::Chat);
        QVERIFY(readAll(out.filePath("marked.txt")).contains("only one [EMOJI]"));

        for (const bool keep : {true, false}) {
            ExportFileDialog dialog(window.get(), QStringLiteral("t"), out.filePath("x"), QStringLiteral("Text Files(*.txt)"));
            dialog.findChild<QCheckBox *>()->setChecked(keep);
            dialog.accept();
            QCOMPARE(ExportFileDialog(window.get(), QString(), QString(), QString()).emojiAsCharacters(), keep);
        }
    }

    void toolbarExportTakesTheSelectionThenTheChatThenAll()
    {
        BoxRecorder boxes;
        const QDir out(env.path("out-toolbar"));
        QVERIFY(out.mkpath("."));
        select(*window, archiveChat(QStringLiteral("Bob")));
        selectRows({0, 2});
        saveAnswer = {out.filePath("selected.csv"), QStringLiteral("CSV Files(*.csv)")};
        window->commands().exportToFile(MessageVariant::Toolbar);
        const QByteArray selected = readAll(out.filePath("selected.csv"));
        QVERIFY(selected.contains("bob one") && selected.contains("bob three") && !selected.contains("bob two"));

        selectRows({});
        saveAnswer = {out.filePath("chat.csv"), QStringLiteral("CSV Files(*.csv)")};
        window->commands().exportToFile(MessageVariant::Toolbar);
        const QByteArray chat = readAll(out.filePath("chat.csv"));
        QVERIFY(chat.contains("bob two") && !chat.contains("carol"));

        select(*window, database(QStringLiteral("Archive")));
        saveAnswer = {out.filePath("all.csv"), QStringLiteral("CSV Files(*.csv)")};
        window->commands().exportToFile(MessageVariant::Toolbar);
        const QByteArray all = readAll(out.filePath("all.csv"));
        QVERIFY(all.contains("bob two") && all.contains("carol two") && all.contains("only one"));
        QCOMPARE(firstLines(boxes.texts()), QStringList({"Successfully exported 2 Messages.", "Successfully exported 3 Messages.",
                                                         "Successfully exported 6 Messages."}));
    }

    void exportDialogNamesWhatGoes_data()
    {
        QTest::addColumn<QString>("chat");   // empty: the source's node
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("what");
        QTest::newRow("one selected") << "Bob" << QList<int>{1} << int(MessageVariant::Toolbar) << "1 selected message of Bob";
        QTest::newRow("selection of a source")
            << "" << QList<int>{0} << int(MessageVariant::Selection) << "1 selected message of Archive";
        QTest::newRow("chat") << "Bob" << QList<int>{} << int(MessageVariant::Chat) << "the chat with Bob (3 messages)";
        QTest::newRow("all chats") << "Bob" << QList<int>{} << int(MessageVariant::All) << "all 3 chats of Archive";
    }

    void exportDialogNamesWhatGoes()
    {
        QFETCH(QString, chat);
        QFETCH(QList<int>, rows);
        QFETCH(int, variant);
        QFETCH(QString, what);
        select(*window, chat.isEmpty() ? database(QStringLiteral("Archive")) : archiveChat(chat));
        selectRows(rows);
        saveAnswer = {};   // closed without a name: nothing is written
        saveDialogAsked.clear();
        window->commands().exportToFile(MessageVariant(variant));
        QCOMPARE(saveDialogAsked.value(3), what);
    }

    // One box after the progress dialog has closed, naming the file; its button shows the folder.
    void exportEndsWithOneBoxThatOpensTheFolder()
    {
        const QDir out(env.path("out-end"));
        QVERIFY(out.mkpath("."));
        select(*window, archiveChat(QStringLiteral("Bob")));
        selectRows({1});
        saveAnswer = {out.filePath("one.txt"), QStringLiteral("Text Files(*.txt)")};
        QStringList shown;
        bool progressShown = false;
        setMessageBoxTestHook([&](QMessageBox::Icon, const QString &text) {
            shown << text;
            for (const QWidget *form : window->findChildren<QDialog *>(QStringLiteral("ProgressForm")))
                progressShown = progressShown || form->isVisible();
            return QMessageBox::Open;
        });
        opened.clear();
        window->commands().exportToFile(MessageVariant::Selection);
        setMessageBoxTestHook({});

        QCOMPARE(shown, QStringList("Successfully exported 1 Message.<br/><br/>" + out.filePath("one.txt")));
        QVERIFY(!progressShown);
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(out.absolutePath())});
        QVERIFY(readAll(out.filePath("one.txt")).contains("bob two"));

        ExportFileDialog dialog(window.get(), QString(), QString(), QString());
        dialog.setWhat(saveDialogAsked.value(3));
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lbWhat"))->text(),
                 QStringLiteral("This exports 1 selected message of Bob."));
    }

    void deletePromptsKeepEverythingUnlessYesIsChosen()
    {
        for (const ModalKeys::Answer answer : {ModalKeys::Escape, ModalKeys::Return, ModalKeys::Close}) {
            ModalKeys keys(answer);
            select(*window, archiveChat(QStringLiteral("Bob")));
            selectRows({0, 2});
            window->commands().deleteMessages(MessageVariant::Selection);
            window->commands().deleteMessages(MessageVariant::Chat);
            select(*window, database(QStringLiteral("Archive")));
            window->commands().deleteMessages(MessageVariant::All);
            QCOMPARE(keys.texts(),
                     QStringList({"Confirm to delete selected Messages?<br/><br/>2 messages will be deleted from the "
                                  "database \"Archive\".",
                                  "Confirm to delete Messages with this contact?<br/><br/>The chat with Bob and its 3 "
                                  "messages will be deleted from the database \"Archive\".",
                                  "Confirm to delete this database?<br/><br/>The database \"Archive\" and its 6 "
                                  "messages will be deleted."}));
            QCOMPARE(childTexts(database(QStringLiteral("Archive"))), QStringList({"Carol", "Bob", "Solo"}));
            select(*window, archiveChat(QStringLiteral("Bob")));
            QCOMPARE(shownBodies(*window), QStringList({"bob one", "bob two", "bob three"}));
        }
    }

    void deletingSelectedMessagesKeepsTheChatShown()
    {
        BoxRecorder boxes(QMessageBox::No);
        select(*window, archiveChat(QStringLiteral("Bob")));
        selectRows({1});
        window->commands().deleteMessages(MessageVariant::Selection);
        QCOMPARE(boxes.texts(), QStringList("Confirm to delete selected Messages?<br/><br/>1 message will be deleted "
                                            "from the database \"Archive\"."));
        QCOMPARE(window->smsModel()->rowCount(), 3);   // "No" changes nothing

        boxes.setQuestionAnswer(QMessageBox::Yes);
        selectRows({1});
        window->commands().deleteMessages(MessageVariant::Selection);
        settle();
        QCOMPARE(window->currentNode(), archiveChat(QStringLiteral("Bob")));
        QCOMPARE(shownBodies(*window), QStringList({"bob one", "bob three"}));
    }

    void deletingTheLastMessageOfAChatRemovesItsNode()
    {
        BoxRecorder boxes;
        select(*window, archiveChat(QStringLiteral("Solo")));
        selectRows({0});
        window->commands().deleteMessages(MessageVariant::Toolbar);   // rows are selected: only those go
        settle();
        QCOMPARE(childTexts(database(QStringLiteral("Archive"))), QStringList({"Carol", "Bob"}));
        QCOMPARE(window->currentNode(), database(QStringLiteral("Archive")));
        QCOMPARE(window->smsModel()->rowCount(), 4);
    }

    void deletingAChat()
    {
        BoxRecorder boxes;
        select(*window, archiveChat(QStringLiteral("Carol")));
        window->commands().deleteMessages(MessageVariant::Toolbar);   // no rows selected: the chat goes
        settle();
        QCOMPARE(boxes.texts(), QStringList("Confirm to delete Messages with this contact?<br/><br/>The chat with "
                                            "Carol and its 2 messages will be deleted from the database \"Archive\"."));
        QCOMPARE(childTexts(database(QStringLiteral("Archive"))), QStringList("Bob"));
        select(*window, database(QStringLiteral("Archive")));
        QCOMPARE(shownBodies(*window), QStringList({"bob one", "bob three"}));
    }

    void deletionsNeverTouchAPhone()
    {
        BoxRecorder boxes;
        select(*window, phone->children.first());
        selectRows({0});
        window->commands().deleteMessages(MessageVariant::Selection);
        window->commands().deleteMessages(MessageVariant::Chat);
        window->commands().deleteMessages(MessageVariant::Toolbar);
        select(*window, phone);
        window->commands().deleteMessages(MessageVariant::All);
        window->commands().deleteMessages(MessageVariant::Toolbar);
        QVERIFY(boxes.boxes().isEmpty());
        QCOMPARE(phone->dataSet->messages.size(), 2);
        QCOMPARE(phone->children.size(), 1);
    }

    void backupProposesANameAndReusesADatabaseWrittenInOtherCase()
    {
        BoxRecorder boxes;
        select(*window, phone->children.first());
        databaseAnswer = QStringLiteral("aRCHIVE");
        window->commands().backUp(MessageVariant::Chat);
        settle();
        QCOMPARE(databaseDialogAsked, QStringList({"X_Backup", "Archive"}));
        QCOMPARE(boxes.texts(), QStringList("Successfully backed up 2 messages."));
        QCOMPARE(childTexts(model()->localDbRoot()), QStringList("Archive"));
        QCOMPARE(localDatabaseFolders(), QStringList("Archive"));   // no second folder beside it
        QCOMPARE(window->currentNode(), database(QStringLiteral("Archive")));
        QCOMPARE(childTexts(database(QStringLiteral("Archive"))), QStringList({"Bob", "Eve"}));
        QCOMPARE(window->smsModel()->rowCount(), 4);
    }

    void backupIntoANewDatabase()
    {
        BoxRecorder boxes;
        select(*window, phone);
        databaseAnswer = QString();   // cancelled
        window->commands().backUp(MessageVariant::All);
        databaseAnswer = QStringLiteral("../Escaped");
        window->commands().backUp(MessageVariant::Toolbar);
        QCOMPARE(boxes.texts(QMessageBox::Warning),
                 QStringList("Invalid Local Database name(can't contain \\ / : * ? \" &lt; &gt; |)."));
        QCOMPARE(localDatabaseFolders(), QStringList("Archive"));
        QVERIFY(!QFileInfo::exists(QDir(dataFolder()).filePath("Escaped")));

        // A backup that fails leaves no node for a database that does not exist.
        QFile blocker(QDir(localDatabasesFolder()).filePath("Blocked"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        boxes.clear();
        databaseAnswer = QStringLiteral("Blocked");
        window->commands().backUp(MessageVariant::All);
        QCOMPARE(boxes.texts(QMessageBox::Critical).size(), 1);
        QCOMPARE(childTexts(model()->localDbRoot()), QStringList("Archive"));
        QVERIFY(QFileInfo(blocker.fileName()).isFile());
        QVERIFY(blocker.remove());

        databaseAnswer = QStringLiteral(" Fresh copy ");   // kept as typed, blanks too
        window->commands().backUp(MessageVariant::Toolbar);
        settle();
        QCOMPARE(childTexts(model()->localDbRoot()), QStringList({"Archive", " Fresh copy "}));
        QCOMPARE(window->currentNode(), database(QStringLiteral(" Fresh copy ")));
        QCOMPARE(childTexts(window->currentNode()), QStringList("Eve"));
    }

    void deletingADatabase()
    {
        BoxRecorder boxes;
        select(*window, database(QStringLiteral(" Fresh copy ")));
        window->commands().deleteMessages(MessageVariant::All);
        QCOMPARE(boxes.texts(), QStringList({"Confirm to delete this database?<br/><br/>The database \" Fresh copy \" "
                                             "and its 2 messages will be deleted.",
                                             "Successfully deleted database."}));
        QCOMPARE(childTexts(model()->localDbRoot()), QStringList("Archive"));
        QCOMPARE(localDatabaseFolders(), QStringList("Archive"));
        QCOMPARE(window->smsModel()->rowCount(), 0);
    }

    void foldersCacheAndVendorPages()
    {
        BoxRecorder boxes;
        opened.clear();
        window->commands().openDatabaseFolder();
        select(*window, phone);
        window->commands().viewPhoneCacheFiles();
        const QString phoneCache = QDir(iosCacheFolder()).filePath("0123456789abcdef");
        QCOMPARE(opened, QList<QUrl>({QUrl::fromLocalFile(localDatabasesFolder()), QUrl::fromLocalFile(phoneCache)}));
        QVERIFY(QFileInfo(phoneCache).isDir());

        // The remembered device-backup folder goes too, but nothing else at its root.
        const QString root = env.path("backups-root");
        QVERIFY(QDir().mkpath(root + "/__talvora_iosbk_temp/0123456789abcdef"));
        QVERIFY(QDir().mkpath(root + "/keep"));
        const QString rootFile = QDir(dataFolder()).filePath("__talvora_iosbk_temp.path");
        QFile remembered(rootFile);
        QVERIFY(remembered.open(QIODevice::WriteOnly));
        remembered.write(root.toUtf8());
        remembered.close();
        window->commands().clearCache();
        QCOMPARE(boxes.texts(), QStringList("Successfully cleared cache files."));
        QVERIFY(!QFileInfo::exists(phoneCache));
        QVERIFY(!QFileInfo::exists(root + "/__talvora_iosbk_temp"));
        QVERIFY(QFileInfo::exists(root + "/keep"));
        QVERIFY(!QFileInfo::exists(rootFile));
        QVERIFY(QFileInfo::exists(QDir(localDatabasesFolder()).filePath("Archive/talvora-kik.db")));

        // The vendor's pages open only where a vendor host is configured; Help is the manual.
        opened.clear();
        window->commands().showHelp();
        window->commands().sendFeedback();
        QVERIFY(opened.isEmpty());
        qputenv("PARLEWICK_VENDOR_HOST", "127.0.0.1:9");
        window->commands().sendFeedback();
        window->commands().openHomePage();
        window->commands().checkForUpdate();
        qputenv("PARLEWICK_VENDOR_HOST", "");
        QCOMPARE(opened.size(), 3);
        for (const QUrl &page : std::as_const(opened))
            QCOMPARE(page.authority(), QStringLiteral("127.0.0.1:9"));
    }

    void aboutNamesProductAndVersion()
    {
        AboutUsForm about(window.get());
        QStringList texts;
        for (const QLabel *label : about.findChildren<QLabel *>())
            texts << label->text();
        QVERIFY2(texts.contains(QStringLiteral("Parlewick v3.1.01")), qPrintable(texts.join('|')));
        QVERIFY(about.windowFlags().testFlag(Qt::FramelessWindowHint));
    }

    void cleanupTestCase()
    {
        window.reset();
        for (const char *scheme : {"file", "http"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }
};

QTEST_MAIN(TestMainWindowCommands)
#include "TestMainWindowCommands.moc"
