#include "TestEnv.h"

#include "CliRun.h"
#include "TestFiles.h"

#include "ItunesBackupBuilder.h"
#include "KikBackupFixture.h"
#include "KikDbTestKit.h"
#include "StreamCapture.h"
#include "app/AppFolders.h"
#include "cli/CliRunner.h"
#include "db/Sqlite3DB.h"
#include "kikstore/KikStoreGenerator.h"

#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <csignal>
#include <unistd.h>

namespace {

const QString kKikDomain = QStringLiteral("AppDomain-com.kik.chat");

// Everything below a folder: entries with their bytes and, unless left out, their times, so
// that any write shows.
QMap<QString, QByteArray> snapshot(const QString &folder, bool withTimes = true)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        const QByteArray time = withTimes ? QByteArray::number(info.lastModified().toMSecsSinceEpoch()) : QByteArray();
        entries.insert(QDir(folder).relativeFilePath(path), info.isDir() ? "dir " + time : readFileBytes(path) + time);
    }
    return entries;
}

QByteArray dump(const QString &folder)
{
    QProcess shell;
    shell.start(QStringLiteral("sqlite3"),
                {QStringLiteral("-readonly"), folder + QStringLiteral("/talvora-kik.db"), QStringLiteral(".dump")});
    shell.waitForFinished(60000);
    return shell.readAllStandardOutput();
}

// What two sources must agree on: chats that hold messages, keyed by their user, with
// everything of each message but the row ids, which belong to each database.
QMap<QString, QJsonObject> comparable(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        qWarning() << "not JSON:" << error.errorString();
    QMap<QString, QJsonObject> chats;
    for (const QJsonValue &value : document.object().value(QStringLiteral("chats")).toArray()) {
        QJsonObject chat = value.toObject();
        QJsonArray messages;
        for (const QJsonValue &message : chat.value(QStringLiteral("messages")).toArray()) {
            QJsonObject m = message.toObject();
            m.remove(QStringLiteral("id"));
            messages.append(m);
        }
        if (messages.isEmpty())
            continue;   // a chat without messages is not backed up
        chat.remove(QStringLiteral("id"));
        chat.remove(QStringLiteral("last_ts"));   // a local database keeps its newest message's time
        chat.insert(QStringLiteral("messages"), messages);
        chats.insert(chat.value(QStringLiteral("jid")).toString(), chat);
    }
    return chats;
}

}   // namespace

// show and import end to end: Kik's own store, generated containers, iTunes backups and local
// databases as sources.
class TestCliSourceCommands : public QObject
{
    Q_OBJECT
    TestEnv env;
    QString m_real;        // the real store in a container folder
    QString m_generated;   // a generated container with attachments and pictures
    QString m_plainBackup;
    QString m_encryptedBackup;

    QByteArray showJson(const QStringList &source)
    {
        const CliRun run = runCliTool(QStringList{QStringLiteral("show"), QStringLiteral("--json")} + source);
        if (run.code != 0)
            qWarning() << "show failed:" << run.err;
        return run.out;
    }

    QString localDb(const QString &name) { return QDir(localDatabasesFolder()).filePath(name); }

    QString buildBackup(const QString &name, const QString &password)
    {
        ItunesBackupBuilder builder;
        if (!password.isEmpty())
            builder.setPassword(password, 50);
        builder.addFolder(kKikDomain, m_generated);
        const QString folder = env.path(QStringLiteral("backups/") + name);
        builder.build(folder);
        return folder;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(TestEnv::installEnglishTexts());
        QDir().mkpath(env.path(QStringLiteral("tmp")));
        qputenv("TMPDIR", env.path(QStringLiteral("tmp")).toUtf8());

        m_real = env.path(QStringLiteral("real"));
        const QString documents = m_real + QStringLiteral("/Documents/");
        QVERIFY(!TestEnv::copyFixture(QStringLiteral("kik_ios.sqlite"), documents).isEmpty());
        QVERIFY(QFile::rename(documents + QStringLiteral("kik_ios.sqlite"), documents + QStringLiteral("kik.sqlite")));

        KikStoreOptions options;
        options.contacts = 8;
        options.groups = 2;
        options.chats = 5;
        options.messagesPerChat = 30;
        options.attachmentShare = 0.2;
        const GeneratedKikStore store = KikStoreGenerator(options).generate(env.path(QStringLiteral("generated")));
        m_generated = store.rootFolder;
        QVERIFY(store.attachments > 0);

        m_plainBackup = buildBackup(QStringLiteral("plain"), QString());
        m_encryptedBackup = buildBackup(QStringLiteral("encrypted"), QStringLiteral("s3cret"));
        writeFileBytes(env.path(QStringLiteral("password")), "s3cret\n");
        writeFileBytes(env.path(QStringLiteral("wrong-password")), "secret\n");
    }

