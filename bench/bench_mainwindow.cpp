// The main window with a local database of a million messages: the first selection (the
// database is read behind the progress dialog, then shown), and then, with the data loaded,
// showing the database's list with its first bubble page and showing its largest chat. The
// baseline is the sqlite3 shell reading the same tables in the same run.
#include "BenchSupport.h"
#include "app/AppFolders.h"
#include "kik/IOSKikDb.h"
#include "kik/KikChat.h"
#include "kikstore/KikStoreGenerator.h"
#include "ui/MainWindow.h"
#include "ui/SourceTreeView.h"
#include "views/ItemModelMain.h"
#include "views/MessageListModel.h"
#include "workers/BackupKikMessagesThread.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QWebEngineView>

#include <cstdio>

namespace {

const QByteArray LocalQueries = "select * from kik_user;\nselect * from kik_user_members;\nselect * from kik_chat;\n"
                                "select * from kik_message;\nselect * from kik_chat_messages;\n";

// A local database of about `wanted` messages in `folder`, made as the Backup command makes it.
qint64 makeLocalDb(const QString &work, const QString &folder, qint64 wanted)
{
    const KikStoreOptions options = BenchSupport::largeStoreOptions(wanted);
    const GeneratedKikStore store = KikStoreGenerator(options).generate(QDir(work).filePath(QStringLiteral("kik")));
    KikDataSetPtr dataSet = KikDataSetPtr::create();
    IOSKikDb reader(store.rootFolder, QDir(work).filePath(QStringLiteral("thumbs")));
    reader.setOpenMode(IOSKikDb::ReadOnlyMode);
    reader.load(dataSet);
    BenchSupport::QuietProgress progress;
    BackupKikMessagesThread worker(dataSet->allMessages(), folder, &progress);
    worker.start();
    worker.wait();
    if (!progress.error.isEmpty())
        std::printf("backup failed: %s\n", qUtf8Printable(progress.error));
    return progress.error.isEmpty() ? store.messages : -1;
}

// Seconds from making the node current until the bubble view has loaded its page; negative
// when no page came within two minutes.
double secondsToShow(MainWindow &window, ItemNode *node)
{
    auto *view = window.findChild<QWebEngineView *>(QStringLiteral("webViewSMS"));
    auto *tree = window.findChild<SourceTreeView *>(QStringLiteral("treeViewDS"));
    bool loaded = false;
    const QMetaObject::Connection connection =
        QObject::connect(view, &QWebEngineView::loadFinished, [&loaded] { loaded = true; });
    QElapsedTimer timer;
    timer.start();
    tree->setCurrentIndex(window.mainModel()->indexOfNode(node));
    while (!loaded && timer.elapsed() < 120000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    QObject::disconnect(connection);
    return loaded ? timer.nsecsElapsed() / 1e9 : -1;
}

ItemNode *largestChat(const ItemNode *database)
{
    ItemNode *largest = nullptr;
    qsizetype most = -1;
    for (ItemNode *node : database->children) {
        const auto *chat = static_cast<ChatItemNode *>(node)->chat;
        if (chat && chat->messages.size() > most) {
            most = chat->messages.size();
            largest = node;
        }
    }
    return largest;
}

}   // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    // The window finds its local databases in the data folder: a fresh one, and no network.
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", QDir(home.path()).filePath(QStringLiteral(".local/share")).toUtf8());
    qputenv("PARLEWICK_VENDOR_HOST", "127.0.0.1:9");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 wanted = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    if (wanted <= 0)
        return 1;

    const QString folder = QDir(localDatabasesFolder()).filePath(QStringLiteral("Bench"));
    QElapsedTimer timer;
    timer.start();
    const qint64 messages = makeLocalDb(home.path(), folder, wanted);
    if (messages < 0)
        return 1;
    std::printf("local database: %lld messages, made in %.1f s\n", static_cast<long long>(messages), timer.nsecsElapsed() / 1e9);

    MainWindow window;
    window.show();
    ItemNode *database = window.mainModel()->localDbRoot()->children.value(0);
    if (!database)
        return 1;
    const double first = secondsToShow(window, database);
    ItemNode *chat = largestChat(database);
    if (first < 0 || !chat || secondsToShow(window, window.mainModel()->localDbRoot()) < 0)
        return 1;
    const double again = secondsToShow(window, database);
    const qsizetype allRows = window.smsModel()->rowCount();
    const double chatSeconds = secondsToShow(window, chat);
    const qsizetype chatRows = window.smsModel()->rowCount();

    const double shell = BenchSupport::shellSeconds(QDir(folder).filePath(QStringLiteral("talvora-kik.db")), LocalQueries);
    std::printf("first selection (read and show)  %8.2f s\n", first);
    if (shell > 0)
        std::printf("sqlite3 reading the same tables  %8.2f s   (ratio %.2f)\n", shell, first / shell);
    std::printf("database shown again             %8.3f s   (%lld rows; goal: under 1 s)\n", again,
                static_cast<long long>(allRows));
    std::printf("largest chat shown               %8.3f s   (%lld rows; goal: under 1 s)\n", chatSeconds,
                static_cast<long long>(chatRows));
    return 0;
}
