// readme-screenshot [--dark] OUT.png: the picture of the main window in the README, in the light
// theme or with --dark in the dark one. Makes a local database of a few made-up conversations in
// a fresh data folder, opens the window, selects a chat and saves the window once its bubbles
// are drawn. Run it under xvfb-run (see scripts/readme-screenshot.sh). Its home is a temporary
// folder: a real data folder is never touched.
#include "KikDataBuilder.h"
#include "app/AppFolders.h"
#include "cli/ConsoleProgress.h"
#include "kik/KikChat.h"
#include "kik/KikUser.h"
#include "ui/AppTheme.h"
#include "ui/MainWindow.h"
#include "ui/SourceTreeView.h"
#include "views/ItemModelMain.h"
#include "workers/BackupKikMessagesThread.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <QScreen>
#include <QTemporaryDir>
#include <QTranslator>
#include <QWebEngineView>

#include <cstdio>
#include <functional>

namespace {

QDateTime at(int day, int hour, int minute)
{
    return QDateTime(QDate(2026, 11, day), QTime(hour, minute));
}

// A small landscape for the picture message.
QString drawPicture(const QString &folder)
{
    QImage image(480, 320, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, 320);
    sky.setColorAt(0, QColor(255, 170, 90));
    sky.setColorAt(1, QColor(120, 150, 220));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(60, 80, 70));
    painter.drawPolygon(
        QPolygon({QPoint(0, 320), QPoint(140, 150), QPoint(250, 250), QPoint(360, 120), QPoint(480, 260), QPoint(480, 320)}));
    painter.setBrush(QColor(255, 235, 180));
    painter.drawEllipse(QPoint(380, 80), 30, 30);
    painter.end();
    const QString path = QDir(folder).filePath(QStringLiteral("summit.jpg"));
    image.save(path, "JPG", 90);
    return path;
}

KikDataSetPtr conversations(const QString &pictureFolder)
{
    KikDataSetPtr set = KikDataSetPtr::create();
    KikDataBuilder data(*set);
    KikUser *ann = data.addUser(QStringLiteral("Ann Miller"), QStringLiteral("ann.miller_k4@talk.kik.com"));
    KikUser *ben = data.addUser(QStringLiteral("Ben Carter"), QStringLiteral("bencarter@talk.kik.com"));
    KikUser *chloe = data.addUser(QStringLiteral("Chloe Park"), QStringLiteral("chloe.p@talk.kik.com"));
    KikUser *dan = data.addUser(QStringLiteral("Dan Okafor"), QStringLiteral("danokafor@talk.kik.com"));

    KikChat *hike = data.addChat(data.addGroup(QStringLiteral("Weekend hike"), {ann, ben, chloe}));
    data.addMessage(hike, at(20, 18, 2), QStringLiteral("Who's in for Saturday?"), false, chloe);
    data.addMessage(hike, at(20, 18, 5), QStringLiteral("Me! Same trail as last time?"), true);
    data.addMessage(hike, at(20, 18, 9), QStringLiteral("I'll bring the snacks \U0001F96A"), false, ben);

    KikChat *chat = data.addChat(ann);
    data.addMessage(chat, at(21, 9, 14), QStringLiteral("Good morning! Are we still on for the lake today?"), false);
    data.addMessage(chat, at(21, 9, 16), QStringLiteral("Yes \U0001F60A I'll pick you up at 10"), true);
    data.addMessage(chat, at(21, 9, 17), QStringLiteral("Perfect. I'll make coffee for the road \u2615"), false);
    data.addMessage(chat, at(21, 17, 40), QStringLiteral("What a view from the top"), true);
    KikMessage *picture = data.addPicture(chat, at(21, 17, 41), drawPicture(pictureFolder), true);
    picture->attachment.insert(QStringLiteral("image:preview"), QStringLiteral("summit.jpg"));
    data.addMessage(chat, at(21, 17, 45), QStringLiteral("Wow! Send me that one please, it's going on my wall"), false);
    data.addMessage(chat, at(21, 17, 46), QStringLiteral("Done \U0001F44D"), true);
    data.addMessage(chat, at(22, 8, 30), QStringLiteral("Thanks for yesterday, that was the best day in weeks"), false);
    data.addMessage(chat, at(22, 8, 32), QStringLiteral("Same here. Next weekend the hike with everyone?"), true);
    data.addMessage(chat, at(22, 8, 33), QStringLiteral("Count me in!"), false);

    KikChat *benChat = data.addChat(ben);
    data.addMessage(benChat, at(19, 20, 1), QStringLiteral("Did you get the tickets?"), false);
    data.addMessage(benChat, at(19, 20, 3), QStringLiteral("Two, row 12"), true);
    KikChat *danChat = data.addChat(dan);
    data.addMessage(danChat, at(12, 11, 0), QStringLiteral("Happy birthday \U0001F389"), false);
    return set;
}