    void showPrintsChatsNewestFirst()
    {
        const QMap<QString, QByteArray> before = snapshot(m_real);
        const QByteArray json = showJson({QStringLiteral("--kik"), m_real});
        const QJsonArray chats = QJsonDocument::fromJson(json).object().value(QStringLiteral("chats")).toArray();
        QVERIFY(chats.size() > 1);
        qint64 previous = std::numeric_limits<qint64>::max();
        int messages = 0;
        for (const QJsonValue &chat : chats) {
            const qint64 last = chat.toObject().value(QStringLiteral("last_ts")).toInteger();
            QVERIFY(last <= previous);
            previous = last;
            messages += chat.toObject().value(QStringLiteral("messages")).toArray().size();
        }
        QVERIFY(messages > 0);
        // The keys come in their documented order.
        QVERIFY(QRegularExpression(
                    QStringLiteral("^\\{\"chats\": \\[\\s*\\{\"id\": \\d+, \"name\": \"[^\"]*\", \"jid\": "
                                   "\"[^\"]*\", \"is_group\": (true|false), \"last_ts\": (\\d+|null), "
                                   "(\"admins\": \\[[^\\]]*\\], \"owner_is_admin\": (true|false), )?\"messages\": \\["))
                    .match(QString::fromUtf8(json))
                    .hasMatch());
        QVERIFY(QRegularExpression(QStringLiteral("\\{\"id\": \\d+, \"uid\": \"[^\"]*\", \"ts\": \\d+, \"was_me\": "
                                                  "(true|false), \"sender\": \"[^\"]*\", \"text\": \".*\", \"app_id\": "
                                                  "\"[^\"]*\", \"content_id\": \"[^\"]*\", \"kind\": \"[a-z]+\"\\}"))
                    .match(QString::fromUtf8(json))
                    .hasMatch());

        // One chat by its name, in text.
        const QString name = chats.first().toObject().value(QStringLiteral("name")).toString();
        const CliRun text = runCliTool({QStringLiteral("show"), QStringLiteral("--kik"), m_real, QStringLiteral("--chat"), name});
        QCOMPARE(text.code, 0);
        QVERIFY(text.out.startsWith(name.toUtf8() + " ("));
        QCOMPARE(text.out.count("\n  ") - text.out.count("\n  members: "),
                 chats.first().toObject().value(QStringLiteral("messages")).toArray().size());
        QCOMPARE(snapshot(m_real), before);
    }

    void showKeepsEscapeSequencesOffTheTerminal()
    {
        const QString mirror = KikDbTestKit::realStoreMirror(env.path(QStringLiteral("hostile-text")));
        const QString hostile = QStringLiteral("Hello \x1b]0;owned\x07\x1b[2J\u009b31m\x7f end");
        {
            Sqlite3DB db;
            db.openThrow(mirror + QStringLiteral("/Documents/kik.sqlite"), Sqlite3DB::ReadWrite);
            QCOMPARE(db.exec(QStringLiteral("update ZKIKMESSAGE set ZBODY = '%1' where ZBODY = 'Hello'").arg(hostile)), 0);
            QVERIFY(db.changes() > 0);
        }
        const CliRun text = runCliTool({QStringLiteral("show"), QStringLiteral("--kik"), mirror});
        QCOMPARE(text.code, 0);
        QVERIFY(text.out.contains("Hello  ]0;owned  [2J 31m  end"));
        for (const char *control : {"\x1b", "\x07", "\x7f", "\xc2\x9b"})
            QVERIFY2(!text.out.contains(control), control);

        // JSON keeps the text, every control character escaped.
        const QByteArray json = showJson({QStringLiteral("--kik"), mirror});
        QVERIFY(json.contains(R"(Hello \u001b]0;owned\u0007\u001b[2J\u009b31m\u007f end)"));
        bool found = false;
        for (const QJsonValue &chat : QJsonDocument::fromJson(json).object().value(QStringLiteral("chats")).toArray()) {
            for (const QJsonValue &message : chat.toObject().value(QStringLiteral("messages")).toArray())
                found = found || message.toObject().value(QStringLiteral("text")).toString() == hostile;
        }
        QVERIFY(found);
    }

