#include "MarkupCheck.h"
#include "TestEnv.h"

#include "app/AppConstants.h"
#include "app/AppFolders.h"
#include "kik/KikDataSet.h"
#include "kik/KikMedia.h"
#include "kikstore/KikFakeMedia.h"
#include "views/KikBubbleHtml.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QUrl>
#include <QtTest>

// The bubble markup without a web view: pages, date lines, every kind of message and card,
// and messages that try to break out of the markup.
class TestKikBubbleHtml : public QObject
{
    Q_OBJECT
    TestEnv env;
    KikDataSet set;
    KikChat *chat = nullptr;
    KikChat *groupChat = nullptr;
    KikUser *bob = nullptr;
    qint64 nextId = 1;

    const QString cells = QStringLiteral("<div class=\"bb_bg top_left\"></div><div class=\"bb_bg top_middle\"></div>"
                                         "<div class=\"bb_bg top_right\"></div><div class=\"bb_bg middle_left\"></div>"
                                         "<div class=\"bb_bg middle_middle\"></div><div class=\"bb_bg middle_right\"></div>"
                                         "<div class=\"bb_bg bottom_left\"></div><div class=\"bb_bg bottom_middle\"></div>"
                                         "<div class=\"bb_bg bottom_right\"></div>");

    KikUser *addUser(const QString &name, bool group = false)
    {
        auto *user = new KikUser;
        user->id = nextId++;
        user->display_name = name;
        user->is_group = group;
        set.users.insert(user->id, user);
        return user;
    }

    KikChat *addChat(KikUser *user)
    {
        auto *c = new KikChat;
        c->id = nextId++;
        c->user = user;
        set.chats.insert(c->id, c);
        return c;
    }

    KikMessage *message(const QString &body = QString(), KikChat *in = nullptr)
    {
        auto *m = new KikMessage;
        m->id = nextId++;
        m->ts = QDateTime(QDate(2020, 5, 1), QTime(9, 0), Qt::UTC);
        m->body = body;
        m->chat = in ? in : chat;
        set.messages.insert(m->id, m);
        return m;
    }

    KikMessage *card(const QString &sub, const QString &key = QString(), const QString &value = QString())
    {
        KikMessage *m = message();
        m->app_id = QStringLiteral("com.kik.cards.something");
        m->sub_app_id = sub;
        if (!key.isEmpty())
            m->attachment.insert(key, value);
        return m;
    }

    QString file(const QString &name, const QByteArray &bytes = QByteArray("data"))
    {
        const QString path = env.path(name);
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return QString();
        f.write(bytes);
        return path;
    }

    static QString fileUrl(const QString &path) { return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded()); }

    static QByteArray renderRecord(int start, int end, const QByteArray &text, const QByteArray &image)
    {
        QByteArray record;
        const auto field = [&record](int value) {
            record.append('\0');
            record.append(char(value));
        };
        field(0);
        field(start);
        field(end);
        field(int(text.size()));
        record += text;
        field(int(image.size()));
        record += image;
        return record;
    }

    static QString pictureLink(const QString &href, const QString &src, int size = 128)
    {
        return QStringLiteral("<a href=\"%1\"><img style=\"max-width:%2px;max-height:%2px;\" src=\"%3\" ></a>")
            .arg(href, QString::number(size), src);
    }

