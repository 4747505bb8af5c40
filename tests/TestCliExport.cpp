#include "TestEnv.h"

#include "KikDataBuilder.h"
#include "StreamCapture.h"
#include "cli/CliCommand.h"
#include "cli/CliRunner.h"
#include "cli/ExportCommand.h"
#include "workers/ExportMessagesThread.h"
#include "workers/ExportTarget.h"

#include <QDir>
#include <QLoggingCategory>
#include <QtTest>

#include <unistd.h>

namespace {

// A source named by --db: "broken" fails to load, anything else gives two chats.
ExportCommand::Source testSource()
{
    ExportCommand::Source source;
    source.options = {QCommandLineOption(QStringLiteral("db"), QStringLiteral("A test source."), QStringLiteral("NAME"))};
    source.load = [](const QCommandLineParser &args) -> KikDataSetPtr {
        if (args.value(QStringLiteral("db")) == QLatin1String("broken"))
            throw std::runtime_error("Cannot open broken.");
        KikDataSetPtr data(new KikDataSet);
        KikDataBuilder build(*data);
        const QDateTime t0(QDate(2019, 1, 2), QTime(3, 4), QTimeZone::utc());
        KikUser *ann = build.addUser(QStringLiteral("Ann"), QStringLiteral("ann_x@talk.kik.com"));
        KikChat *withAnn = build.addChat(ann);
        KikChat *withBob = build.addChat(build.addUser(QStringLiteral("Bob")));
        build.addMessage(withAnn, t0, QStringLiteral("hello, Ann"), true);
        build.addMessage(withAnn, t0.addSecs(5), QStringLiteral("hi \uE415\U0001F44D\U0001F3FD"), false);
        build.addMessage(withBob, t0.addSecs(9), QStringLiteral("yo"), false);
        build.addMessage(build.addChat(build.addUser(QStringLiteral("=Zed"))), t0.addSecs(20), QStringLiteral("-2+3"), false);
        return data;
    };
    return source;
}

struct Outcome
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

Outcome exportCli(const QStringList &arguments)
{
    StreamCapture out(STDOUT_FILENO);
    StreamCapture err(STDERR_FILENO);
    Outcome outcome;
    outcome.code = runCli(QStringList{QStringLiteral("export")} + arguments);
    outcome.out = out.text();
    outcome.err = err.text();
    return outcome;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

}   // namespace

class TestCliExport : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void initTestCase()
    {
        QVERIFY(TestEnv::installEnglishTexts());
        // The tool's trace goes to its log; here the test runner would print it on stdout.
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
        CliRegistry::add(std::make_unique<ExportCommand>(testSource()));
        QVERIFY(CliRegistry::find(QStringLiteral("export"))->needsGuiApplication());
    }