    void importThenShowGivesTheSameMessages_data()
    {
        QTest::addColumn<QStringList>("source");
        QTest::addColumn<QString>("folder");   // what must stay untouched
        QTest::newRow("real store") << QStringList{QStringLiteral("--kik"), m_real} << m_real;
        QTest::newRow("generated") << QStringList{QStringLiteral("--kik"), m_generated} << m_generated;
        QTest::newRow("plain backup") << QStringList{QStringLiteral("--backup"), m_plainBackup} << m_plainBackup;
        QTest::newRow("encrypted backup") << QStringList{QStringLiteral("--backup"), m_encryptedBackup,
                                                         QStringLiteral("--password-file"), env.path(QStringLiteral("password"))}
                                          << m_encryptedBackup;
    }

    void importThenShowGivesTheSameMessages()
    {
        QFETCH(QStringList, source);
        QFETCH(QString, folder);
        const QMap<QString, QByteArray> before = snapshot(folder);
        const QMap<QString, QJsonObject> shown = comparable(showJson(source));
        QVERIFY(!shown.isEmpty());

        const QString name = QStringLiteral("imported %1").arg(QTest::currentDataTag());
        CliRun run = runCliTool(QStringList{QStringLiteral("import"), QStringLiteral("--into"), name} + source);
        QCOMPARE(run.code, 0);
        QVERIFY2(run.out.startsWith("Successfully backed up "), run.out.constData());
        QCOMPARE(comparable(showJson({QStringLiteral("--db"), name})), shown);

        // Twice the same, spelled in other case as the window allows: nothing changes, and
        // there is still one database of that name.
        const QByteArray stored = dump(localDb(name));
        run = runCliTool(QStringList{QStringLiteral("import"), QStringLiteral("--into"), name.toUpper()} + source);
        QCOMPARE(run.code, 0);
        QCOMPARE(dump(localDb(name)), stored);
        QVERIFY(!QFileInfo::exists(localDb(name.toUpper())));
        QCOMPARE(comparable(showJson({QStringLiteral("--db"), name.toUpper()})), shown);
        QCOMPARE(snapshot(folder), before);

        // The local database as a source elsewhere, read without a trace.
        const QString copy = env.path(QStringLiteral("copies/") + QTest::currentDataTag());
        QVERIFY(QDir().mkpath(copy));
        QVERIFY(QFile::copy(localDb(name) + QStringLiteral("/talvora-kik.db"), copy + QStringLiteral("/talvora-kik.db")));
        const QMap<QString, QByteArray> copyBefore = snapshot(copy);
        QCOMPARE(comparable(showJson({QStringLiteral("--db-path"), copy})), shown);
        QCOMPARE(runCliTool({QStringLiteral("import"), QStringLiteral("--db-path"), copy, QStringLiteral("--into"),
                             name + QStringLiteral(" again")})
                     .code,
                 0);
        QCOMPARE(snapshot(copy), copyBefore);
        QCOMPARE(comparable(showJson({QStringLiteral("--db"), name + QStringLiteral(" again")})), shown);
    }

    void twoImportsAtOnceIntoOneNewDatabase()
    {
        // Two processes importing into one database that does not exist yet: it is made once,
        // the second waits for the first, and it holds every message once.
        const QStringList source = {QStringLiteral("--kik"), m_generated};
        const QMap<QString, QJsonObject> shown = comparable(showJson(source));
        for (int trial = 0; trial < 4; ++trial) {
            const QString name = QStringLiteral("raced %1").arg(trial);
            QProcess runs[2];
            for (QProcess &run : runs)
                run.start(TestEnv::binaryDir() + QStringLiteral("/bin/parlewick-cli"),
                          QStringList{QStringLiteral("import"), QStringLiteral("--into"), name} + source);
            for (QProcess &run : runs) {
                QVERIFY(run.waitForFinished(120000));
                QVERIFY2(run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0, run.readAllStandardError().constData());
                QVERIFY(run.readAllStandardOutput().startsWith("Successfully backed up "));
            }
            QCOMPARE(comparable(showJson({QStringLiteral("--db"), name})), shown);
            QVERIFY(!QFileInfo::exists(localDb(QStringLiteral(".") + name + QStringLiteral(".lock"))));
        }
    }