private slots:
    void initTestCase()
    {
        chat = addChat(addUser(QStringLiteral("Ann")));
        groupChat = addChat(addUser(QStringLiteral("Friends"), true));
        bob = addUser(QStringLiteral("Bob <b>"));
    }

    void pagesHoldFiftyMessagesWithPagingLinks()
    {
        KikMessageList messages;
        for (int i = 0; i < 120; ++i) {
            messages << message(QStringLiteral("m%1").arg(i));
            messages.last()->ts = messages.last()->ts.addSecs(i * 60);
        }
        const KikBubbleHtml html;
        QCOMPARE(KikBubbleHtml::pageCount(120), 3);
        QCOMPARE(KikBubbleHtml::pageCount(100), 2);
        QCOMPARE(KikBubbleHtml::pageCount(0), 0);

        const QString previous = QStringLiteral("<p><a href=\"/pre_page\">&lt;&lt;Previous Page</a></p>");
        const QString next = QStringLiteral("<p><a href=\"/next_page\">&gt;&gt;Next Page</a></p>");
        const QString head = QStringLiteral(
            "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
            "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\"><html xmlns=\"http://www.w3.org/1999/xhtml\">"
            "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" /><title>Bubble</title>"
            "<link href=\"kikbb/style.css\" type=\"text/css\" rel=\"stylesheet\"/></head><body><a name=\"start\"></a>");
        const QString tail = QStringLiteral("<a name=\"end\"></a></body></html>");
        const int expectedCounts[] = {50, 50, 20};
        static const QRegularExpression anchor(QStringLiteral("<a name=\"sms_(\\d+)\"></a>"));
        for (int page = 1; page <= 3; ++page) {
            const QString text = html.page(messages, page);
            QVERIFY(text.startsWith(head + (page == 1 ? QString() : previous) + QStringLiteral("<a name=\"sms_")));
            QVERIFY(text.endsWith((page == 3 ? QString() : next) + tail));
            QCOMPARE(text.count(previous), page == 1 ? 0 : 1);
            QCOMPARE(text.count(next), page == 3 ? 0 : 1);
            QList<qint64> ids;
            for (const QRegularExpressionMatch &match : anchor.globalMatch(text))
                ids << match.captured(1).toLongLong();
            QCOMPARE(ids.size(), expectedCounts[page - 1]);
            QCOMPARE(ids.first(), messages.at((page - 1) * 50)->id);
            QCOMPARE(ids.last(), messages.at((page - 1) * 50 + ids.size() - 1)->id);
            QVERIFY2(markupProblem(text).isEmpty(), qPrintable(markupProblem(text)));
        }
        QVERIFY(html.page(messages, 0).isEmpty());
        QVERIFY(html.page(messages, 4).isEmpty());
        QVERIFY(html.page({}, 1).isEmpty());
    }

    void dateLinesChangeWithTheMinute()
    {
        const QDateTime nine(QDate(2020, 5, 1), QTime(9, 0), Qt::UTC);
        KikMessageList messages;
        for (const int seconds : {5, 59, 60, 119, 180, 12 * 3600}) {
            messages << message(QStringLiteral("x"));
            messages.last()->ts = nine.addSecs(seconds);
        }
        const QString page = KikBubbleHtml().page(messages, 1);
        static const QRegularExpression line(QStringLiteral("<div class=\"dt\">([^<]*)</div>"));
        QStringList lines;
        for (const QRegularExpressionMatch &match : line.globalMatch(page))
            lines << match.captured(1);
        QCOMPARE(lines, (QStringList{QStringLiteral("01 May 2020 @ 09:00 AM"), QStringLiteral("01 May 2020 @ 09:01 AM"),
                                     QStringLiteral("01 May 2020 @ 09:03 AM"), QStringLiteral("01 May 2020 @ 09:00 PM")}));
        // The date line comes between the message's anchor and its bubble.
        QVERIFY(page.contains(
            QStringLiteral("<a name=\"sms_%1\"></a><div class=\"dt\">01 May 2020 @ 09:00 AM</div><div class=\"bb1\">")
                .arg(messages.first()->id)));
        QVERIFY(page.contains(QStringLiteral("<a name=\"sms_%1\"></a><div class=\"bb1\">").arg(messages.at(1)->id)));

        // A writer keeps its last minute between messages; before 1970 counts too.
        std::optional<qint64> last;
        QVERIFY(!KikBubbleHtml::dateLine(nine, &last).isEmpty());
        QVERIFY(KikBubbleHtml::dateLine(nine.addSecs(30), &last).isEmpty());
        const QDateTime early(QDate(1969, 12, 31), QTime(23, 59, 30), Qt::UTC);
        QVERIFY(!KikBubbleHtml::dateLine(early, &last).isEmpty());
        QVERIFY(!KikBubbleHtml::dateLine(early.addSecs(40), &last).isEmpty());
    }

    // The date line is put together by hand for the usual years: it must read exactly as the
    // general formatter writes it, in any time zone, and fall back to it for the rest.
    void dateLinesReadAsTheFormatterWrites()
    {
        QList<QDateTime> times{QDateTime()};
        const QDateTime base(QDate(2021, 1, 31), QTime(0, 0, 59), Qt::UTC);
        for (int hour = 0; hour < 24; ++hour)
            times << base.addSecs(hour * 3600 + hour * 120);
        for (int month = 1; month < 12; ++month)
            times << base.addMonths(month);
        for (const int year : {-44, 1, 999, 1000, 1883, 1969, 9999, 10000, 12000})
            times << QDateTime(QDate(year, 7, 4), QTime(23, 30), Qt::UTC) << QDateTime(QDate(year, 1, 1), QTime(0, 1), Qt::UTC);
        times << QDateTime(QDate(2021, 3, 14), QTime(7, 1), Qt::UTC) << QDateTime(QDate(2021, 4, 3), QTime(15, 29), Qt::UTC);

        const QByteArray zone = qgetenv("TZ");
        for (const char *place : {"UTC", "America/New_York", "Australia/Lord_Howe", "Asia/Kolkata"}) {
            qputenv("TZ", place);
            for (const QDateTime &ts : std::as_const(times)) {
                std::optional<qint64> none;
                QCOMPARE(KikBubbleHtml::dateLine(ts, &none),
                         QStringLiteral("<div class=\"dt\">")
                             + ts.toLocalTime().toString(QStringLiteral("dd MMM yyyy @ hh:mm AP")) + QStringLiteral("</div>"));
            }
        }
        qputenv("TZ", "America/New_York");
        std::optional<qint64> none;
        const QString springForward = KikBubbleHtml::dateLine(QDateTime(QDate(2021, 3, 14), QTime(7, 1), Qt::UTC), &none);
        zone.isNull() ? qunsetenv("TZ") : qputenv("TZ", zone);
        QCOMPARE(springForward, QStringLiteral("<div class=\"dt\">14 Mar 2021 @ 03:01 AM</div>"));
    }

    void textBubblesEscapeAndShowEmoji()
    {
        KikMessage *received = message(QStringLiteral("a<b & c\nd \U0001F604\uE415"));
        QCOMPARE(KikBubbleHtml().bubble(received),
                 QStringLiteral("<div class=\"bb1\">") + cells
                     + QStringLiteral("a&lt;b &amp; c<br/>d <img src=\"emoji/1F604.png\" width=\"20\" height=\"20\" "
                                      "style=\"vertical-align:top;\" />"
                                      "<img src=\"emoji/E415.png\" width=\"20\" height=\"20\" style=\"vertical-align:top;\" "
                                      "/></div><div class=\"clear\"></div>"));
        QString page = QStringLiteral("before");
        KikBubbleHtml().appendBubble(page, received);
        QCOMPARE(page, QStringLiteral("before") + KikBubbleHtml().bubble(received));
        KikMessage *sent = message(QStringLiteral("ok"));
        sent->was_me = true;
        QVERIFY(
            KikBubbleHtml().bubble(sent).startsWith(QStringLiteral("<div class=\"bb2\">") + cells + QStringLiteral("ok</div>")));
    }

    // Sequences are one picture drawn at twice the size shown; one the font had no picture for
    // keeps its characters for the page's fonts instead of a broken picture.
    void emojiSequencesArePictures()
    {
        const QStringList drawn = {QStringLiteral("1F468-200D-1F469-200D-1F467"), QStringLiteral("1F1EF-1F1F5"),
                                   QStringLiteral("1F44D-1F3FD"), QStringLiteral("23-20E3"), QStringLiteral("E415")};
        for (const QString &code : drawn) {
            const QImage picture(QDir(applicationFolder()).filePath(QStringLiteral("emoji/%1.png").arg(code)));
            QCOMPARE(picture.size(), QSize(40, 40));
        }
        const QString family = KikBubbleHtml().bubble(message(QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467!")));
        QCOMPARE(family.count(QStringLiteral("<img")), 1);
        QVERIFY(family.contains(QStringLiteral("src=\"emoji/1F468-200D-1F469-200D-1F467.png\"")));
        // Two smiles joined are no emoji the font knows.
        const QString joined = KikBubbleHtml().bubble(message(QStringLiteral("\U0001F604\u200D\U0001F604")));
        QVERIFY2(!joined.contains(QStringLiteral("<img")), qPrintable(joined));
        QVERIFY(joined.contains(QStringLiteral("\U0001F604\u200D\U0001F604")));
    }

    void senderLineOnlyForReceivedGroupMessages()
    {
        const QString handle = QStringLiteral("<div class=\"handle\">Bob &lt;b&gt;</div><div class=\"clear\"></div>");
        KikMessage *fromBob = message(QStringLiteral("hi"), groupChat);
        fromBob->target_user = bob;
        QVERIFY(KikBubbleHtml().bubble(fromBob).contains(cells + handle + QStringLiteral("hi</div>")));

        KikMessage *mine = message(QStringLiteral("hi"), groupChat);
        mine->target_user = bob;
        mine->was_me = true;
        KikMessage *unknownSender = message(QStringLiteral("hi"), groupChat);
        KikMessage *contact = message(QStringLiteral("hi"));
        contact->target_user = bob;
        for (const KikMessage *m : {mine, unknownSender, contact})
            QVERIFY(!KikBubbleHtml().bubble(m).contains(QLatin1String("handle")));
    }

    void renderInstructionsBecomePictures()
    {
        // "hi X you Y": X stands for ":)", which Kik draws from its server, Y for ";)": both are
        // drawn from the program's own emoticons, nothing is fetched; a record with neither
        // shows a marker.
        KikMessage *m = message(QStringLiteral("hi X you Y!"));
        m->render_ins = renderRecord(3, 5, ":)", "smile01") + renderRecord(10, 12, ";)", QByteArray())
                        + renderRecord(12, 13, QByteArray(), QByteArray());
        const QString view = KikBubbleHtml().bubble(m);
        const QString smiley = QStringLiteral("<img src=\"%1\" width=\"20\" height=\"20\"/>")
                                   .arg(fileUrl(QDir(applicationFolder()).filePath(QStringLiteral("kikemoji/3a29.png"))));
        const QString emoticon = QStringLiteral("<img src=\"%1\" width=\"20\" height=\"20\"/>")
                                     .arg(fileUrl(QDir(applicationFolder()).filePath(QStringLiteral("kikemoji/3b29.png"))));
        QVERIFY2(view.contains(cells + QStringLiteral("hi ") + smiley + QStringLiteral(" you ") + emoticon
                               + QStringLiteral("[EMOJI]")),
                 qPrintable(view));

        const QString exported = KikBubbleHtml::forExport(env.path("files")).bubble(m);
        QVERIFY(exported.contains(QStringLiteral("<img src=\"kikemoji/3b29.png\" width=\"20\" height=\"20\"/>")));
        QVERIFY(exported.contains(QStringLiteral("<img src=\"kikemoji/3a29.png\" width=\"20\" height=\"20\"/>")));
        QVERIFY(!exported.contains(QLatin1String("http")) && !view.contains(QLatin1String("http")));
    }

    // Each kind of media in its bubble: the file itself where it is a picture (a GIF animates as
    // it is), else the preview marked as one, else the words for a missing picture; stickers
    // without a frame; videos as their preview with a play mark and their length. Files without a
    // suffix open through a copy named after their type.
    void mediaOfEachKind_data()
    {
        QTest::addColumn<QString>("appId");
        QTest::addColumn<QByteArray>("media");
        QTest::addColumn<bool>("preview");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("notShown");
        const QString framed = QStringLiteral("<div class=\"bb1\">") + cells;
        const QString mediaPicture = QStringLiteral("<a href=\"atta:///?ph={hex}&amp;sf=%1\"><img style=\"max-width:128px;"
                                                    "max-height:128px;\" src=\"{media}\" ></a>");
        const QString previewPicture = QStringLiteral("<img style=\"max-width:128px;max-height:128px;\" src=\"{preview}\" >");
        const QString note = QStringLiteral("<div class=\"preview_note\">Preview</div>");
        QTest::newRow("camera picture") << "com.kik.ext.camera" << KikFakeMedia::jpeg(Qt::red) << true
                                        << QStringList{framed, mediaPicture.arg("jpg")} << QStringList{note};
        QTest::newRow("webp without preview") << "com.kik.ext.gallery" << KikFakeMedia::webp(Qt::red) << false
                                              << QStringList{mediaPicture.arg("webp")} << QStringList{note};
        QTest::newRow("gif") << "com.kik.ext.gif" << KikFakeMedia::animatedGif() << true
                             << QStringList{framed, mediaPicture.arg("gif")} << QStringList{note, "{preview}"};
        QTest::newRow("sticker") << "com.kik.ext.stickers" << KikFakeMedia::png(Qt::red, true) << true
                                 << QStringList{"<div class=\"bb1 sticker\"><div>", mediaPicture.arg("png")}
                                 << QStringList{"bb_bg"};
        QTest::newRow("picture gone, preview kept")
            << "com.kik.ext.gallery" << QByteArray() << true << QStringList{framed, previewPicture, note} << QStringList{"atta:"};
        QTest::newRow("gif gone, preview kept")
            << "com.kik.ext.gif" << QByteArray() << true << QStringList{previewPicture, note} << QStringList();
        QTest::newRow("picture and preview gone")
            << "com.kik.ext.camera" << QByteArray() << false
            << QStringList{"<a href=\"https://kik.example/f\">[Picture not available]</a>"} << QStringList{"<img"};
        QTest::newRow("mp4") << "com.kik.ext.video-camera" << KikFakeMedia::film(75, false) << true
                             << QStringList{"<a class=\"video\" href=\"atta:///?ph={hex}&amp;sf=mp4\">", previewPicture,
                                            "<div class=\"play\">&#9654;</div><div class=\"length\">1:15</div></a>"}
                             << QStringList{note};
        QTest::newRow("video gone") << "com.kik.ext.video-gallery" << QByteArray() << false
                                    << QStringList{"<a class=\"video\" href=\"https://kik.example/f\">", "class=\"play\""}
                                    << QStringList{"class=\"length\"", "<img style"};
    }

    void mediaOfEachKind()
    {
        QFETCH(QString, appId);
        QFETCH(QByteArray, media);
        QFETCH(bool, preview);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, notShown);
        KikMessage *m = message();
        m->app_id = appId;
        m->content_id = QStringLiteral("c%1").arg(m->id);
        m->content_path = media.isEmpty() ? env.path("files/none") : file(QStringLiteral("files/") + m->content_id, media);
        m->preview_path = preview ? file(QStringLiteral("thumbs/") + m->content_id, KikFakeMedia::jpeg(Qt::gray)) : QString();
        m->attachment.insert(QStringLiteral("string:file-url"), QStringLiteral("https://kik.example/f"));
        const QString bubble = KikBubbleHtml().bubble(m);
        const auto filled = [&](QString text) {
            return text.replace(QLatin1String("{hex}"), QString::fromLatin1(m->content_path.text().toUtf8().toHex()))
                .replace(QLatin1String("{media}"), fileUrl(m->content_path))
                .replace(QLatin1String("{preview}"), fileUrl(m->preview_path));
        };
        for (const QString &part : shown)
            QVERIFY2(bubble.contains(filled(part)), qPrintable(filled(part) + QStringLiteral("\nnot in\n") + bubble));
        for (const QString &part : notShown)
            QVERIFY2(!bubble.contains(filled(part)), qPrintable(filled(part) + QStringLiteral("\nin\n") + bubble));

        // An exported page copies what it shows beside itself, named after its type.
        QDir().mkpath(env.path("out/files"));
        const QString exported = KikBubbleHtml::forExport(env.path("out/files")).bubble(m);
        QVERIFY(!exported.contains(env.path("")));
        if (!media.isEmpty()) {
            const QString suffix = mediaSuffix(mediaTypeOfBytes(media));
            QVERIFY(exported.contains(QStringLiteral("href=\"files/%1.%2\" target=\"_blank\"").arg(m->content_id, suffix)));
            QVERIFY(QFile::exists(env.path(QStringLiteral("out/files/%1.%2").arg(m->content_id, suffix))));
        }
    }

    void mediaLinksWithoutAKnownType()
    {
        const QString preview = file(QStringLiteral("thumbs/p1"));
        const QString noSuffix = file(QStringLiteral("files/c0ffee"));
        const KikBubbleHtml html;
        KikMessage *m = message();
        m->app_id = QStringLiteral("com.kik.ext.camera");
        m->preview_path = preview;
        m->content_id = QStringLiteral("c0ffee");
        m->content_path = noSuffix;
        // An unknown type opens through a copy named like the sender's file.
        m->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("IMG_0001.JPG"));
        QVERIFY(html.bubble(m).contains(pictureLink(
            QStringLiteral("atta:///?ph=%1&amp;sf=JPG").arg(QString::fromLatin1(noSuffix.toUtf8().toHex())), fileUrl(preview))));
        m->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("no-suffix"));
        QVERIFY(html.bubble(m).contains(pictureLink(fileUrl(noSuffix), fileUrl(preview))));

        // A message that kept only its content id (its description is gone) says so.
        KikMessage bare;
        bare.content_id = bare.body = QStringLiteral("0b1c-5e6f");
        for (const KikBubbleHtml &maker : {html, KikBubbleHtml::forExport(env.path("out/files"))}) {
            QVERIFY(maker.bubble(&bare).contains(QStringLiteral("[Picture not available]")));
            QVERIFY(!maker.bubble(&bare).contains(bare.content_id));
        }
        // Nothing from a message is fetched from the network: a picture address is no picture.
        m->content_path = env.path("files/none");
        m->preview_path = QStringLiteral("http://kik.example/p.jpg");
        m->attachment.clear();
        QVERIFY(html.bubble(m).contains(QStringLiteral("<a href=\"#\">[Picture not available]</a>")));
        QVERIFY(!html.bubble(m).contains(QStringLiteral("kik.example")));
    }

    void cardsByTheirSubApplication()
    {
        const QString preview = file(QStringLiteral("thumbs/card"));
        const QString src = fileUrl(preview);
        const QString json = QStringLiteral("extra:jsonData");
        struct Case
        {
            KikMessage *message;
            QString expected;
        };
        const QList<Case> cases = {
            {card(QStringLiteral("Image Search"), json, QStringLiteral("{\"URL\":\"http://img.example/a.png\",\"w\":3}")),
             QStringLiteral("<div>") + pictureLink(QStringLiteral("http://img.example/a.png"), src) + QStringLiteral("</div>")},
            {card(QStringLiteral("image search"), json, QStringLiteral("{}")),
             QStringLiteral("<div>") + pictureLink(QStringLiteral("#"), src) + QStringLiteral("</div>")},
            {card(QStringLiteral("Kik Points")), QStringLiteral("[Kik Points]")},
            {card(QStringLiteral("Memes"), json, QStringLiteral("{image:cat.png,x:1}")),
             QStringLiteral("<div>") + pictureLink(QLatin1String(AppConstants::KikMemeBaseUrl) + QStringLiteral("cat.png"), src)
                 + QStringLiteral("</div>")},
            {card(QStringLiteral("Stickers"), QStringLiteral("extra:sticker_url"), QStringLiteral("https://s.example/1.png")),
             QStringLiteral("<div>") + pictureLink(QStringLiteral("https://s.example/1.png"), src) + QStringLiteral("</div>")},
            {card(QStringLiteral("Viral Videos"), json, QStringLiteral("{\"pic\":\"http://v.example/p.jpg\"}")),
             QStringLiteral("<div style=\"text-align:left; min-width:200px;\"><div style=\"float:left;margin:5px;\">")
                 + pictureLink(QStringLiteral("http://v.example/p.jpg"), src, 64)
                 + QStringLiteral("</div><div>Cats &amp; dogs</div><div class=\"clear\"></div></div>")},
            {card(QStringLiteral("Sketch"), json, QStringLiteral("\"image\":\"http://k.example/s.png\"")),
             QStringLiteral("<div>") + pictureLink(QStringLiteral("http://k.example/s.png"), src) + QStringLiteral("</div>")},
            {card(QStringLiteral("Polls \U0001F604")),
             QStringLiteral("<div class=\"card_name\">Polls <img src=\"emoji/1F604.png\" width=\"20\" height=\"20\" "
                            "style=\"vertical-align:top;\" /></div>")},
        };
        cases.at(5).message->attachment.insert(QStringLiteral("string:title"), QStringLiteral("Cats & dogs"));
        for (KikMessage *m : {cases.at(0).message, cases.at(1).message, cases.at(3).message, cases.at(4).message,
                              cases.at(5).message, cases.at(6).message})
            m->preview_path = preview;
        for (const Case &c : cases) {
            const QString bubble = KikBubbleHtml().bubble(c.message);
            QVERIFY2(bubble
                         == QStringLiteral("<div class=\"bb1\">") + cells + c.expected
                                + QStringLiteral("</div><div class=\"clear\"></div>"),
                     qPrintable(c.message->sub_app_id + QStringLiteral(": ") + bubble));
        }

        // With a preview, points and other cards show it, without a target.
        KikMessage *points = card(QStringLiteral("Kik Points"));
        KikMessage *other = card(QStringLiteral("Polls"));
        for (KikMessage *m : {points, other}) {
            m->preview_path = preview;
            QVERIFY(KikBubbleHtml().bubble(m).contains(QStringLiteral("<div>") + pictureLink(QStringLiteral("#"), src)));
        }
        // Other cards show their name, their text and their link, live only for web addresses.
        other->attachment.insert(QStringLiteral("string:title"), QStringLiteral("Vote <now>"));
        other->attachment.insert(
            QStringLiteral("uri"),
            QVariantList{QVariantHash{{QStringLiteral("url"), QStringLiteral("https://p.example/?a=1&b=2")}}});
        QVERIFY(KikBubbleHtml().bubble(other).contains(QStringLiteral(
            "<div class=\"card_name\">Polls</div><div class=\"card_text\">Vote &lt;now&gt;</div>"
            "<div class=\"card_link\"><a href=\"https://p.example/?a=1&amp;b=2\">https://p.example/?a=1&amp;b=2</a></div>")));
        other->attachment.insert(QStringLiteral("uri"),
                                 QVariantList{QVariantHash{{QStringLiteral("url"), QStringLiteral("javascript:alert(1)")}}});
        QVERIFY(KikBubbleHtml().bubble(other).contains(QStringLiteral("<a href=\"#\">javascript:alert(1)</a>")));
    }

    void hostileValuesStayInert()
    {
        const QString preview = file(QStringLiteral("thumbs/h"));
        KikUser *mallory = addUser(QStringLiteral("<img src=x onerror=alert(1)>\"'"));
        KikMessageList messages;
        const auto add = [&](KikMessage *m) {
            m->chat = groupChat;
            m->target_user = mallory;
            messages << m;
            return m;
        };
        add(message(QStringLiteral("<script>alert(1)</script>\"><a href='javascript:x'>")));
        add(card(QStringLiteral("Stickers"), QStringLiteral("extra:sticker_url"),
                 QStringLiteral("http://x/\"><script>alert(1)</script>")));
        add(card(QStringLiteral("Stickers"), QStringLiteral("extra:sticker_url"), QStringLiteral(" jav\tascript:alert(1)")));
        add(card(QStringLiteral("Image Search"), QStringLiteral("extra:jsonData"),
                 QStringLiteral("{\"url\":\"javascript:alert(1)//<>\"}")));
        add(card(QStringLiteral("Sketch"), QStringLiteral("extra:jsonData"),
                 QStringLiteral("{\"image\":\"data:text/html;base64,PHNjcmlwdD4=\"}")));
        add(card(QStringLiteral("Memes"), QStringLiteral("extra:jsonData"),
                 QStringLiteral("{\"image\":\"x'onmouseover='alert(1)\"}")));
        KikMessage *viral = add(card(QStringLiteral("Viral Videos"), QStringLiteral("extra:jsonData"),
                                     QStringLiteral("{\"pic\":\"vbscript:msgbox\"}")));
        viral->attachment.insert(QStringLiteral("string:title"), QStringLiteral("</div><script>alert(1)</script>"));
        KikMessage *strange = add(card(QStringLiteral("<img src=x onerror=alert(1)>")));
        strange->preview_path = QStringLiteral("http://x/\" onerror=\"alert(1)");
        KikMessage *today = add(card(QStringLiteral("Quiz\"><script>")));
        today->attachment.insert(QStringLiteral("string:title"), QStringLiteral("</div><script>alert(1)</script>"));
        today->attachment.insert(
            QStringLiteral("uri"),
            QVariantList{QVariantHash{{QStringLiteral("url"), QStringLiteral("java\nscript:x\"'><script>")}}});
        KikMessage *sticker = add(message());
        sticker->app_id = QStringLiteral("com.kik.ext.stickers");
        sticker->content_id = QStringLiteral("../../etc/passwd");
        sticker->content_path = file(QStringLiteral("files/sticker\"'<"), KikFakeMedia::png(Qt::red, true));
        KikMessage *video = add(message());
        video->app_id = QStringLiteral("com.kik.ext.video");
        video->attachment.insert(QStringLiteral("string:file-url"), QStringLiteral("javascript:alert(document.cookie)"));
        KikMessage *photo = add(message());
        photo->app_id = QStringLiteral("com.kik.ext.gallery");
        photo->content_path = file(QStringLiteral("files/abc"));
        photo->preview_path = preview;
        photo->attachment.insert(QStringLiteral("string:file-name"), QStringLiteral("x.j\"p&g<"));
        KikMessage *smiley = add(message(QStringLiteral("X")));
        smiley->render_ins = renderRecord(0, 1, "\"><script>", QByteArray("\" onerror=\"alert(1)\xF0\x9F\x98\x84"));

        for (const KikBubbleHtml &html : {KikBubbleHtml(), KikBubbleHtml::forExport(env.path("hostile/files"))}) {
            const QString page = html.page(messages, 1);
            QVERIFY2(markupProblem(page).isEmpty(), qPrintable(markupProblem(page)));
            QVERIFY(!page.contains(QLatin1String("<script"), Qt::CaseInsensitive));
            QVERIFY(page.contains(QLatin1String("&lt;script&gt;")));
        }
        // Escaping keeps the value: the sticker's address survives whole.
        QVERIFY(KikBubbleHtml()
                    .bubble(messages.at(1))
                    .contains(QStringLiteral("href=\"http://x/&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;\"")));
        QVERIFY(KikBubbleHtml().bubble(messages.at(2)).contains(QStringLiteral("href=\"#\"")));
    }
};

QTEST_GUILESS_MAIN(TestKikBubbleHtml)
#include "TestKikBubbleHtml.moc"