bool waitFor(const std::function<bool()> &done, int msecs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < msecs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

}   // namespace

int main(int argc, char **argv)
{
    const bool dark = argc == 3 && qstrcmp(argv[1], "--dark") == 0;
    if (argc != (dark ? 3 : 2)) {
        std::fprintf(stderr, "usage: readme-screenshot [--dark] OUT.png\n");
        return 2;
    }
    const QString out = QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[argc - 1]));
    QTemporaryDir home;
    if (!home.isValid())
        return 1;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_DATA_HOME", QDir(home.path()).filePath(QStringLiteral(".local/share")).toUtf8());
    qputenv("PARLEWICK_VENDOR_HOST", "127.0.0.1:9");
    qputenv("TZ", "UTC");
    QApplication app(argc, argv);
    // Chosen as in Preferences, so the picture does not follow the palette of the display it runs on.
    applyTheme(dark ? ThemeChoice::Dark : ThemeChoice::Light);
    QTranslator translator;
    if (translator.load(QStringLiteral(":/en.qm")))
        QCoreApplication::installTranslator(&translator);

    const KikDataSetPtr data = conversations(home.path());
    ConsoleProgress progress;
    BackupKikMessagesThread backup(data->allMessages(),
                                   QDir(localDatabasesFolder()).filePath(QStringLiteral("Ann's iPhone_Backup")), &progress);
    if (progress.runWorker(backup) != ConsoleProgress::Succeeded) {
        std::fprintf(stderr, "backup failed: %s\n", qUtf8Printable(progress.errorText()));
        return 1;
    }

    MainWindow window;
    window.show();
    auto *tree = window.findChild<SourceTreeView *>(QStringLiteral("treeViewDS"));
    auto *view = window.findChild<QWebEngineView *>(QStringLiteral("webViewSMS"));
    ItemNode *database = window.mainModel()->localDbRoot()->children.value(0);
    if (!tree || !view || !database)
        return 1;
    tree->setCurrentIndex(window.mainModel()->indexOfNode(database));
    waitFor([&] { return !database->children.isEmpty(); }, 30000);
    ItemNode *annChat = nullptr;
    for (ItemNode *node : database->children) {
        if (node->text.startsWith(QLatin1String("Ann")))
            annChat = node;
    }
    if (!annChat)
        return 1;
    bool loaded = false;
    QObject::connect(view, &QWebEngineView::loadFinished, [&loaded] { loaded = true; });
    tree->setCurrentIndex(window.mainModel()->indexOfNode(annChat));
    if (!waitFor([&] { return loaded; }, 30000))
        return 1;
    waitFor([] { return false; }, 1500);   // pictures and fonts settle

    const QPixmap shot =
        window.screen()->grabWindow(0, window.x(), window.y(), window.frameGeometry().width(), window.frameGeometry().height());
    if (shot.isNull() || !shot.save(out, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qUtf8Printable(out));
        return 1;
    }
    std::printf("%s\n", qUtf8Printable(out));
    return 0;
}