    void attachmentsOfAGeneratedContainerAreCopied()
    {
        const QString name = QStringLiteral("with files");
        QCOMPARE(
            runCliTool({QStringLiteral("import"), QStringLiteral("--kik"), m_generated, QStringLiteral("--into"), name}).code, 0);
        const QString folder = localDb(name);
        QVERIFY(!QDir(folder + QStringLiteral("/files")).isEmpty());
        QVERIFY(!QDir(folder + QStringLiteral("/prof")).isEmpty());
        // Every content file copied is the container's own.
        for (const QString &file : QDir(folder + QStringLiteral("/files")).entryList(QDir::Files))
            QCOMPARE(readFileBytes(folder + QStringLiteral("/files/") + file),
                     readFileBytes(m_generated + QStringLiteral("/Documents/content_manager/data_cache/") + file));
    }

    void exportWritesEveryFormatFromAKikFolder()
    {
        const QMap<QString, QByteArray> before = snapshot(m_generated);
        int chats = 0;
        int messages = 0;
        for (const QJsonValue &chat : QJsonDocument::fromJson(showJson({QStringLiteral("--kik"), m_generated}))
                                          .object()
                                          .value(QStringLiteral("chats"))
                                          .toArray()) {
            const qsizetype count = chat.toObject().value(QStringLiteral("messages")).toArray().size();
            chats += count > 0 ? 1 : 0;
            messages += int(count);
        }
        QVERIFY(chats > 1);

        QVERIFY(QDir().mkpath(env.path(QStringLiteral("exports"))));
        const QString out = env.path(QStringLiteral("exports/chats"));
        for (const QString &format :
             {QStringLiteral("txt"), QStringLiteral("csv"), QStringLiteral("html"), QStringLiteral("pdf")}) {
            const CliRun run = runCliTool({QStringLiteral("export"), QStringLiteral("--kik"), m_generated,
                                           QStringLiteral("--format"), format, QStringLiteral("--out"), out});
            QCOMPARE(run.code, 0);
            QCOMPARE(run.out, QStringLiteral("Successfully exported %1 Messages.\n").arg(messages).toUtf8());
        }
        QCOMPARE(readFileBytes(out + QStringLiteral(".txt")).count('\n'), messages + 1);   // the header, a line each
        QVERIFY(readFileBytes(out + QStringLiteral(".csv")).startsWith("date,send,user,content\n"));
        QCOMPARE(QDir(out + QStringLiteral("-pdf")).entryList({QStringLiteral("*.pdf")}).size(), chats);
        const QStringList pages = QDir(out + QStringLiteral("-html")).entryList({QStringLiteral("*.html")});
        QCOMPARE(pages.size(), chats);
        QVERIFY(QFileInfo::exists(out + QStringLiteral("-html/files/style.css")));

        // The pictures taken out of the store are copied beside the pages, which name them
        // relative to themselves and nothing by an absolute path.
        int pictures = 0;
        static const QRegularExpression source(QStringLiteral("src=\"(files/[^\"]+)\""));
        for (const QString &page : pages) {
            const QString html = QString::fromUtf8(readFileBytes(out + QStringLiteral("-html/") + page));
            QVERIFY(!html.contains(QStringLiteral("src=\"/")));
            for (const QRegularExpressionMatch &match : source.globalMatch(html)) {
                ++pictures;
                const QString copy = out + QStringLiteral("-html/") + QUrl::fromPercentEncoding(match.captured(1).toUtf8());
                QVERIFY2(QFileInfo(copy).size() > 0, qPrintable(copy));
            }
        }
        QVERIFY(pictures > 0);
        QCOMPARE(snapshot(m_generated), before);
    }

