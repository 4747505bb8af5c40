#include "TestEnv.h"
#include "TestFiles.h"

#include "KikDataBuilder.h"
#include "app/AppFolders.h"
#include "kik/KikRules.h"
#include "views/KikPagePainter.h"
#include "workers/AbsProgressTarget.h"
#include "workers/ExportMessagesCsv.h"
#include "workers/ExportMessagesPdf.h"
#include "workers/ExportMessagesThread.h"

#include <QDir>
#include <QLocale>
#include <QMutex>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfDocument>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>
#include <QtTest>

#include <atomic>

namespace {

const QDateTime T0(QDate(2021, 7, 9), QTime(8, 5, 3), QTimeZone::utc());

// Stands in for the progress dialog; can press Cancel after a number of reports.
class RecordingProgress : public AbsProgressTarget
{
public:
    explicit RecordingProgress(int cancelAfterReports = -1)
        : m_cancelAfter(cancelAfterReports)
    {
    }

    bool isCanceled() const override { return m_canceled; }
    bool isWaitingForTips() const override { return false; }
    void postProgress(const QString &status, int value, const QString &text) override
    {
        QMutexLocker lock(&m_mutex);
        reports.append({status, value, text});
        if (m_cancelAfter >= 0 && reports.size() > m_cancelAfter)
            m_canceled = true;
    }
    void postError(const QString &message) override
    {
        QMutexLocker lock(&m_mutex);
        errors.append(message);
    }
    void postSuccess(const QString &message) override
    {
        QMutexLocker lock(&m_mutex);
        successes.append(message);
    }
    void postTipsWait(const QString &) override { }

    struct Report
    {
        QString status;
        int value;
        QString text;
    };
    QList<Report> reports;
    QStringList errors;
    QStringList successes;

private:
    QMutex m_mutex;
    std::atomic<bool> m_canceled{false};
    const int m_cancelAfter;
};

void runExport(const KikMessageList &messages, const QString &path, int format, RecordingProgress &progress)
{
    ExportMessagesThread thread(messages, path, format, &progress);
    thread.start();
    QVERIFY(thread.wait(60000));
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.split(QLatin1Char('\n'));
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

int pdfPages(const QString &path)
{
    QPdfDocument document;
    if (document.load(path) != QPdfDocument::Error::None)
        return -1;
    return document.pageCount();
}

// Three chats of five messages each, for runs cut short after a few of them.
KikMessageList threeChatsOfFive(KikDataSet &set)
{
    KikDataBuilder build(set);
    KikMessageList messages;
    for (int c = 0; c < 3; ++c) {
        KikChat *chat = build.addChat(build.addUser(QStringLiteral("Chat %1").arg(c)));
        for (int i = 0; i < 5; ++i)
            messages.append(build.addMessage(chat, T0.addSecs(i), QStringLiteral("text"), false));
    }
    return messages;
}

}   // namespace

class TestExportMessages : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void initTestCase() { QVERIFY(TestEnv::installEnglishTexts()); }

    void csvQuotesValuesAndNamesTheGroupSender()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikUser *ann = build.addUser(QStringLiteral("Ann, the \"first\""));
        KikUser *bob = build.addUser(QStringLiteral("Bob"));
        KikChat *withAnn = build.addChat(ann);
        KikChat *group = build.addChat(build.addGroup(QStringLiteral("Friends"), {ann, bob}));
        KikChat *nobody = build.addChat(nullptr);
        // Given newest first: the export puts them in display order.
        const KikMessageList messages{
            build.addMessage(nobody, T0.addSecs(500), QStringLiteral("who"), false),
            build.addMessage(group, T0.addSecs(400), QStringLiteral("mine"), true),
            build.addMessage(group, T0.addSecs(300), QStringLiteral("from bob"), false, bob),
            build.addMessage(withAnn, T0.addSecs(200), QStringLiteral("=HYPERLINK(\"http://x\")"), false),
            build.addMessage(withAnn, T0.addSecs(100), QStringLiteral("two\nlines"), true),
            build.addMessage(withAnn, T0, QStringLiteral("She said \"hi\", then left"), true),
        };
        messages.at(1)->target_user = nullptr;   // a sent group message without a sender

        RecordingProgress progress;
        const QString path = env.path(QStringLiteral("out.csv"));
        runExport(messages, path, ExportMessagesThread::FormatCsv, progress);
        QCOMPARE(progress.errors, QStringList());
        QCOMPARE(progress.successes, QStringList{QStringLiteral("Successfully exported 6 Messages.")});

