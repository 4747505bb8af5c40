#include "CliRun.h"
#include "MarkupCheck.h"
#include "RecordingProgress.h"
#include "TestEnv.h"

#include "kik/IOSKikDb.h"
#include "kik/KikMedia.h"
#include "kik/KikRules.h"
#include "kikstore/KikStoreGenerator.h"
#include "views/ItemModelSms.h"
#include "views/KikBubbleHtml.h"
#include "views/KikPagePainter.h"
#include "workers/ExportMessagesThread.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPdfWriter>
#include <QtTest>

// Kik's content of today, from a generated store through every place it shows: the list, the
// bubbles, the HTML, text and PDF exports and show --json, one kind after the other.
class TestKikContentKinds : public QObject
{
    Q_OBJECT
    TestEnv env;
    GeneratedKikStore store;
    KikDataSetPtr data;
    KikMessageList contentMessages;   // in the order of store.contentIds

    struct Kind
    {
        const char *appId;
        const char *kind;
        const char *text;
    };
    static const Kind *kindOf(const QString &appId)
    {
        static const Kind kinds[] = {
            {"com.kik.ext.camera", "picture", "[IMAGE]"},
            {"com.kik.ext.gallery", "picture", "[IMAGE]"},
            {"com.kik.ext.gif", "gif", "[GIF]"},
            {"com.kik.ext.stickers", "sticker", "[STICKER]"},
            {"com.kik.ext.video-camera", "video", "[VIDEO]"},
            {"com.kik.ext.video-gallery", "video", "[VIDEO]"},
            {"com.kik.cards", "card", nullptr},
            {"", "text", "[Picture not available]"},
        };
        for (const Kind &kind : kinds) {
            if (appId == QLatin1String(kind.appId))
                return &kind;
        }
        return nullptr;
    }

