#include "MarkupCheck.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include "kik/KikDataSet.h"
#include "workers/ExportMessagesHtml.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QtTest>

#include <stdexcept>

// The HTML writer: one page per chat, content files copied into "files", links and pictures
// relative to the page, and hostile values kept inert.
class TestExportMessagesHtml : public QObject
{
    Q_OBJECT
    TestEnv env;
    KikDataSet set;
    qint64 nextId = 1;

    KikChat *addChat(const QString &name)
    {
        auto *user = new KikUser;
        user->id = nextId++;
        user->display_name = name;
        set.users.insert(user->id, user);
        auto *chat = new KikChat;
        chat->id = nextId++;
        chat->user = user;
        set.chats.insert(chat->id, chat);
        return chat;
    }

    KikMessage *addMessage(KikChat *chat, int minute, const QString &body = QString())
    {
        auto *m = new KikMessage;
        m->id = nextId++;
        m->ts = QDateTime(QDate(2021, 3, 4), QTime(15, 0), Qt::UTC).addSecs(minute * 60);
        m->body = body;
        m->chat = chat;
        set.messages.insert(m->id, m);
        return m;
    }

    KikMessage *addPicture(KikChat *chat, const QString &contentPath, const QString &senderName)
    {
        KikMessage *m = addMessage(chat, 0);
        m->app_id = QStringLiteral("com.kik.ext.gallery");
        m->content_path = contentPath;
        m->preview_path = env.path("thumbs/preview");
        if (!senderName.isEmpty())
            m->attachment.insert(QStringLiteral("string:file-name"), senderName);
        return m;
    }

    static QString readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    static void exportChat(const QString &folder, const QString &name, const KikMessageList &messages)
    {
        ExportMessagesHtml writer(folder, name);
        writer.begin();
        for (const KikMessage *m : messages)
            writer.write(m);
        writer.end();
    }

private slots:
    void twoChatsGiveTwoPagesSharingTheirFiles()
    {
        const QString out = env.path("export-html");
        const QString photo = writtenFile(env.path(QStringLiteral("store/files/1a2b")), "first picture");
        const QString clip = writtenFile(env.path(QStringLiteral("store/files/clip.mov")), "movie");
        writtenFile(env.path(QStringLiteral("thumbs/preview")), "small picture");
        KikChat *ann = addChat(QStringLiteral("Ann"));
        KikChat *bob = addChat(QStringLiteral("Bob"));
        const KikMessageList annMessages = {
            addMessage(ann, 0, QStringLiteral("hello \U0001F604")), addMessage(ann, 0, QStringLiteral("again")),
            addMessage(ann, 1, QStringLiteral("later")), addPicture(ann, photo, QStringLiteral("IMG_7.JPG"))};
        const KikMessageList bobMessages = {addPicture(bob, photo, QStringLiteral("IMG_7.JPG")),
                                            addPicture(bob, clip, QStringLiteral("x.avi")), addPicture(bob, photo, QString())};
        exportChat(out, QStringLiteral("Ann.html"), annMessages);
        exportChat(out, QStringLiteral("Bob.html"), bobMessages);

        QCOMPARE(QDir(out).entryList(QDir::Files, QDir::Name),
                 (QStringList{QStringLiteral("Ann.html"), QStringLiteral("Bob.html")}));
        // The same content twice gets a second name; a suffix of its own is kept; without
        // the sender's suffix the name stays bare. Each page has its copy of the preview.
        QCOMPARE(QDir(out + QStringLiteral("/files")).entryList(QDir::Files, QDir::Name),
                 (QStringList{QStringLiteral("1a2b"), QStringLiteral("1a2b(1).JPG"), QStringLiteral("1a2b.JPG"),
                              QStringLiteral("clip.mov"), QStringLiteral("preview"), QStringLiteral("preview(1)")}));
        QCOMPARE(readAll(out + QStringLiteral("/files/1a2b(1).JPG")), QStringLiteral("first picture"));

        const QString annPage = readAll(out + QStringLiteral("/Ann.html"));
        QVERIFY(annPage.startsWith(
            QStringLiteral("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
                           "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">"
                           "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n"
                           "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\n"
                           "<title>Parlewick</title>\n"
                           "<link href=\"files/style.css\" type=\"text/css\" rel=\"stylesheet\"/></head><body>\n"
                           "<div class=\"dt\">04 Mar 2021 @ 03:00 PM</div><div class=\"bb1\">")));
        QVERIFY(annPage.endsWith(QStringLiteral("</div><div class=\"clear\"></div></body></html>")));
        QCOMPARE(annPage.count(QStringLiteral("<div class=\"dt\">")), 3);   // 15:00, 15:01, back to 15:00
        QVERIFY(annPage.contains(
            QStringLiteral("hello <img src=\"emoji/1F604.png\" width=\"20\" height=\"20\" style=\"vertical-align:top;\" />")));
        QVERIFY(annPage.contains(QStringLiteral("<a href=\"files/1a2b.JPG\" target=\"_blank\"><img "
                                                "style=\"max-width:128px;max-height:128px;\" src=\"files/preview\" ></a>")));
        QVERIFY(!annPage.contains(QLatin1String("atta:")));
        QVERIFY(!annPage.contains(QLatin1String("name=\"sms_")));

        const QString bobPage = readAll(out + QStringLiteral("/Bob.html"));
        QCOMPARE(bobPage.count(QStringLiteral("<div class=\"dt\">")), 1);
        QVERIFY(bobPage.contains(QLatin1String("href=\"files/1a2b(1).JPG\"")));
        QVERIFY(bobPage.contains(QLatin1String("href=\"files/clip.mov\"")));
        QVERIFY(bobPage.contains(QLatin1String("href=\"files/1a2b\"")));
        QVERIFY(QFile::remove(env.path("thumbs/preview")));   // the other cases have none
    }

