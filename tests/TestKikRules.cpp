#include "TestEnv.h"

#include "kik/KikMessageKind.h"
#include "kik/KikRules.h"
#include "kik/KikUser.h"
#include "plist/CFType.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

namespace {

// One render-instruction record; every numeric field is written as 0, value.
QByteArray renderRecord(int start, int end, const QByteArray &text, const QByteArray &image = {})
{
    QByteArray out;
    const auto field = [&out](int value) {
        out += '\0';
        out += char(value);
    };
    field(0);
    field(start);
    field(end);
    field(int(text.size()));
    out += text;
    field(int(image.size()));
    return out + image;
}

QString bracketed(const QString &text, const QString *image)
{
    return image ? QStringLiteral("<img:%1>").arg(*image) : QStringLiteral("[%1]").arg(text);
}

KikMessage message(qint64 internalId, int secondsFromStart)
{
    KikMessage m;
    m.internal_id = internalId;
    m.ts = QDateTime(QDate(2021, 3, 4), QTime(10, 0), QTimeZone::utc()).addSecs(secondsFromStart);
    return m;
}

QStringList stringEntries(const CFType &strings)
{
    QStringList out;
    for (int i = 0; i < strings.count(); ++i)
        out << strings.at(i).value(QStringLiteral("name")).toQString() + QLatin1Char('=')
                   + strings.at(i).value(QStringLiteral("value")).toQString();
    return out;
}

QStringList keyNames(const CFType &dict)
{
    QStringList out;
    for (const CFType &key : dict.keys())
        out << key.toQString();
    return out;
}

}   // namespace

class TestKikRules : public QObject
{
    Q_OBJECT

private slots:
    void displayNames()
    {
        KikUser nobody;
        QCOMPARE(userDisplayName(&nobody), QStringLiteral("Unknown"));
        KikUser ann, bob, group;
        ann.display_name = QStringLiteral("Ann");
        bob.display_name = QStringLiteral("Bob");
        group.members = {{&ann}, {nullptr}, {&bob}};
        QCOMPARE(userDisplayName(&group), QStringLiteral("Ann,Bob"));
        group.display_name = QStringLiteral("Friends");
        QCOMPARE(userDisplayName(&group), QStringLiteral("Friends"));

        // A broken store may list a group inside itself.
        KikUser loop;
        loop.members = {{&loop}, {&ann}};
        QCOMPARE(userDisplayName(&loop), QStringLiteral("Ann"));

        // Chats are named by their user; only received group messages name their sender.
        KikChat orphan, friends;
        QCOMPARE(chatDisplayName(&orphan), QStringLiteral("Unknown"));
        group.is_group = true;
        friends.user = &group;
        QCOMPARE(chatDisplayName(&friends), QStringLiteral("Friends"));
        KikMessage fromBob;
        fromBob.chat = &friends;
        fromBob.target_user = &bob;
        QCOMPARE(groupSenderName(&fromBob), QStringLiteral("Bob"));
        fromBob.was_me = true;
        QVERIFY(groupSenderName(&fromBob).isEmpty());
        group.is_group = false;
        fromBob.was_me = false;
        QVERIFY(groupSenderName(&fromBob).isEmpty());
    }

    void kindsForgiveCaseOnlyWhenRead()
    {
        QCOMPARE(messageKindOf(QStringLiteral("COM.KIK.EXT.CAMERA")), KikMessageKind::Picture);
        QCOMPARE(messageKindOf(QStringLiteral("COM.KIK.EXT.CAMERA"), Qt::CaseSensitive), KikMessageKind::Text);
        QCOMPARE(messageKindOf(QStringLiteral("com.kik.ext.video-gallery"), Qt::CaseSensitive), KikMessageKind::Video);
        QCOMPARE(messageKindOf(QStringLiteral("com.kik.cardsx")), KikMessageKind::Card);
        QCOMPARE(messageKindOf(QStringLiteral("kik.cards")), KikMessageKind::Text);
        QCOMPARE(cardKindOf(QStringLiteral("viral videos")), KikCardKind::ViralVideos);
        QCOMPARE(cardKindOf(QStringLiteral("Stickers ")), KikCardKind::OtherCard);
    }