    // Two Kik accounts in the App Group container: without --account the error lists both;
    // with it, show and extract read that account's store as if it were the only one.
    void kikAccounts()
    {
        const QString first = kikFixtureAccountId(1), second = kikFixtureAccountId(2);
        ItunesBackupBuilder builder;
        addKikToBackup(builder, m_real, KikFixturePlace::Group, first);
        addKikToBackup(builder, m_generated, KikFixturePlace::Group, second);
        const QString folder = env.path(QStringLiteral("backups/accounts"));
        builder.build(folder);
        const QMap<QString, QByteArray> before = snapshot(folder);

        CliRun run = runCliTool({QStringLiteral("show"), QStringLiteral("--backup"), folder});
        QCOMPARE(run.code, 1);
        // Listed by the names people know: the store's own user name and display name.
        QVERIFY2(run.err.contains(QStringLiteral("--account"))
                     && run.err.contains(QStringLiteral("jon.doh2015 (Andy Murraymints)  55 messages"))
                     && run.err.contains(QStringLiteral("\nme.owner (")) && !run.err.contains(first),
                 qPrintable(run.err));
        QCOMPARE(showJson({QStringLiteral("--backup"), folder, QStringLiteral("--account"), first}),
                 showJson({QStringLiteral("--kik"), m_real}));
        QCOMPARE(showJson({QStringLiteral("--backup"), folder, QStringLiteral("--account"), second.toUpper()}),
                 showJson({QStringLiteral("--kik"), m_generated}));
        QCOMPARE(showJson({QStringLiteral("--backup"), folder, QStringLiteral("--account"), QStringLiteral("Jon.Doh2015")}),
                 showJson({QStringLiteral("--kik"), m_real}));
        run = runCliTool(
            {QStringLiteral("show"), QStringLiteral("--backup"), folder, QStringLiteral("--account"), QStringLiteral("nobody")});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.contains(QStringLiteral("no Kik account nobody")) && run.err.contains(QStringLiteral("me.owner")),
                 qPrintable(run.err));