    // Pages are written in pieces: a chat of many pieces, with text of every width and broken
    // surrogates, comes out whole and in order after the header.
    void aLargeChatIsWrittenWhole()
    {
        const QString out = env.path("export-large");
        KikChat *chat = addChat(QStringLiteral("Big"));
        const QStringList texts{QStringLiteral("ascii & <markup>\n"), QStringLiteral("\u00E9\u4E2D\U0001F604\U0001F900\uE415"),
                                QString(QChar(0xD83D)), QStringLiteral("x") + QChar(0xDE04)};
        KikMessageList messages;
        for (int i = 0; i < 3000; ++i)
            messages << addMessage(chat, i / 3, texts.at(i % texts.size()).repeated(1 + i % 7));
        exportChat(out, QStringLiteral("Big.html"), messages);

        QString body;
        std::optional<qint64> lastMinute;
        const KikBubbleHtml html = KikBubbleHtml::forExport(out + QStringLiteral("/files"));
        for (const KikMessage *m : std::as_const(messages))
            body += KikBubbleHtml::dateLine(m->ts, &lastMinute) + html.bubble(m);
        body += QStringLiteral("</body></html>");
        QStringEncoder utf8(QStringEncoder::Utf8);
        const QByteArray expected = utf8.encode(body);
        QVERIFY(expected.size() > 1000000);

        QFile file(out + QStringLiteral("/Big.html"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray page = file.readAll();
        const qsizetype bodyAt = page.indexOf("<body>\n") + 7;
        QVERIFY(bodyAt > 7);
        QVERIFY2(page.mid(bodyAt) == expected,
                 qPrintable(QStringLiteral("%1 bytes, %2 expected").arg(page.size() - bodyAt).arg(expected.size())));
    }

    void missingContentLinksToTheSendersAddress()
    {
        const QString out = env.path("export-missing");
        KikChat *chat = addChat(QStringLiteral("Cy"));
        KikMessage *gone = addPicture(chat, env.path("store/files/gone"), QStringLiteral("a.png"));
        gone->attachment.insert(QStringLiteral("string:file-url"), QStringLiteral("http://kik.example/a.png"));
        KikMessage *empty = addPicture(chat, writtenFile(env.path(QStringLiteral("store/files/empty")), QByteArray()), QString());
        exportChat(out, QStringLiteral("Cy.html"), {gone, empty});
        const QString page = readAll(out + QStringLiteral("/Cy.html"));
        QVERIFY(page.contains(QLatin1String("<a href=\"http://kik.example/a.png\" target=\"_blank\">")));
        QVERIFY(page.contains(QLatin1String("<a href=\"#\" target=\"_blank\">")));
        QVERIFY(QDir(out + QStringLiteral("/files")).isEmpty());
    }

    void hostileValuesStayInertAndInsideTheFolder()
    {
        const QString out = env.path("export-hostile");
        const QString content = writtenFile(env.path(QStringLiteral("store/files/abc")), "bytes");
        KikChat *chat = addChat(QStringLiteral("Mallory"));
        KikMessage *text = addMessage(chat, 0, QStringLiteral("<script>alert(1)</script>"));
        KikMessage *escape = addPicture(chat, content, QStringLiteral("x.\\..\\..\\evil\"><script>"));
        KikMessage *link = addPicture(chat, env.path("nothing"), QString());
        link->attachment.insert(QStringLiteral("string:file-url"), QStringLiteral("javascript:alert(1)"));
        link->preview_path = QStringLiteral("\"><script>alert(1)</script>");
        exportChat(out, QStringLiteral("Mallory.html"), {text, escape, link});

        const QString page = readAll(out + QStringLiteral("/Mallory.html"));
        QVERIFY2(markupProblem(page).isEmpty(), qPrintable(markupProblem(page)));
        QVERIFY(!page.contains(QLatin1String("<script"), Qt::CaseInsensitive));
        // The copy stays in "files", whatever the sender's name says.
        const QStringList copies = QDir(out + QStringLiteral("/files")).entryList(QDir::Files);
        QCOMPARE(copies.size(), 1);
        QVERIFY(!copies.first().contains(QLatin1Char('\\')) && !copies.first().contains(QLatin1Char('"')));
        QCOMPARE(QDir(out).entryList(QDir::Files), QStringList{QStringLiteral("Mallory.html")});
    }

    void anUnwritableFileIsAnError()
    {
        const QString folder = env.path("blocked");
        QDir().mkpath(folder + QStringLiteral("/page.html"));   // a folder where the page should go
        ExportMessagesHtml writer(folder, QStringLiteral("page.html"));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, writer.begin());
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    TestEnv::installEnglishTexts();
    TestExportMessagesHtml test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestExportMessagesHtml.moc"
