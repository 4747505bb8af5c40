#include "TestEnv.h"

#include "BoxRecorder.h"
#include "ItunesBackupBuilder.h"
#include "WindowTestKit.h"
#include "app/AppFolders.h"
#include "kikstore/KikStoreGenerator.h"
#include "ui/MainWindow.h"
#include "views/ItemModelMain.h"

#include <QDir>
#include <QDirIterator>
#include <QMimeData>
#include <QtTest>

#include <memory>

using namespace WindowTestKit;

// Folders dropped on the main window (drag events sent offscreen) start the fitting import.
class TestDropImport : public QObject
{
    Q_OBJECT
    TestEnv env;
    std::unique_ptr<MainWindow> window;
    GeneratedKikStore store;
    QStringList proposedNames;

    // Drags the files over the window and drops them; true when the window took the drag.
    bool drop(const QStringList &paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        const QPoint centre = window->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &enter);
        QDropEvent dropped(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window.get(), &dropped);
        return enter.isAccepted();
    }

    static QStringList filesUnder(const QString &folder)
    {
        QStringList files;
        QDirIterator it(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        files.sort();
        return files;
    }

private slots:
    void initTestCase()
    {
        prepareApplication();
        KikStoreOptions options;
        options.contacts = 3;
        options.chats = 2;
        options.messagesPerChat = 5;
        store = KikStoreGenerator(options).generate(env.path("drops/My Kik"));
        ItunesBackupBuilder backup;
        backup.addFolder(QStringLiteral("AppDomain-com.kik.chat"), store.rootFolder);
        backup.build(env.path("drops/backup"));
        QVERIFY(QDir().mkpath(env.path("drops/empty")));

        window = std::make_unique<MainWindow>();
        window->dialogs().chooseLocalDb = [this](const QStringList &, const QString &proposed) {
            proposedNames << proposed;
            return proposed;
        };
    }

    void droppedFoldersAreImported_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("database");
        QTest::newRow("iTunes backup") << "drops/backup"
                                       << "Test iPhone_Backup";
        QTest::newRow("Kik folder") << "drops/My Kik"
                                    << "My Kik_Backup";
    }

    void droppedFoldersAreImported()
    {
        QFETCH(QString, folder);
        QFETCH(QString, database);
        BoxRecorder boxes;
        proposedNames.clear();
        const QStringList before = filesUnder(env.path(folder));
        QVERIFY(drop({env.path(folder)}));
        QTRY_COMPARE(boxes.texts(), QStringList(QStringLiteral("Successfully imported %1 messages.").arg(store.messages)));
        QCOMPARE(proposedNames, QStringList(database));
        QVERIFY(child(window->mainModel()->localDbRoot(), database));
        QCOMPARE(filesUnder(env.path(folder)), before);   // the dropped folder is only read
    }

    void anythingElseIsToldWhatToDrop_data()
    {
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<QString>("start");
        const QString hint = QStringLiteral("To import Kik messages, drop one folder");
        QTest::newRow("other folder") << QStringList(QStringLiteral("drops/empty")) << QStringLiteral("%1 is neither");
        QTest::newRow("a file") << QStringList(QStringLiteral("drops/My Kik/Documents/kik.sqlite")) << hint;
        QTest::newRow("two folders") << QStringList({QStringLiteral("drops/backup"), QStringLiteral("drops/My Kik")}) << hint;
        QTest::newRow("missing") << QStringList(QStringLiteral("drops/gone")) << hint;
    }

    void anythingElseIsToldWhatToDrop()
    {
        QFETCH(QStringList, paths);
        QFETCH(QString, start);
        BoxRecorder boxes;
        proposedNames.clear();
        for (QString &path : paths)
            path = env.path(path);
        QVERIFY(drop(paths));
        QTRY_COMPARE(boxes.boxes().size(), 1);
        QCOMPARE(boxes.boxes().first().icon, QMessageBox::Information);
        QVERIFY2(boxes.texts().first().startsWith(start.arg(QDir::toNativeSeparators(paths.first()))),
                 qPrintable(boxes.texts().first()));
        QVERIFY(proposedNames.isEmpty());
    }

    // A folder that only looks like a backup: the error names what is wrong, nothing is imported.
    void brokenBackupIsReported()
    {
        QVERIFY(QDir().mkpath(env.path("drops/fake")));
        QFile manifest(env.path("drops/fake/Manifest.db"));
        QVERIFY(manifest.open(QIODevice::WriteOnly));
        manifest.write("not a database");
        manifest.close();
        BoxRecorder boxes;
        proposedNames.clear();
        QVERIFY(drop({env.path("drops/fake")}));
        QTRY_COMPARE(boxes.texts(QMessageBox::Critical).size(), 1);
        QVERIFY2(boxes.texts().first().contains(QLatin1String("Manifest.plist")), qPrintable(boxes.texts().first()));
        QVERIFY(proposedNames.isEmpty());
    }
};

QTEST_MAIN(TestDropImport)
#include "TestDropImport.moc"