    void displayTextOfEachKind_data()
    {
        QTest::addColumn<QString>("appId");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QByteArray>("renderIns");
        QTest::addColumn<QString>("expected");
        QTest::newRow("gallery") << "com.kik.ext.gallery"
                                 << "x" << QByteArray() << "[IMAGE]";
        QTest::newRow("gallery in capitals") << "COM.KIK.EXT.GALLERY"
                                             << "" << QByteArray() << "[IMAGE]";
        QTest::newRow("camera") << "com.kik.ext.camera"
                                << "" << QByteArray() << "[IMAGE]";
        QTest::newRow("video") << "com.kik.ext.video-gallery"
                               << "" << QByteArray() << "[VIDEO]";
        QTest::newRow("card") << "com.kik.cards"
                              << "" << QByteArray() << "[Stickers]";
        QTest::newRow("emoji pair") << ""
                                    << "a\U0001F604b" << QByteArray() << "a[EMOJI]b";
        QTest::newRow("carrier emoji") << ""
                                       << "\uE415 ok\u2705" << QByteArray() << "[EMOJI] ok[EMOJI]";
        QTest::newRow("render text") << ""
                                     << "hi \uFFFC!" << renderRecord(3, 5, ":)") << "hi [:)]!";
        QTest::newRow("render image") << ""
                                      << "\uFFFC" << renderRecord(0, 3, "(y)", "like") << "[EMOJI:like]";
        QTest::newRow("render empty") << ""
                                      << "\uFFFC" << renderRecord(0, 1, "") << "[EMOJI]";
    }

    void displayTextOfEachKind()
    {
        QFETCH(QString, appId);
        QFETCH(QString, body);
        QFETCH(QByteArray, renderIns);
        QFETCH(QString, expected);
        KikMessage m;
        m.app_id = appId;
        m.sub_app_id = QStringLiteral("Stickers");
        m.body = body;
        m.render_ins = renderIns;
        QCOMPARE(messageDisplayText(&m), expected);
    }