    void pathsFollowTheExportCommandsRules()
    {
        const auto target = [](const QString &path, const QString &kind) {
            const ExportTarget t = ExportTarget::forChosenPath(path, kind);
            return std::make_pair(t.path, t.format);
        };
        QCOMPARE(target(QStringLiteral("/x.y/chats(20240101-101010)"), QStringLiteral("txt")),
                 std::make_pair(QStringLiteral("/x.y/chats(20240101-101010).txt"), int(ExportMessagesThread::FormatText)));
        QCOMPARE(target(QStringLiteral("/h/notes"), QStringLiteral("doc")),
                 std::make_pair(QStringLiteral("/h/notes.doc"), int(ExportMessagesThread::FormatText)));
        QCOMPARE(target(QStringLiteral("/h/list.txt"), QStringLiteral("csv")),
                 std::make_pair(QStringLiteral("/h/list.txt"), int(ExportMessagesThread::FormatCsv)));
        QCOMPARE(target(QStringLiteral("/x.y/a.b.pdf"), QStringLiteral("pdf")),
                 std::make_pair(QStringLiteral("/x.y/a-pdf"), int(ExportMessagesThread::FormatPdf)));
        QCOMPARE(target(QStringLiteral("/h/page.html"), QStringLiteral("html")),
                 std::make_pair(QStringLiteral("/h/page-html"), int(ExportMessagesThread::FormatHtml)));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, ExportTarget::forChosenPath(QStringLiteral("/h/x"), QStringLiteral("xls")));
    }

    void exportsTheWholeSourceAndPrintsTheResult()
    {
        const Outcome csv = exportCli({"--db", "d", "--format", "csv", "--out", env.path(QStringLiteral("all"))});
        QCOMPARE(csv.code, 0);
        QCOMPARE(csv.out, QByteArray("Successfully exported 4 Messages.\n"));
        const QByteArray rows("date,send,user,content\n"
                              "2019-01-02 03:04:00,1,Ann,\"hello, Ann\"\n"
                              "2019-01-02 03:04:05,0,Ann,hi [EMOJI][EMOJI]\n"
                              "2019-01-02 03:04:09,0,Bob,yo\n");
        QCOMPARE(readAll(env.path(QStringLiteral("all.csv"))), rows + "2019-01-02 03:04:20,0,'=Zed,'-2+3\n");

        const Outcome raw = exportCli({"--db", "d", "--format", "csv", "--csv-raw", "--out", env.path(QStringLiteral("raw"))});
        QCOMPARE(raw.code, 0);
        QCOMPARE(readAll(env.path(QStringLiteral("raw.csv"))), rows + "2019-01-02 03:04:20,0,=Zed,-2+3\n");

        const Outcome doc = exportCli({"--db", "d", "--format", "DOC", "--out", env.path(QStringLiteral("notes"))});
        QCOMPARE(doc.code, 0);
        QVERIFY(QFileInfo(env.path(QStringLiteral("notes.doc"))).size() > 0);

        // A relative path lies in the working folder.
        QDir::setCurrent(env.home());
        const Outcome pdf = exportCli({"--db", "d", "--format", "pdf", "--out", "a.b.pdf"});
        QCOMPARE(pdf.code, 0);
        QCOMPARE(entries(env.path(QStringLiteral("a-pdf"))),
                 (QStringList{QStringLiteral("=Zed.pdf"), QStringLiteral("Ann.pdf"), QStringLiteral("Bob.pdf")}));
    }

    void chatOptionTakesOneChatByNameOrAddress()
    {
        const Outcome byName =
            exportCli({"--db", "d", "--format", "pdf", "--out", env.path(QStringLiteral("bob.pdf")), "--chat", "Bob"});
        QCOMPARE(byName.code, 0);
        QCOMPARE(byName.out, QByteArray("Successfully exported 1 Message.\n"));
        QCOMPARE(entries(env.path(QStringLiteral("bob-pdf"))), QStringList{QStringLiteral("Bob.pdf")});

        const Outcome byAddress =
            exportCli({"--db", "d", "--format", "txt", "--out", env.path(QStringLiteral("ann")), "--chat", "ann_x@talk.kik.com"});
        QCOMPARE(byAddress.out, QByteArray("Successfully exported 2 Messages.\n"));

        const Outcome missing =
            exportCli({"--db", "d", "--format", "txt", "--out", env.path(QStringLiteral("zed")), "--chat", "Zed"});
        QCOMPARE(missing.code, 1);
        QCOMPARE(missing.err, QByteArray("There is no chat named Zed.\n"));
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("zed.txt"))));
    }

    void emojiKeptAsCharactersWhenAsked()
    {
        const Outcome kept =
            exportCli({"--db", "d", "--format", "txt", "--out", env.path(QStringLiteral("kept")), "--emoji", "keep"});
        QCOMPARE(kept.code, 0);
        QFile file(env.path(QStringLiteral("kept.txt")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QVERIFY2(text.contains(QStringLiteral("hi \U0001F604\U0001F44D\U0001F3FD\n")), qPrintable(text));
        QVERIFY(!text.contains(QStringLiteral("[EMOJI]")));

        const Outcome wrong =
            exportCli({"--db", "d", "--format", "txt", "--out", env.path(QStringLiteral("w")), "--emoji", "drop"});
        QCOMPARE(wrong.code, 2);
        QVERIFY(wrong.err.startsWith("parlewick-cli: --emoji is placeholder or keep, not 'drop'\n"));
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("w.txt"))));
    }

    void wrongCommandLinesAndFailures()
    {
        const Outcome noOut = exportCli({"--db", "d", "--format", "csv"});
        QCOMPARE(noOut.code, 2);
        QVERIFY(noOut.err.startsWith("parlewick-cli: export needs --format and --out\n"));

        const Outcome rawText = exportCli({"--db", "d", "--format", "txt", "--csv-raw", "--out", env.path(QStringLiteral("r"))});
        QCOMPARE(rawText.code, 2);
        QVERIFY(rawText.err.startsWith("parlewick-cli: --csv-raw is for --format csv only\n"));

        const Outcome badFormat = exportCli({"--db", "d", "--format", "xls", "--out", env.path(QStringLiteral("x"))});
        QCOMPARE(badFormat.code, 2);
        QVERIFY(badFormat.err.startsWith("parlewick-cli: unknown export format 'xls'\n"));

        const Outcome broken = exportCli({"--db", "broken", "--format", "csv", "--out", env.path(QStringLiteral("b"))});
        QCOMPARE(broken.code, 1);
        QCOMPARE(broken.err, QByteArray("Cannot open broken.\n"));

        const Outcome unwritable = exportCli({"--db", "d", "--format", "csv", "--out", env.path(QStringLiteral("no/dir/x.csv"))});
        QCOMPARE(unwritable.code, 1);
        QCOMPARE(unwritable.out, QByteArray());
        QCOMPARE(unwritable.err, QStringLiteral("Cannot write %1: the folder %2 does not exist.\n")
                                     .arg(env.path(QStringLiteral("no/dir/x.csv")), env.path(QStringLiteral("no/dir")))
                                     .toUtf8());
    }
};

QTEST_MAIN(TestCliExport)
#include "TestCliExport.moc"