    static QString readText(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QString exportTo(int format, const QString &name)
    {
        RecordingProgress progress;
        const QString path = env.path(name);
        ExportMessagesThread worker(contentMessages, path, format, &progress);
        progress.run(worker);
        return progress.errors().isEmpty() ? path : QString();
    }

private slots:
    void initTestCase()
    {
        KikStoreOptions options;
        options.layout = KikStoreLayout::New;
        options.contacts = 5;
        options.groups = 1;
        options.adminsPerGroup = 2;   // the owner and one member
        options.chats = 3;
        options.messagesPerChat = 40;
        options.attachmentShare = 0.4;
        options.seed = 3;
        store = KikStoreGenerator(options).generate(env.path("mirror"));
        QVERIFY(store.attachments >= 30);   // every shape of content at least twice
        IOSKikDb db(store.rootFolder, env.path("thumbs"));
        QDir().mkpath(env.path("thumbs"));
        data.reset(new KikDataSet);
        QVERIFY(db.load(data));
        QHash<QString, _KikMessage *> byContent;
        for (_KikMessage *message : data->messages)
            byContent.insert(message->content_id, message);
        for (const QString &id : std::as_const(store.contentIds)) {
            QVERIFY(byContent.contains(id));
            contentMessages << byContent.value(id);
        }
    }

    // The list and search: each kind by its text; a card by its name.
    void listTexts()
    {
        ItemModelSms model;
        model.setMessages(contentMessages);
        QSet<QString> seen;
        for (int row = 0; row < contentMessages.size(); ++row) {
            const _KikMessage *message = contentMessages.at(row);
            const Kind *kind = kindOf(store.contentAppIds.at(row));
            QVERIFY2(kind, qPrintable(store.contentAppIds.at(row)));
            const QString text = model.data(model.index(row, 3), Qt::DisplayRole).toString();
            QCOMPARE(text,
                     kind->text ? QString::fromLatin1(kind->text) : QLatin1Char('[') + message->sub_app_id + QLatin1Char(']'));
            seen.insert(QLatin1String(kind->kind));
        }
        QCOMPARE(seen.size(), 6);
    }

    // The bubbles: the media itself when there, the preview marked when only it is, the words
    // for a missing picture when neither; a video with its play mark; a card with its link.
    void bubbles()
    {
        const KikBubbleHtml html;
        int previews = 0, missing = 0, media = 0;
        for (const _KikMessage *message : std::as_const(contentMessages)) {
            const QString bubble = html.bubble(message);
            QVERIFY2(markupProblem(html.page({const_cast<_KikMessage *>(message)}, 1)).isEmpty(), qPrintable(bubble));
            const KikMessageKind kind = messageKindOf(message);
            const KikMediaFile file = messageMediaFile(message);
            if (kind == KikMessageKind::Video) {
                QVERIFY(bubble.contains(QLatin1String("class=\"play\"")));
                QCOMPARE(bubble.contains(QLatin1String("class=\"length\"")), !file.path.isEmpty());
            } else if (kind == KikMessageKind::Card) {
                QVERIFY(bubble.contains(QLatin1String("<div class=\"card_link\"><a href=\"https://cards.example.invalid/")));
            } else if (isPictureType(file.type)) {
                QVERIFY(bubble.contains(QStringLiteral("&amp;sf=") + mediaSuffix(file.type) + QLatin1Char('"')));
                ++media;
            } else if (!messagePreviewPath(message).isEmpty()) {
                QVERIFY(bubble.contains(QLatin1String("<div class=\"preview_note\">Preview</div>")));
                ++previews;
            } else {
                QVERIFY2(bubble.contains(QLatin1String("[Picture not available]")), qPrintable(bubble));
                ++missing;
            }
            QCOMPARE(bubble.contains(QLatin1String("bb_bg")), kind != KikMessageKind::Sticker);
            QVERIFY(!bubble.contains(QLatin1String("http://")));
        }
        QVERIFY(media >= 6 && previews >= 2 && missing >= 2);
    }

    // The HTML export copies what its pages show beside them, typed; text and CSV write the texts.
    void exports()
    {
        const QString html = exportTo(ExportMessagesThread::FormatHtml, QStringLiteral("html"));
        QVERIFY(!html.isEmpty());
        const QStringList copies = QDir(html + QStringLiteral("/files")).entryList(QDir::Files);
        for (const QString suffix : {"jpg", "png", "gif", "webp", "mp4", "mov"})
            QVERIFY2(!copies.filter(QLatin1Char('.') + suffix).isEmpty(), qPrintable(suffix));
        QVERIFY(QDir(html + QStringLiteral("/emoji")).entryList(QDir::Files).size() < 100);

        const QString text = readText(exportTo(ExportMessagesThread::FormatText, QStringLiteral("all.txt")));
        const QString csv = readText(exportTo(ExportMessagesThread::FormatCsv, QStringLiteral("all.csv")));
        for (const QString marker : {"[IMAGE]", "[VIDEO]", "[GIF]", "[STICKER]", "[Quiz Night]", "[Picture not available]"}) {
            QVERIFY2(text.contains(marker), qPrintable(marker));
            QVERIFY2(csv.contains(marker), qPrintable(marker));
        }
    }

    // PDF and print: every media message is a picture (a GIF's first frame, the sticker, the
    // video's preview, the stand-in for a missing one); cards add their text.
    void printedPages()
    {
        QBuffer pdf;
        pdf.open(QIODevice::WriteOnly);
        QPdfWriter writer(&pdf);
        KikPagePainter painter;
        int pictures = 0;
        QStringList texts;
        painter.setPlacementObserver([&](const KikPagePainter::Placement &placement) {
            pictures += placement.kind == KikPagePainter::Placement::Picture ? 1 : 0;
            if (placement.kind == KikPagePainter::Placement::Text)
                texts << placement.text;
        });
        QVERIFY(painter.start(&writer));
        int expected = 0;
        for (const _KikMessage *message : std::as_const(contentMessages)) {
            painter.draw(message);
            const KikMessageKind kind = messageKindOf(message);
            expected += carriesMediaFile(kind) || (kind == KikMessageKind::Card && !messagePreviewPath(message).isEmpty());
        }
        painter.end();
        QCOMPARE(pictures, expected);
        QVERIFY(!texts.filter(QStringLiteral("Quiz Night\n")).isEmpty());
        QVERIFY(texts.contains(QStringLiteral("[Picture not available]")));
    }

    // show --json: the kind of each message, every earlier field, and the group's admins.
    void showJson()
    {
        const CliRun run =
            runCliTool({QStringLiteral("show"), QStringLiteral("--json"), QStringLiteral("--kik"), store.rootFolder});
        QCOMPARE(run.code, 0);
        const QJsonArray chats = QJsonDocument::fromJson(run.out).object().value(QStringLiteral("chats")).toArray();
        QHash<QString, QString> kindOfContent;
        int groups = 0;
        for (const QJsonValue &chat : chats) {
            if (chat.toObject().value(QStringLiteral("is_group")).toBool()) {
                ++groups;
                const QJsonArray admins = chat.toObject().value(QStringLiteral("admins")).toArray();
                QCOMPARE(admins.size(), 1);
                QVERIFY(store.contactJids.contains(admins.first().toString()));
                QVERIFY(chat.toObject().value(QStringLiteral("owner_is_admin")).toBool());
            } else {
                QVERIFY(!chat.toObject().contains(QStringLiteral("admins")));
            }
            for (const QJsonValue &message : chat.toObject().value(QStringLiteral("messages")).toArray()) {
                const QJsonObject object = message.toObject();
                QCOMPARE(object.keys(),
                         (QStringList{"app_id", "content_id", "id", "kind", "sender", "text", "ts", "uid", "was_me"}));
                kindOfContent.insert(object.value(QStringLiteral("content_id")).toString(),
                                     object.value(QStringLiteral("kind")).toString());
            }
        }
        QCOMPARE(groups, 1);
        // The text lists a group's members, admins marked.
        const CliRun text = runCliTool({QStringLiteral("show"), QStringLiteral("--kik"), store.rootFolder});
        QVERIFY2(text.outText().contains(QRegularExpression(QStringLiteral("\n  members: you \\(admin\\), [^\n]+ \\(admin\\)"))),
                 qPrintable(text.outText().left(400)));
        for (int i = 0; i < store.contentIds.size(); ++i)
            QCOMPARE(kindOfContent.value(store.contentIds.at(i)), QString::fromLatin1(kindOf(store.contentAppIds.at(i))->kind));
    }
};

QTEST_MAIN(TestKikContentKinds)
#include "TestKikContentKinds.moc"