    // Every kind Kik sends today, as the list, the text exports, search and show --json see it.
    void kindsOfToday_data()
    {
        QTest::addColumn<QString>("appId");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        static const char *const rows[][3] = {{"com.kik.ext.camera", "picture", "[IMAGE]"},
                                              {"com.kik.ext.gallery", "picture", "[IMAGE]"},
                                              {"com.kik.ext.video-camera", "video", "[VIDEO]"},
                                              {"com.kik.ext.video-gallery", "video", "[VIDEO]"},
                                              {"com.kik.ext.gif", "gif", "[GIF]"},
                                              {"COM.KIK.EXT.GIF", "gif", "[GIF]"},
                                              {"com.kik.ext.stickers", "sticker", "[STICKER]"},
                                              {"com.kik.cards", "card", "[Quiz Night]"},
                                              {"", "text", "see you"}};
        for (const auto &row : rows)
            QTest::newRow(*row[0] ? row[0] : "plain text")
                << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1]) << QString::fromLatin1(row[2]);
    }

    void kindsOfToday()
    {
        QFETCH(QString, appId);
        QFETCH(QString, kind);
        QFETCH(QString, text);
        KikMessage m;
        m.app_id = appId;
        m.sub_app_id = QStringLiteral("Quiz Night");
        m.body = QStringLiteral("see you");
        m.attachment.insert(QStringLiteral("string:title"), QStringLiteral("Who knows?"));
        QCOMPARE(messageKindName(messageKindOf(&m)), kind);
        QCOMPARE(messageDisplayText(&m), text);
        // Search looks at what a reader sees: a card's name and text, never a marker.
        const QString search = kind == QLatin1String("card")   ? QStringLiteral("Quiz Night Who knows?")
                               : kind == QLatin1String("text") ? text
                                                               : QString();
        QCOMPARE(messageSearchText(&m), search);
        // Written back, a GIF or sticker keeps its own app id.
        if (kind == QLatin1String("gif") || kind == QLatin1String("sticker"))
            QCOMPARE(buildContentDictionary(&m).value(QStringLiteral("app-id")).toQString(), appId);
    }

    // A card without an app name goes by its title; its link comes from its link list, else its data.
    void cardsNameTextAndLink()
    {
        KikMessage m;
        m.app_id = QStringLiteral("com.kik.cards");
        QCOMPARE(messageDisplayText(&m), QStringLiteral("[CARD]"));
        m.attachment.insert(QStringLiteral("string:title"), QStringLiteral("Tonight"));
        m.attachment.insert(QStringLiteral("string:text"), QStringLiteral("Bring snacks"));
        m.attachment.insert(QStringLiteral("extra:jsonData"), QStringLiteral("{\"url\": \"https://a.example/x\"}"));
        QCOMPARE(messageDisplayText(&m), QStringLiteral("[Tonight]"));
        QCOMPARE(cardText(&m), QStringLiteral("Tonight\nBring snacks"));
        QCOMPARE(cardLink(&m), QStringLiteral("https://a.example/x"));
    }

    // Without its description an attachment's message holds only its content id: never shown as text.
    void aMissingAttachmentSaysSo()
    {
        KikMessage m;
        m.content_id = m.body = QStringLiteral("0b1c-5e6f");
        QCOMPARE(messageDisplayText(&m), QStringLiteral("[Picture not available]"));
        m.body.clear();
        QCOMPARE(messageDisplayText(&m), QStringLiteral("[Picture not available]"));
        m.body = QStringLiteral("a caption");
        QCOMPARE(messageDisplayText(&m), QStringLiteral("a caption"));
        m.body = m.content_id;
        m.app_id = QStringLiteral("com.kik.ext.gallery");
        QCOMPARE(messageDisplayText(&m), QStringLiteral("[IMAGE]"));
    }

    void emojiPasses()
    {
        QStringList codes;
        const EmojiHandler collect = [&codes](const QString &code) {
            codes << code;
            return QStringLiteral("<%1>").arg(code);
        };
        QCOMPARE(replaceEmoji(QStringLiteral("a\U0001F604b\uE000\uE537\u2714"), collect),
                 QStringLiteral("a<1F604>b<E000><E537><2714>"));
        QCOMPARE(codes, QStringList({"E000", "E537", "2714", "1F604"}));   // single units first
        // Outside both sets, or not a pair: left alone.
        const QString untouched = QStringLiteral("\uE538\u2600\U0001F900") + QChar(0xD83D) + QLatin1Char('x');
        QCOMPARE(replaceEmoji(untouched, collect), untouched);
        // The pair pass also sees what the first pass put in.
        const EmojiHandler nested = [](const QString &code) {
            return code == QLatin1String("E415") ? QStringLiteral("\U0001F604") : QStringLiteral("(%1)").arg(code);
        };
        QCOMPARE(replaceEmoji(QStringLiteral("\uE415"), nested), QStringLiteral("(1F604)"));
    }

    // Texts are skipped up to their first candidate unit: what comes before it, what follows
    // it and texts without any must come out exactly as they went in.
    void emojiEdges_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const QChar high(0xD83D);
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("plain") << QStringLiteral("plain <b> & text") << QStringLiteral("plain <b> & text");
        QTest::newRow("just below the first") << QStringLiteral("\u203B\u2000") << QStringLiteral("\u203B\u2000");
        QTest::newRow("first and last single") << QStringLiteral("\u203Cx\u3030") << QStringLiteral("<203C>x<3030>");
        QTest::newRow("private-use bounds") << QStringLiteral("ab\uE000\uE537\uE538") + QChar(0xDFFF)
                                            << QStringLiteral("ab<E000><E537>\uE538") + QChar(0xDFFF);
        QTest::newRow("pair after text") << QStringLiteral("long text then \U0001F300")
                                         << QStringLiteral("long text then <1F300>");
        QTest::newRow("other planes") << QStringLiteral("\U0001F900\U00020000\U0001F1E6")
                                      << QStringLiteral("\U0001F900\U00020000<1F1E6>");
        QTest::newRow("lone high at end") << QStringLiteral("x\U0001F604") + high << QStringLiteral("x<1F604>") + high;
        QTest::newRow("high before a pair") << QString(high) + QStringLiteral("\U0001F604")
                                            << QString(high) + QStringLiteral("<1F604>");
        QTest::newRow("high without low") << QString(high) + QStringLiteral("ab") << QString(high) + QStringLiteral("ab");
        QTest::newRow("low alone") << QString(QChar(0xDE04)) + QStringLiteral("\u2705")
                                   << QString(QChar(0xDE04)) + QStringLiteral("<2705>");
    }

    void emojiEdges()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        int calls = 0;
        const EmojiHandler tag = [&calls](const QString &code) {
            ++calls;
            return QLatin1Char('<') + code + QLatin1Char('>');
        };
        QCOMPARE(replaceEmoji(text, tag), expected);
        QCOMPARE(calls, int(expected.count(QLatin1Char('<')) - text.count(QLatin1Char('<'))));
    }

    // A sequence is one emoji whatever its parts; what is no sequence stays apart.
    void emojiSequences_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("skin tone") << QStringLiteral("a\U0001F44D\U0001F3FDb") << QStringLiteral("a<1F44D-1F3FD>b");
        QTest::newRow("family") << QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467")
                                << QStringLiteral("<1F468-200D-1F469-200D-1F467>");
        QTest::newRow("flags, and a third letter") << QStringLiteral("\U0001F1EF\U0001F1F5\U0001F1E9\U0001F1EA\U0001F1EB")
                                                   << QStringLiteral("<1F1EF-1F1F5><1F1E9-1F1EA><1F1EB>");
        QTest::newRow("keycaps, a digit alone")
            << QStringLiteral("#\uFE0F\u20E3 1\u20E3 2\uFE0F") << QStringLiteral("<23-20E3> <31-20E3> 2\uFE0F");
        QTest::newRow("selector after a listed one") << QStringLiteral("\u2714\uFE0F!") << QStringLiteral("<2714>!");
        QTest::newRow("selector marks another symbol")
            << QStringLiteral("\u2764\uFE0F \u2764") << QStringLiteral("<2764> \u2764");
        QTest::newRow("listed symbol joined into a sequence")
            << QStringLiteral("\U0001F43B\u200D\u2744\uFE0F") << QStringLiteral("<1F43B-200D-2744>");
        QTest::newRow("sequence of unlisted symbols")
            << QStringLiteral("\U0001F9D1\u200D\U0001F384\U0001F923") << QStringLiteral("<1F9D1-200D-1F384>\U0001F923");
        QTest::newRow("kiss with two tones")
            << QStringLiteral("\U0001F469\U0001F3FB\u200D\u2764\uFE0F\u200D\U0001F48B\u200D\U0001F468\U0001F3FC")
            << QStringLiteral("<1F469-1F3FB-200D-2764-200D-1F48B-200D-1F468-1F3FC>");
        QTest::newRow("subdivision flag") << QStringLiteral(
            "\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F")
                                          << QStringLiteral("<1F3F4-E0067-E0062-E0065-E006E-E0067-E007F>");
        QTest::newRow("joiner before text") << QStringLiteral("\U0001F604\u200Dx\u200D")
                                            << QStringLiteral("<1F604>\u200Dx\u200D");
        QTest::newRow("carrier codes never combine") << QStringLiteral("\uE415\U0001F3FB") << QStringLiteral("<E415><1F3FB>");
    }

    void emojiSequences()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const EmojiHandler tag = [](const QString &code) { return QLatin1Char('<') + code + QLatin1Char('>'); };
        QCOMPARE(replaceEmoji(text, tag), expected);
        // Each code gives back an emoji that is read as the same code.
        replaceEmoji(text, [](const QString &code) {
            if (!code.startsWith(QLatin1Char('E')))
                [&] { QCOMPARE(wholeEmojiCode(emojiCodeText(code)), code); }();
            return QString();
        });
    }

    void endlessJoinsAreCut()
    {
        QString text = QStringLiteral("\U0001F468");
        for (int i = 0; i < 1000; ++i)
            text += QStringLiteral("\u200D\U0001F468");
        QStringList codes;
        replaceEmoji(text, [&codes](const QString &code) {
            codes << code;
            return QString();
        });
        QVERIFY(codes.size() > 1);
        for (const QString &code : std::as_const(codes))
            QVERIFY(code.count(QLatin1Char('-')) < 16);
    }

    // The old carrier emoji read as the standard ones where names and texts are shown, and
    // the texts of exports may keep emoji as characters.
    void carrierEmojiAndCharacters()
    {
        QCOMPARE(standardEmoji(QStringLiteral("a\uE415b\uE50B\uE537\uE538")),
                 QStringLiteral("a\U0001F604b\U0001F1EF\U0001F1F5\u2122\uE538"));
        QCOMPARE(emojiCodeText(QStringLiteral("E001")), QStringLiteral("\U0001F466"));
        KikUser user;
        user.display_name = QStringLiteral("Ann \uE415");
        QCOMPARE(userDisplayName(&user), QStringLiteral("Ann \U0001F604"));

        KikMessage m;
        m.body = QStringLiteral("hi \uE415 \U0001F44D\U0001F3FD");
        QCOMPARE(messageDisplayText(&m), QStringLiteral("hi [EMOJI] [EMOJI]"));
        QCOMPARE(messageDisplayText(&m, EmojiStyle::Characters), QStringLiteral("hi \U0001F604 \U0001F44D\U0001F3FD"));
        m.body = QStringLiteral("\uFFFC \uFFFC \uFFFC \uE415");
        m.render_ins = renderRecord(0, 2, ":)") + renderRecord(3, 8, "(wut)") + renderRecord(9, 12, "(y)", "like");
        QCOMPARE(messageDisplayText(&m, EmojiStyle::Characters), QStringLiteral("\U0001F642 [(wut)] [EMOJI:like] \U0001F604"));
    }

    void renderInstructions()
    {
        const QString body = QStringLiteral("<\uFFFC&\uFFFCz");
        const QByteArray two = renderRecord(1, 3, ":)") + renderRecord(4, 6, ";)", "wink");
        QCOMPARE(applyRenderInstructions(body, two, bracketed, true), QStringLiteral("&lt;[:)]&amp;<img:wink>z"));
        QCOMPARE(applyRenderInstructions(body, two, bracketed, false), QStringLiteral("<[:)]&<img:wink>z"));
        // Cut inside the second record: the first still applies and the rest of the body follows.
        QCOMPARE(applyRenderInstructions(body, two.left(two.size() - 2), bracketed, false), QStringLiteral("<[:)]&\uFFFCz"));
        // A record whose start is not below its end stops the decoding.
        QCOMPARE(applyRenderInstructions(body, renderRecord(3, 3, "x") + two, bracketed, false), body);
        // Only the second byte of a field counts, as a signed value.
        QByteArray wide = renderRecord(1, 3, ":)");
        wide[0] = char(0x7F);
        wide[2] = char(0x12);
        QCOMPARE(applyRenderInstructions(body, wide, bracketed, false), QStringLiteral("<[:)]&\uFFFCz"));
        wide[3] = char(0x80);   // start -128, not 128: still below the end
        QCOMPARE(applyRenderInstructions(body, wide, bracketed, false), QStringLiteral("[:)]&\uFFFCz"));
    }

    void hostileRenderInstructionsStayInsideTheBody()
    {
        const QString body = QStringLiteral("abc");
        QCOMPARE(applyRenderInstructions(body, renderRecord(-100, 120, "x"), bracketed, false), QStringLiteral("[x]"));
        QCOMPARE(applyRenderInstructions(body, renderRecord(100, 120, "x"), bracketed, false), QStringLiteral("abc[x]"));
        QRandomGenerator random(7);
        for (int i = 0; i < 500; ++i) {
            QByteArray blob(int(random.bounded(64)), '\0');
            for (char &c : blob)
                c = char(random.bounded(256));
            const QString out = applyRenderInstructions(body, blob, bracketed, true);
            QVERIFY(out.size() < 200);
        }
    }

    void orderingEdges_data()
    {
        QTest::addColumn<qint64>("idA");
        QTest::addColumn<int>("secondsA");
        QTest::addColumn<qint64>("idB");
        QTest::addColumn<int>("secondsB");
        QTest::addColumn<bool>("aFirst");
        QTest::newRow("close: by id") << qint64(100) << 30 << qint64(103) << 0 << true;
        QTest::newRow("ids 10 apart, 60 s") << qint64(100) << 60 << qint64(110) << 0 << true;
        QTest::newRow("ids 11 apart: by time") << qint64(100) << 60 << qint64(111) << 0 << false;
        QTest::newRow("61 s apart: by time") << qint64(100) << 61 << qint64(103) << 0 << false;
        QTest::newRow("extreme ids: by time")
            << std::numeric_limits<qint64>::min() << 0 << std::numeric_limits<qint64>::max() << 10 << true;
    }

    void orderingEdges()
    {
        QFETCH(qint64, idA);
        QFETCH(int, secondsA);
        QFETCH(qint64, idB);
        QFETCH(int, secondsB);
        QFETCH(bool, aFirst);
        KikMessage a = message(idA, secondsA);
        KikMessage b = message(idB, secondsB);
        QCOMPARE(messageLessThan(&a, &b), aFirst);
        QCOMPARE(messageLessThan(&b, &a), !aFirst);
        KikMessageList list{&b, &a};
        sortMessages(list);
        QCOMPARE(list.first(), aFirst ? &a : &b);
        sortMessages(list, Qt::DescendingOrder);
        QCOMPARE(list.first(), aFirst ? &b : &a);
    }

    void sortingSurvivesAnIntransitiveRule()
    {
        // a < b by id (close), b < c by time, c < a by time: a cycle.
        KikMessage a = message(1, 100), b = message(5, 50), c = message(100, 70);
        QVERIFY(messageLessThan(&a, &b) && messageLessThan(&b, &c) && messageLessThan(&c, &a));

        QList<KikMessage> store;
        QRandomGenerator random(11);
        for (int i = 0; i < 3000; ++i)
            store.append(message(random.bounded(40), random.bounded(240)));
        KikMessageList list;
        for (KikMessage &m : store)
            list.append(&m);
        sortMessages(list);
        QCOMPARE(list.size(), store.size());
        QCOMPARE(QSet<KikMessage *>(list.begin(), list.end()).size(), store.size());

        // Skewed clocks in a normal chat: the ids decide among close neighbours.
        QList<KikMessage> chat{message(1, 0), message(2, -20), message(3, 40), message(4, 200), message(5, 150)};
        KikMessageList shown{&chat[4], &chat[2], &chat[0], &chat[3], &chat[1]};
        sortMessages(shown);
        QCOMPARE(shown, KikMessageList({&chat[0], &chat[1], &chat[2], &chat[3], &chat[4]}));

        // The times handed out follow the new order; an invalid time counts as 0.
        chat[2].ts = QDateTime();
        QList<qint64> times;
        sortMessages(shown, Qt::DescendingOrder, &times);
        QCOMPARE(times.size(), shown.size());
        for (qsizetype i = 0; i < shown.size(); ++i)
            QCOMPARE(times[i], shown[i]->ts.isValid() ? shown[i]->ts.toMSecsSinceEpoch() : 0);
        QVERIFY(times.contains(0));
    }

    void chatsAndUrls()
    {
        KikChat older, newer;
        older.last_ts = QDateTime::fromSecsSinceEpoch(1000);
        newer.last_ts = QDateTime::fromSecsSinceEpoch(2000);
        QVERIFY(chatNewerThan(&newer, &older));
        QVERIFY(!chatNewerThan(&older, &newer));
        KikMessage m;
        QCOMPARE(attachmentFileUrl(&m), QString());
        m.attachment.insert(QStringLiteral("string:file-url"), QStringLiteral("http://x/y"));
        QCOMPARE(attachmentFileUrl(&m), QStringLiteral("http://x/y"));
    }

    void contentOfGalleryAndVideo()
    {
        const QString preview = m_env.path(QStringLiteral("preview.jpg"));
        const QString empty = m_env.path(QStringLiteral("empty.png"));
        {
            QFile file(preview);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("JPEGDATA");
            QFile none(empty);
            QVERIFY(none.open(QIODevice::WriteOnly));
        }
        KikMessage m;
        m.app_id = QStringLiteral("com.kik.ext.gallery");
        m.content_id = QStringLiteral("c0ffee");
        m.preview_path = preview;
        m.icon_path = m_env.path(QStringLiteral("missing.png"));
        m.png_preview_path = empty;
        m.attachment = {{QStringLiteral("string:file-size"), QStringLiteral("1234")},
                        {QStringLiteral("string:file-name"), QStringLiteral("photo")},
                        {QStringLiteral("string:file-url"), QStringLiteral("http://f")}};
        const CFType gallery = CFType::fromPlistData(buildContentDictionary(&m).toPlistData(CFType::BinaryFormat));
        QCOMPARE(keyNames(gallery), QStringList({"app-id", "id", "image", "string"}));
        QCOMPARE(gallery.value(QStringLiteral("app-id")).toQString(), QStringLiteral("com.kik.ext.gallery"));
        QCOMPARE(gallery.value(QStringLiteral("id")).toQString(), QStringLiteral("c0ffee"));
        const CFType images = gallery.value(QStringLiteral("image"));
        QCOMPARE(images.count(), 1);
        QCOMPARE(images.at(0).value(QStringLiteral("name")).toQString(), QStringLiteral("preview"));
        QCOMPARE(images.at(0).value(QStringLiteral("value")).toByteArray(), QByteArray("JPEGDATA"));
        QCOMPARE(
            stringEntries(gallery.value(QStringLiteral("string"))),
            QStringList({"app-name=Gallery", "file-size=1234", "file-name=c0ffee", "allow-forward=true", "file-url=http://f"}));

        m.app_id = QStringLiteral("com.kik.ext.video");
        m.attachment = {{QStringLiteral("string:file-size"), 0}, {QStringLiteral("string:file-name"), "clip.mp4"}};
        const CFType video = buildContentDictionary(&m);
        QCOMPARE(video.value(QStringLiteral("app-id")).toQString(), QStringLiteral("com.kik.ext.video-gallery"));
        QCOMPARE(stringEntries(video.value(QStringLiteral("string"))),
                 QStringList({"app-name=Gallery", "file-name=clip.mp4", "allow-forward=true", "layout=video"}));
    }

    void contentOfCardsAndOtherApps()
    {
        KikMessage m;
        m.app_id = QStringLiteral("COM.KIK.EXT.GALLERY");   // not a gallery to the phone
        m.content_id = QStringLiteral("id1");
        m.attachment = {{QStringLiteral("string:title"), QStringLiteral("T")},
                        {QStringLiteral("string:app-name"), QStringLiteral("Memes")},
                        {QStringLiteral("extra:jsonData"), QStringLiteral("{\"url\":1}")},
                        {QStringLiteral("image:preview"), QStringLiteral("p.png")},
                        {QStringLiteral("uri"), QVariantList{QVariantHash{{"url", "http://a"}, {"platform", "ios"}}, 5}}};
        const CFType card = buildContentDictionary(&m);
        QCOMPARE(keyNames(card), QStringList({"app-id", "id", "image", "extra", "uri", "string"}));
        QCOMPARE(card.value(QStringLiteral("app-id")).toQString(), QStringLiteral("COM.KIK.EXT.GALLERY"));
        QCOMPARE(card.value(QStringLiteral("image")).count(), 0);
        QCOMPARE(stringEntries(card.value(QStringLiteral("string"))), QStringList({"app-name=Memes", "title=T"}));
        const CFType extra = card.value(QStringLiteral("extra")).at(0);
        QCOMPARE(extra.value(QStringLiteral("key")).toQString(), QStringLiteral("jsonData"));
        QCOMPARE(extra.value(QStringLiteral("val")).toQString(), QStringLiteral("{\"url\":1}"));
        const CFType uris = card.value(QStringLiteral("uri"));
        QCOMPARE(uris.count(), 1);
        QCOMPARE(uris.at(0).value(QStringLiteral("url")).toQString(), QStringLiteral("http://a"));
        QCOMPARE(uris.at(0).value(QStringLiteral("platform")).toQString(), QStringLiteral("ios"));

        m.attachment.clear();
        QCOMPARE(keyNames(buildContentDictionary(&m)), QStringList({"app-id", "id", "image", "string"}));
    }

    void appleTimes()
    {
        const QDateTime epoch(QDate(2001, 1, 1), QTime(0, 0), QTimeZone::utc());
        QCOMPARE(appleTimeToDateTime(0), epoch);
        QCOMPARE(appleTimeToDateTime(61.9), epoch.addSecs(61));
        QCOMPARE(appleTimeToDateTime(-1.5), epoch.addSecs(-1));
        QVERIFY(!appleTimeToDateTime(std::nan("")).isValid());
        QVERIFY(!appleTimeToDateTime(1e300).isValid());
        QCOMPARE(appleTimeToMSecs(1.5), Q_INT64_C(978307201500));
        QCOMPARE(appleTimeToMSecs(std::numeric_limits<double>::infinity()), Q_INT64_C(0));
        QCOMPARE(msecsToAppleTime(Q_INT64_C(978307201500)), 1.5);
        QCOMPARE(unixToAppleTime(978307260), 60.0);
    }

private:
    TestEnv m_env;
};

QTEST_GUILESS_MAIN(TestKikRules)
#include "TestKikRules.moc"