        const QString out = env.path(QStringLiteral("extracted-account"));
        run = runCliTool({QStringLiteral("extract"), QStringLiteral("--backup"), folder, QStringLiteral("--out"), out,
                          QStringLiteral("--account"), first});
        QCOMPARE(run.code, 0);
        QCOMPARE(readFileBytes(out + QStringLiteral("/com.kik.chat/Documents/kik.sqlite")),
                 readFileBytes(m_real + QStringLiteral("/Documents/kik.sqlite")));
        run = runCliTool({QStringLiteral("show"), QStringLiteral("--kik"), m_real, QStringLiteral("--account"), first});
        QCOMPARE(run.code, 2);
        QCOMPARE(snapshot(folder), before);
    }

    void failures()
    {
        CliRun run = runCliTool({QStringLiteral("show"), QStringLiteral("--backup"), m_encryptedBackup,
                                 QStringLiteral("--password-file"), env.path(QStringLiteral("wrong-password"))});
        QCOMPARE(run.code, 1);
        QCOMPARE(run.err.trimmed(), QStringLiteral("Invalid password."));

        for (const QString &option : {QStringLiteral("--kik"), QStringLiteral("--backup"), QStringLiteral("--db-path")}) {
            run = runCliTool({QStringLiteral("show"), option, env.path(QStringLiteral("missing"))});
            QCOMPARE(run.code, 1);
            QVERIFY2(run.err.contains(QStringLiteral("does not exist")), qPrintable(run.err));
        }
        run = runCliTool({QStringLiteral("show"), QStringLiteral("--backup"), m_real});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.startsWith(QStringLiteral("Cannot find ")), qPrintable(run.err));
        run = runCliTool({QStringLiteral("show"), QStringLiteral("--kik"), m_plainBackup});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.startsWith(QStringLiteral("Found no Kik data in ")), qPrintable(run.err));
        run = runCliTool({QStringLiteral("show"), QStringLiteral("--db-path"), m_real});
        QCOMPARE(run.code, 1);
        QVERIFY2(run.err.startsWith(QStringLiteral("There is no local database in ")), qPrintable(run.err));
        QVERIFY(!QFileInfo::exists(m_real + QStringLiteral("/thumbs")));
        run = runCliTool({QStringLiteral("show"), QStringLiteral("--db"), QStringLiteral("nobody")});
        QCOMPARE(run.code, 1);
        QCOMPARE(run.err.trimmed(), QStringLiteral("There is no local database named nobody."));
        run = runCliTool(
            {QStringLiteral("show"), QStringLiteral("--kik"), m_real, QStringLiteral("--chat"), QStringLiteral("Nobody")});
        QCOMPARE(run.code, 1);

        // Command-line mistakes.
        QCOMPARE(runCliTool({QStringLiteral("show")}).code, 2);
        QCOMPARE(
            runCliTool({QStringLiteral("show"), QStringLiteral("--kik"), m_real, QStringLiteral("--db"), QStringLiteral("x")})
                .code,
            2);
        QCOMPARE(runCliTool({QStringLiteral("import"), QStringLiteral("--kik"), m_real}).code, 2);
        for (const QString &bad : {QStringLiteral("a/b"), QStringLiteral(".."), QStringLiteral("x:y"), QStringLiteral("  ")}) {
            run = runCliTool({QStringLiteral("import"), QStringLiteral("--kik"), m_real, QStringLiteral("--into"), bad});
            QCOMPARE(run.code, 2);
        }
        QVERIFY(run.err.contains(QStringLiteral("Select one Database or enter a new Database name")));
        for (const QString &made : {QStringLiteral("a"), QStringLiteral("x:y"), QStringLiteral("  ")})
            QVERIFY(!QFileInfo::exists(localDb(made)));
        for (const QString &command : {QStringLiteral("show"), QStringLiteral("import"), QStringLiteral("export"),
                                       QStringLiteral("backups"), QStringLiteral("extract")}) {
            run = runCliTool({command, QStringLiteral("--help")});
            QCOMPARE(run.code, 0);
            QVERIFY(run.out.startsWith("Usage: parlewick-cli " + command.toUtf8()));
        }
    }

    void ctrlCDuringImportCommitsNothing()
    {
        KikStoreOptions options;
        options.contacts = 30;
        options.chats = 30;
        options.messagesPerChat = 4000;
        options.sideFiles = false;
        options.collectUids = false;
        const QString big = KikStoreGenerator(options).generate(env.path(QStringLiteral("big"))).rootFolder;

        const QString name = QStringLiteral("interrupted");
        QCOMPARE(runCliTool({QStringLiteral("import"), QStringLiteral("--kik"), m_real, QStringLiteral("--into"), name}).code, 0);
        const QString folder = localDb(name);
        const QByteArray dumpBefore = dump(folder);
        // A rollback puts the bytes back, not the file times.
        const QMap<QString, QByteArray> before = snapshot(folder, false);

        // A Ctrl-C that comes when no task runs must not end the test.
        struct sigaction ignore
        { };
        struct sigaction original
        { };
        ignore.sa_handler = [](int) {};
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGINT, &ignore, &original);

        // Ctrl-C as soon as the import has written into the database.
        QTimer poll;
        bool raised = false;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (!raised && QFileInfo::exists(folder + QStringLiteral("/talvora-kik.db-journal"))) {
                raised = true;
                std::raise(SIGINT);
            }
        });
        poll.start(1);
        int code = -1;
        QByteArray printed;
        QByteArray errors;
        {
            StreamCapture out(STDOUT_FILENO);
            StreamCapture err(STDERR_FILENO);
            code = runCli({QStringLiteral("import"), QStringLiteral("--kik"), big, QStringLiteral("--into"), name});
            printed = out.text();
            errors = err.text();
        }
        poll.stop();
        QCOMPARE(errors.trimmed(), QByteArray("Canceled."));
        // Nothing but the test's own log lines: no success text.
        QVERIFY2(!printed.contains("Successfully"), printed.constData());
        sigaction(SIGINT, &original, nullptr);
        QVERIFY(raised);
        QCOMPARE(code, 130);
        QCOMPARE(dump(folder), dumpBefore);
        QCOMPARE(snapshot(folder, false), before);
    }
};

QTEST_GUILESS_MAIN(TestCliSourceCommands)
#include "TestCliSourceCommands.moc"
