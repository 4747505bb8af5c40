#include "CliRun.h"
#include "RecordingProgress.h"
#include "TestEnv.h"

#include "kik/IOSKikDb.h"
#include "kik/KikMedia.h"
#include "kik/KikMessageKind.h"
#include "kik/KikRules.h"
#include "kikstore/KikStoreGenerator.h"
#include "views/KikPagePainter.h"
#include "workers/ExportMessagesThread.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPdfWriter>
#include <QtTest>

// Kik's content of today, from a generated store through the HTML, text, CSV and PDF exports and
// show --json (the bubbles of each kind: TestKikBubbleHtml).
class TestKikContentKinds : public QObject
{
    Q_OBJECT
    TestEnv env;
    GeneratedKikStore store;
    KikDataSetPtr data;
    KikMessageList contentMessages;   // in the order of store.contentIds

    // The kind show --json gives each app id of the generator ("" for a lost description).
    static QString kindOf(const QString &appId)
    {
        static const QHash<QString, QString> kinds = {{"com.kik.ext.camera", "picture"},
                                                      {"com.kik.ext.gallery", "picture"},
                                                      {"com.kik.ext.gif", "gif"},
                                                      {"com.kik.ext.stickers", "sticker"},
                                                      {"com.kik.ext.video-camera", "video"},
                                                      {"com.kik.ext.video-gallery", "video"},
                                                      {"com.kik.cards", "card"},
                                                      {"", "text"}};
        return kinds.value(appId, QStringLiteral("?"));
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
        QHash<QString, KikMessage *> byContent;
        for (KikMessage *message : data->messages)
            byContent.insert(message->content_id, message);
        for (const QString &id : std::as_const(store.contentIds)) {
            QVERIFY(byContent.contains(id));
            contentMessages << byContent.value(id);
        }
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
        for (const KikMessage *message : std::as_const(contentMessages)) {
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
            QCOMPARE(kindOfContent.value(store.contentIds.at(i)), kindOf(store.contentAppIds.at(i)));
    }
};

QTEST_MAIN(TestKikContentKinds)
#include "TestKikContentKinds.moc"