        const QString annQuoted = QStringLiteral("\"Ann, the \"\"first\"\"\"");
        const QByteArray expected =
            (QStringLiteral("date,send,user,content\n")
             + QStringLiteral("2021-07-09 08:05:03,1,%1,\"She said \"\"hi\"\", then left\"\n").arg(annQuoted)
             + QStringLiteral("2021-07-09 08:06:43,1,%1,\"two\nlines\"\n").arg(annQuoted)
             + QStringLiteral("2021-07-09 08:08:23,0,%1,\"'=HYPERLINK(\"\"http://x\"\")\"\n").arg(annQuoted)
             + QStringLiteral("2021-07-09 08:10:03,0,Bob,from bob\n") + QStringLiteral("2021-07-09 08:11:43,1,Friends,mine\n")
             + QStringLiteral("2021-07-09 08:13:23,0,,who\n"))
                .toUtf8();
        QCOMPARE(readFileBytes(path), expected);
    }

    void csvFields_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("guarded");
        QTest::addColumn<QByteArray>("raw");
        const auto row = [](const char *name, const QString &value, const char *guarded, const char *raw) {
            QTest::newRow(name) << value << QByteArray(guarded) << QByteArray(raw);
        };
        row("empty", QString(), "", "");
        row("plain", QStringLiteral("plain text"), "plain text", "plain text");
        row("not at the start", QStringLiteral("a=b+c-d@e"), "a=b+c-d@e", "a=b+c-d@e");
        row("quote", QStringLiteral("\""), "\"\"\"\"", "\"\"\"\"");
        row("comma", QStringLiteral("a,b"), "\"a,b\"", "\"a,b\"");
        row("line feed", QStringLiteral("a\nb"), "\"a\nb\"", "\"a\nb\"");
        row("lone carriage return", QStringLiteral("a\rb"), "\"a\rb\"", "\"a\rb\"");
        row("formula", QStringLiteral("=1+2"), "'=1+2", "=1+2");
        row("plus", QStringLiteral("+49 30"), "'+49 30", "+49 30");
        row("minus", QStringLiteral("-5"), "'-5", "-5");
        row("at", QStringLiteral("@SUM(A1)"), "'@SUM(A1)", "@SUM(A1)");
        row("tab first", QStringLiteral("\t=1"), "'\t=1", "\t=1");
        row("carriage return first", QStringLiteral("\r=1"), "\"'\r=1\"", "\"\r=1\"");
        row("formula with quotes", QStringLiteral("=HYPERLINK(\"u\",\"v\")"), "\"'=HYPERLINK(\"\"u\"\",\"\"v\"\")\"",
            "\"=HYPERLINK(\"\"u\"\",\"\"v\"\")\"");
        row("not ascii", QStringLiteral("\u00E9t\u00E9, \U0001F44D"), "\"\xC3\xA9t\xC3\xA9, \xF0\x9F\x91\x8D\"",
            "\"\xC3\xA9t\xC3\xA9, \xF0\x9F\x91\x8D\"");
    }

    void csvFields()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, guarded);
        QFETCH(QByteArray, raw);
        QCOMPARE(ExportMessagesCsv::field(value, ExportMessagesCsv::FormulaGuard::On), guarded);
        QCOMPARE(ExportMessagesCsv::field(value, ExportMessagesCsv::FormulaGuard::Off), raw);
    }

    void textHasFixedColumnsAndOneLinePerMessage()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikUser *ann = build.addUser(QStringLiteral("Ann"));
        KikChat *withAnn = build.addChat(ann);
        KikChat *nobody = build.addChat(nullptr);
        KikMessage *text = build.addMessage(withAnn, T0, QStringLiteral("a\r\nb\nc \U0001F604"), false);
        KikMessage *picture = build.addPicture(withAnn, T0.addSecs(60), QString(), true);
        const KikMessageList messages{picture, build.addMessage(nobody, T0.addSecs(120), QStringLiteral("x"), false), text};
        RecordingProgress progress;
        const QString path = env.path(QStringLiteral("out.txt"));
        runExport(messages, path, ExportMessagesThread::FormatText, progress);
        QCOMPARE(progress.errors, QStringList());

        const auto date = [](const QDateTime &ts) {
            return QLocale::system().toString(ts, QLocale::ShortFormat).leftJustified(30);
        };
        const QStringList lines = readLines(path);
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines.at(0), QStringLiteral("Date").leftJustified(30) + QStringLiteral("Flag  ")
                                  + QStringLiteral("Name").leftJustified(40) + QStringLiteral("Message"));
        QCOMPARE(lines.at(1),
                 date(T0) + QStringLiteral("From  ") + QStringLiteral("Ann").leftJustified(40) + QStringLiteral("a b c [EMOJI]"));
        QCOMPARE(lines.at(2), date(T0.addSecs(60)) + QStringLiteral("To    ") + QStringLiteral("Ann").leftJustified(40)
                                  + QStringLiteral("[IMAGE]"));
        // Without a user the name column is left out entirely.
        QCOMPARE(lines.at(3), date(T0.addSecs(120)) + QStringLiteral("From  x"));
    }

    // A file of several chats, as a whole database's: each line says its chat, the group's too.
    void textOfSeveralChatsNamesEachLinesChat()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikUser *ann = build.addUser(QStringLiteral("Ann"));
        KikUser *bob = build.addUser(QStringLiteral("Bob"));
        KikChat *withAnn = build.addChat(ann);
        KikChat *team = build.addChat(build.addGroup(QStringLiteral("Team"), {ann, bob}));
        const KikMessageList messages{build.addMessage(withAnn, T0, QStringLiteral("hi"), true),
                                      build.addMessage(team, T0.addSecs(60), QStringLiteral("all"), false, bob)};
        RecordingProgress progress;
        const QString path = env.path(QStringLiteral("database.txt"));
        runExport(messages, path, ExportMessagesThread::FormatText, progress);
        QCOMPARE(progress.errors, QStringList());
        const QStringList lines = readLines(path);
        QCOMPARE(lines.size(), 3);
        const auto columns = [](const QString &chat, const QString &name) {
            return chat.leftJustified(40) + name.leftJustified(40);
        };
        QCOMPARE(lines.at(0).mid(36), columns(QStringLiteral("Chat"), QStringLiteral("Name")) + QStringLiteral("Message"));
        QCOMPARE(lines.at(1).mid(30),
                 QStringLiteral("To    ") + columns(QStringLiteral("Ann"), QStringLiteral("Ann")) + QStringLiteral("hi"));
        QCOMPARE(lines.at(2).mid(30),
                 QStringLiteral("From  ") + columns(QStringLiteral("Team"), QStringLiteral("Bob")) + QStringLiteral("all"));
    }

    void messagesWithoutAChatAreSkippedAndNotCounted()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *chat = build.addChat(build.addUser(QStringLiteral("Ann")));
        const KikMessageList messages{build.addLooseMessage(T0, QStringLiteral("lost")),
                                      build.addMessage(chat, T0.addSecs(1), QStringLiteral("one"), false),
                                      build.addLooseMessage(T0.addSecs(2), QStringLiteral("lost")),
                                      build.addMessage(chat, T0.addSecs(3), QStringLiteral("two"), true)};
        RecordingProgress progress;
        const QString path = env.path(QStringLiteral("skip.csv"));
        runExport(messages, path, ExportMessagesThread::FormatCsv, progress);
        QCOMPARE(progress.successes, QStringList{QStringLiteral("Successfully exported 2 Messages.")});
        QCOMPARE(readLines(path).size(), 3);
        QVERIFY(!readFileBytes(path).contains("lost"));

        QCOMPARE(progress.reports.first().status, QStringLiteral("Exporting Messages..."));
        QCOMPARE(progress.reports.first().value, -1);
        QCOMPARE(progress.reports.last().text, QStringLiteral("Messages: 2/2"));
        QCOMPARE(progress.reports.last().value, 100);
        QCOMPARE(progress.reports.at(1).text, QStringLiteral("Messages: 1/2"));
        QCOMPARE(progress.reports.at(1).value, 50);

        // Nothing exportable: success with no file at all.
        RecordingProgress none;
        runExport({messages.at(0)}, env.path(QStringLiteral("none.csv")), ExportMessagesThread::FormatCsv, none);
        QCOMPARE(none.successes, QStringList{QStringLiteral("Successfully exported 0 Messages.")});
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("none.csv"))));
    }

    // Emoji kept as characters show in colour on the PDF page (the colour font cannot be
    // embedded); by default the page says "[EMOJI]".
    void pdfDrawsKeptEmojiInColour()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *ann = build.addChat(build.addUser(QStringLiteral("Ann")));
        const KikMessageList messages{build.addMessage(ann, T0, QStringLiteral("Yo \U0001F44D\U0001F3FE\uE415"), false)};
        const auto colouredPixels = [&](EmojiStyle style, QString *text) {
            RecordingProgress progress;
            const QString folder = env.path(QStringLiteral("emoji-%1-pdf").arg(int(style)));
            ExportMessagesThread thread(messages, folder, ExportMessagesThread::FormatPdf, &progress);
            thread.setEmojiStyle(style);
            thread.start();
            thread.wait();
            QPdfDocument document;
            if (document.load(QDir(folder).filePath(QStringLiteral("Ann.pdf"))) != QPdfDocument::Error::None)
                return -1;
            *text = document.getAllText(0).text();
            const QImage page = document.render(0, document.pagePointSize(0).toSize() * 2);
            int coloured = 0;
            for (int y = 0; y < page.height(); ++y) {
                for (int x = 0; x < page.width(); ++x)
                    coloured += QColor(page.pixel(x, y)).hsvSaturation() > 100 ? 1 : 0;
            }
            return coloured;
        };
        QString text;
        QCOMPARE(colouredPixels(EmojiStyle::Placeholder, &text), 0);
        QVERIFY2(text.contains(QStringLiteral("Yo [EMOJI][EMOJI]")), qPrintable(text));
        QVERIFY(colouredPixels(EmojiStyle::Characters, &text) > 100);
        QVERIFY2(text.contains(QStringLiteral("Yo")) && !text.contains(QStringLiteral("[EMOJI]")), qPrintable(text));
    }

    void pdfGivesOneFilePerChatNamedAfterIt()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *ann = build.addChat(build.addUser(QStringLiteral("Ann\tLee\u00A0\u202A\u202C")));
        KikChat *slashes = build.addChat(build.addUser(QStringLiteral("a/b:c")));
        KikChat *nobody = build.addChat(nullptr);
        KikChat *forbidden = build.addChat(build.addUser(QStringLiteral("???")));
        KikMessageList messages;
        for (int i = 0; i < 40; ++i)   // more than one page
            messages.append(build.addMessage(ann, T0.addSecs(i), QStringLiteral("message %1").arg(i), i % 3 == 0));
        messages.append(build.addMessage(slashes, T0, QStringLiteral("hi"), false));
        messages.append(build.addMessage(nobody, T0, QStringLiteral("hi"), false));
        messages.append(build.addMessage(forbidden, T0, QStringLiteral("hi"), false));

        RecordingProgress progress;
        const QString folder = env.path(QStringLiteral("deep/er/chats-pdf"));
        runExport(messages, folder, ExportMessagesThread::FormatPdf, progress);
        QCOMPARE(progress.errors, QStringList());
        QCOMPARE(progress.successes, QStringList{QStringLiteral("Successfully exported 43 Messages.")});
        // "???" leaves no name: it falls back to the name of a chat without user, and gets a
        // number rather than overwrite that chat's file.
        QStringList names = entries(folder);
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("AnnLee.pdf"), QStringLiteral("abc.pdf"),
                                     QStringLiteral("unknown-chat(1).pdf"), QStringLiteral("unknown-chat.pdf")}));

        // The chat's pages are the pages the painter lays out for the same messages.
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setResolution(QImage(1, 1, QImage::Format_RGB32).logicalDpiY());
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
        KikPagePainter painter;
        QVERIFY(painter.start(&writer));
        for (const KikMessage *m : messages.mid(0, 40))
            painter.draw(m);
        painter.end();
        QVERIFY(painter.pageNumber() >= 2);
        const QString annFile = QDir(folder).filePath(QStringLiteral("AnnLee.pdf"));
        QCOMPARE(pdfPages(annFile), painter.pageNumber());
        QCOMPARE(pdfPages(QDir(folder).filePath(QStringLiteral("abc.pdf"))), 1);

        // The rendered page shows the page background inside the margins, white outside.
        QPdfDocument document;
        QCOMPARE(document.load(annFile), QPdfDocument::Error::None);
        const QSizeF points = document.pagePointSize(0);
        QCOMPARE(qRound(points.width()), 595);   // A4
        QCOMPARE(qRound(points.height()), 842);
        const QImage page = document.render(0, points.toSize());
        QVERIFY(qAlpha(page.pixel(2, 2)) == 0 || QColor(page.pixel(2, 2)) == QColor(Qt::white));
        // Text stays text: the date line and the messages can be found in the document.
        const QString text = document.getAllText(0).text();
        QVERIFY2(text.contains(QStringLiteral("09 Jul 2021 @ 08:05 AM")), qPrintable(text));
        QVERIFY(text.indexOf(QStringLiteral("message 0")) < text.indexOf(QStringLiteral("message 1")));
        // (the reader splits the later page's text into single letters)
        QVERIFY(document.getAllText(1)
                    .text()
                    .remove(QRegularExpression(QStringLiteral("\\s")))
                    .contains(QStringLiteral("message39")));
        QCOMPARE(QColor(page.pixel(300, 420)).rgb() & 0xffffff, QColor(238, 238, 238).rgb() & 0xffffff);
    }

    void chatsOfTheSameNameAndEarlierFilesAreNotOverwritten()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *later = build.addChat(build.addUser(QStringLiteral("Ann")));
        KikChat *first = build.addChat(build.addUser(QStringLiteral("Ann")));
        later->id = 90;
        first->id = 4;
        KikMessageList messages{build.addMessage(later, T0, QStringLiteral("one page"), false)};
        for (int i = 0; i < 40; ++i)
            messages.append(build.addMessage(first, T0.addSecs(i), QStringLiteral("two pages"), false));

        const QString folder = env.path(QStringLiteral("same-pdf"));
        writeFileBytes(QDir(folder).filePath(QStringLiteral("Ann.pdf")), "an earlier export");
        RecordingProgress progress;
        runExport(messages, folder, ExportMessagesThread::FormatPdf, progress);
        QCOMPARE(progress.errors, QStringList());
        QCOMPARE(readFileBytes(QDir(folder).filePath(QStringLiteral("Ann.pdf"))), QByteArray("an earlier export"));
        // Chats go by id: the chat with id 4 comes first and takes the first free name.
        QVERIFY(pdfPages(QDir(folder).filePath(QStringLiteral("Ann(1).pdf"))) >= 2);
        QCOMPARE(pdfPages(QDir(folder).filePath(QStringLiteral("Ann(2).pdf"))), 1);
    }

    void hostileNamesNeitherCutNorOverwrite()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        // With the NUL kept, both names ended at "Ann" when the file was made.
        KikChat *first = build.addChat(build.addUser(QString::fromUtf8("Ann\0one", 7)));
        KikChat *second = build.addChat(build.addUser(QString::fromUtf8("Ann\0two", 7)));
        KikChat *linked = build.addChat(build.addUser(QStringLiteral("Bob")));
        const KikMessageList messages{build.addMessage(first, T0, QStringLiteral("alpha"), false),
                                      build.addMessage(second, T0, QStringLiteral("bravo"), false),
                                      build.addMessage(linked, T0, QStringLiteral("charlie"), false)};
        const QString folder = env.path(QStringLiteral("hostile-html"));
        writeFileBytes(QDir(folder).filePath(QStringLiteral("Ann")), "the user's own file");
        // A link planted under a chat's name must not carry the page out of the folder.
        QVERIFY(QFile::link(env.path(QStringLiteral("planted")), QDir(folder).filePath(QStringLiteral("Bob.html"))));
        RecordingProgress progress;
        runExport(messages, folder, ExportMessagesThread::FormatHtml, progress);
        QCOMPARE(progress.errors, QStringList());
        QCOMPARE(readFileBytes(QDir(folder).filePath(QStringLiteral("Ann"))), QByteArray("the user's own file"));
        QVERIFY(readFileBytes(QDir(folder).filePath(QStringLiteral("Annone.html"))).contains("alpha"));
        QVERIFY(readFileBytes(QDir(folder).filePath(QStringLiteral("Anntwo.html"))).contains("bravo"));
        QVERIFY(readFileBytes(QDir(folder).filePath(QStringLiteral("Bob(1).html"))).contains("charlie"));
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("planted"))));
    }

    void chatFileNamesAreSafeAndBounded()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        QCOMPARE(ExportMessagesThread::chatFileName(build.addChat(nullptr), QStringLiteral("html")),
                 QStringLiteral("unknown-chat.html"));
        QCOMPARE(
            ExportMessagesThread::chatFileName(build.addChat(build.addUser(QStringLiteral("../..\\x"))), QStringLiteral("pdf")),
            QStringLiteral("....x.pdf"));
        QCOMPARE(
            ExportMessagesThread::chatFileName(build.addChat(build.addUser(QStringLiteral(" \t\u00A0"))), QStringLiteral("pdf")),
            QStringLiteral("unknown-chat.pdf"));
        // A nameless group of many members is named after all of them: the name is cut short.
        QList<KikUser *> members;
        for (int i = 0; i < 200; ++i)
            members.append(build.addUser(QStringLiteral("Member \U0001F600 %1").arg(i)));
        const QString name =
            ExportMessagesThread::chatFileName(build.addChat(build.addGroup(QString(), members)), QStringLiteral("pdf"));
        QVERIFY(name.startsWith(QStringLiteral("Member \U0001F600 0,Member")));
        QVERIFY(name.endsWith(QStringLiteral(".pdf")));
        QVERIFY(name.toUtf8().size() <= 200);
        QVERIFY(!name.chopped(4).back().isHighSurrogate());
    }

    void cancelRemovesACreatedOutputFolder()
    {
        KikDataSet set;
        const KikMessageList messages = threeChatsOfFive(set);
        RecordingProgress progress(8);   // the first chat's file is finished by then
        const QString parent = env.path(QStringLiteral("made"));
        const QString folder = QDir(parent).filePath(QStringLiteral("by/export-pdf"));
        runExport(messages, folder, ExportMessagesThread::FormatPdf, progress);
        QCOMPARE(progress.successes, QStringList());
        QCOMPARE(progress.errors, QStringList());   // a cancel reports nothing
        QVERIFY(!QFileInfo::exists(parent));        // the parents it made go too
        QVERIFY(QFileInfo::exists(env.home()));
    }

    void cancelKeepsWhatWasThereBefore()
    {
        KikDataSet set;
        const KikMessageList messages = threeChatsOfFive(set);
        // The user pointed the export at a folder full of their own things.
        const QString folder = env.path(QStringLiteral("Documents"));
        writeFileBytes(QDir(folder).filePath(QStringLiteral("letter.txt")), "dear");
        writeFileBytes(QDir(folder).filePath(QStringLiteral("Chat 0.pdf")), "older");
        writeFileBytes(QDir(folder).filePath(QStringLiteral("photos/a.jpg")), "jpg");
        writeFileBytes(QDir(folder).filePath(QStringLiteral("files/mine.css")), "css");

        const QStringList before = entries(folder);
        RecordingProgress pdfProgress(8);
        runExport(messages, folder, ExportMessagesThread::FormatPdf, pdfProgress);
        QCOMPARE(pdfProgress.successes, QStringList());
        QCOMPARE(entries(folder), before);
        QCOMPARE(readFileBytes(QDir(folder).filePath(QStringLiteral("Chat 0.pdf"))), QByteArray("older"));
        QCOMPARE(entries(QDir(folder).filePath(QStringLiteral("photos"))), QStringList{QStringLiteral("a.jpg")});

        RecordingProgress htmlProgress(8);
        runExport(messages, folder, ExportMessagesThread::FormatHtml, htmlProgress);
        QCOMPARE(htmlProgress.successes, QStringList());
        QCOMPARE(entries(folder), before);   // no page, no emoji folders
        QCOMPARE(entries(QDir(folder).filePath(QStringLiteral("files"))), QStringList{QStringLiteral("mine.css")});

        // A text export that is canceled leaves the file it would have replaced as it was.
        const QString csv = QDir(folder).filePath(QStringLiteral("letter.txt"));
        RecordingProgress csvProgress(3);
        runExport(messages, csv, ExportMessagesThread::FormatText, csvProgress);
        QCOMPARE(csvProgress.successes, QStringList());
        QCOMPARE(readFileBytes(csv), QByteArray("dear"));
        QCOMPARE(entries(folder), before);
    }

    void htmlGetsItsPicturesAndEmojiFolders()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *ann = build.addChat(build.addUser(QStringLiteral("Ann")));
        KikChat *nobody = build.addChat(nullptr);
        const KikMessageList messages{build.addMessage(ann, T0, QStringLiteral("hi"), false),
                                      build.addMessage(nobody, T0, QStringLiteral("hi"), true)};
        const QString folder = env.path(QStringLiteral("page-html"));
        RecordingProgress progress;
        runExport(messages, folder, ExportMessagesThread::FormatHtml, progress);
        QCOMPARE(progress.errors, QStringList());
        QCOMPARE(entries(folder), (QStringList{QStringLiteral("Ann.html"), QStringLiteral("emoji"), QStringLiteral("files"),
                                               QStringLiteral("kikemoji"), QStringLiteral("unknown-chat.html")}));
        const QStringList files = entries(QDir(folder).filePath(QStringLiteral("files")));
        QVERIFY(files.contains(QStringLiteral("bb1_01.png")));
        QVERIFY(files.contains(QStringLiteral("empty_photo.jpg")));
    }

    // The emoji pictures a page shows are copied beside it, and only those: a finished export
    // has each one, a canceled one takes back each one it copied, however far it got, and keeps
    // the user's.
    void htmlPictureCopyIsWholeOrTakenBack()
    {
        const QDir program(applicationFolder());
        const QDir programEmoji(program.filePath(QStringLiteral("emoji")));
        const QStringList emoji = programEmoji.entryList(QDir::Files | QDir::Hidden, QDir::Name);
        QVERIFY(emoji.contains(QStringLiteral("1F604.png")) && emoji.contains(QStringLiteral("2705.png")));

        KikDataSet set;
        KikMessageList messages = threeChatsOfFive(set);
        messages.at(2)->body = QStringLiteral("smile \U0001F604 done \u2705");
        messages.at(9)->body = QStringLiteral("again \U0001F604");
        const QString folder = env.path(QStringLiteral("Pictures"));
        const QString mine = QDir(folder).filePath(QStringLiteral("emoji/2705.png"));
        writeFileBytes(mine, "my own picture");
        writeFileBytes(QDir(folder).filePath(QStringLiteral("emoji/zz-mine.png")), "mine");
        const QStringList before = entries(folder);
        const QStringList emojiBefore = entries(QDir(folder).filePath(QStringLiteral("emoji")));

        for (const int cancelAfter : {0, 1, 7}) {
            RecordingProgress progress(cancelAfter);
            runExport(messages, folder, ExportMessagesThread::FormatHtml, progress);
            QCOMPARE(progress.successes, QStringList());
            QCOMPARE(entries(folder), before);
            QCOMPARE(entries(QDir(folder).filePath(QStringLiteral("emoji"))), emojiBefore);
        }
        QCOMPARE(readFileBytes(mine), QByteArray("my own picture"));

        RecordingProgress progress;
        runExport(messages, folder, ExportMessagesThread::FormatHtml, progress);
        QCOMPARE(progress.errors, QStringList());
        QCOMPARE(progress.successes.size(), 1);
        QCOMPARE(entries(QDir(folder).filePath(QStringLiteral("emoji"))),
                 (QStringList{QStringLiteral("1F604.png"), QStringLiteral("2705.png"), QStringLiteral("zz-mine.png")}));
        QCOMPARE(readFileBytes(mine), QByteArray("my own picture"));
        QCOMPARE(readFileBytes(QDir(folder).filePath(QStringLiteral("emoji/1F604.png"))),
                 readFileBytes(programEmoji.filePath(QStringLiteral("1F604.png"))));
        QCOMPARE(entries(QDir(folder).filePath(QStringLiteral("kikemoji"))), QStringList());
    }

    // An exported page uses only files inside its folder: moved elsewhere, with the pictures it
    // was made from gone, every picture, style sheet and attachment it names is still there. Until
    // the run ends nothing stands in the chosen folder's place, so a killed run leaves no half export.
    void htmlExportStandsAloneAndAppearsWhole()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *chat = build.addChat(build.addUser(QStringLiteral("Ann")));
        const QString data = env.path(QStringLiteral("data-folder"));
        KikMessage *picture = build.addMessage(chat, T0, QString(), false);
        picture->app_id = QStringLiteral("com.kik.ext.gallery");
        picture->content_id = QStringLiteral("c1");
        picture->content_path = data + QStringLiteral("/files/c1");
        picture->preview_path = data + QStringLiteral("/thumbs/preview 1#");
        picture->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("IMG.JPG"));
        writeFileBytes(picture->content_path, "full picture");
        writeFileBytes(picture->preview_path, "small picture");
        KikMessage *bare = build.addMessage(chat, T0.addSecs(1), QStringLiteral("c2-content-id"), false);
        bare->content_id = bare->body;
        KikMessage *smile = build.addMessage(chat, T0.addSecs(2), QStringLiteral("\U0001F604"), false);

        const QString folder = env.path(QStringLiteral("exports/Ann chat"));
        struct WatchingProgress : RecordingProgress
        {
            QString watched;
            std::atomic<bool> appearedEarly{false};
            void postProgress(const QString &status, int value, const QString &text) override
            {
                if (QFileInfo::exists(watched))
                    appearedEarly = true;
                RecordingProgress::postProgress(status, value, text);
            }
        } progress;
        progress.watched = folder;
        // What a killed export left goes; a running one's staging folder stays.
        const QString dead = env.path(QStringLiteral("exports/.Ann chat.partial-999999999-x"));
        const QString running =
            env.path(QStringLiteral("exports/.Ann chat.partial-%1-y").arg(QCoreApplication::applicationPid()));
        writeFileBytes(dead + QStringLiteral("/half.html"), "<html>");
        QVERIFY(QDir().mkpath(running));
        runExport({picture, bare, smile}, folder, ExportMessagesThread::FormatHtml, progress);
        QCOMPARE(progress.errors, QStringList());
        QVERIFY(!progress.appearedEarly);
        QVERIFY(QDir(running).removeRecursively());
        QCOMPARE(entries(env.path(QStringLiteral("exports"))), QStringList{QStringLiteral("Ann chat")});

        const QString moved = env.path(QStringLiteral("elsewhere/moved export"));
        QVERIFY(QDir().mkpath(env.path(QStringLiteral("elsewhere"))));
        QVERIFY(QDir().rename(folder, moved));
        QVERIFY(QDir(data).removeRecursively());
        const QString page = QString::fromUtf8(readFileBytes(moved + QStringLiteral("/Ann.html")));
        static const QRegularExpression reference(QStringLiteral("(?:src|href)=\"([^\"#]*)\""));
        int checked = 0;
        for (auto match = reference.globalMatch(page); match.hasNext();) {
            const QString address = match.next().captured(1);
            QVERIFY2(!address.isEmpty() && QUrl(address).isRelative() && !address.startsWith(QLatin1Char('/')),
                     qPrintable(address));
            const QString path = QDir(moved).filePath(QUrl::fromPercentEncoding(address.toUtf8()));
            QVERIFY2(QFileInfo(path).isFile(), qPrintable(address));
            ++checked;
        }
        QVERIFY(checked >= 4);   // style sheet, preview, picture, emoji
        QVERIFY(page.contains(QStringLiteral("[Picture not available]")));
        QVERIFY(!page.contains(QStringLiteral("c2-content-id")));
        QVERIFY(!page.contains(data));
    }

    void failuresReportTheTextAndLeaveNothing()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *chat = build.addChat(build.addUser(QStringLiteral("Ann")));
        const KikMessageList messages{build.addMessage(chat, T0, QStringLiteral("hi"), false)};

        // A file that cannot be opened: named, with the reason.
        const QString unwritable = env.path(QStringLiteral("no/such/folder/out.csv"));
        RecordingProgress csv;
        runExport(messages, unwritable, ExportMessagesThread::FormatCsv, csv);
        QCOMPARE(csv.errors, QStringList{QStringLiteral("Cannot write %1: the folder %2 does not exist.")
                                             .arg(unwritable, env.path(QStringLiteral("no/such/folder")))});
        QCOMPARE(csv.successes, QStringList());

        // A folder export onto a file.
        const QString aFile = env.path(QStringLiteral("plain-file"));
        writeFileBytes(aFile, "x");
        RecordingProgress pdf;
        runExport(messages, aFile, ExportMessagesThread::FormatPdf, pdf);
        QCOMPARE(pdf.errors.size(), 1);
        QVERIFY(pdf.errors.first().startsWith(QStringLiteral("Cannot create the folder")));
        QCOMPARE(readFileBytes(aFile), QByteArray("x"));

        RecordingProgress unknown;
        const QString target = env.path(QStringLiteral("unknown.out"));
        runExport(messages, target, 7, unknown);
        QCOMPARE(unknown.errors, QStringList{QStringLiteral("not support export format.")});
        QVERIFY(!QFileInfo::exists(target));
    }
};

QTEST_MAIN(TestExportMessages)
#include "TestExportMessages.moc"
