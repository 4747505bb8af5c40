#include "TestEnv.h"

#include "kik/KikMedia.h"
#include "kik/KikMessage.h"
#include "kikstore/KikFakeMedia.h"

#include <QFile>
#include <QImageReader>
#include <QtTest>

// Media is known by its first bytes, whatever its name says.
class TestKikMedia : public QObject
{
    Q_OBJECT
    TestEnv env;

    QString file(const QString &name, const QByteArray &bytes)
    {
        QFile out(env.path(name));
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            return QString();
        return out.fileName();
    }

private slots:
    void typesByFirstBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<bool>("readable");   // Qt reads it as a picture (WebP needs a plugin)
        QTest::newRow("jpeg") << KikFakeMedia::jpeg(Qt::red) << "jpg" << true;
        QTest::newRow("png") << KikFakeMedia::png(Qt::red, true) << "png" << true;
        QTest::newRow("gif") << KikFakeMedia::animatedGif() << "gif" << true;
        QTest::newRow("webp") << KikFakeMedia::webp(Qt::red) << "webp" << false;
        QTest::newRow("mp4") << KikFakeMedia::film(75, false) << "mp4" << false;
        QTest::newRow("mov") << KikFakeMedia::film(3700, true) << "mov" << false;
        QTest::newRow("riff but no webp") << QByteArray("RIFF\0\0\0\0WAVEfmt ", 16) << "" << false;
        QTest::newRow("short") << QByteArray("\xFF\xD8", 2) << "" << false;
        QTest::newRow("empty") << QByteArray() << "" << false;
    }

    void typesByFirstBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, suffix);
        QFETCH(bool, readable);
        // Named as a JPEG on purpose: the name must not count.
        const QString path = file(QStringLiteral("media.jpg"), bytes);
        QCOMPARE(mediaSuffix(mediaTypeOfFile(path)), suffix);
        QCOMPARE(mediaSuffix(mediaTypeOfBytes(bytes)), suffix);
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        if (readable)
            QVERIFY2(!reader.read().isNull(), qPrintable(reader.errorString()));

        KikMessage m;
        m.content_id = QStringLiteral("c0ffee");
        m.content_path = path;
        const KikMediaFile media = messageMediaFile(&m);
        QCOMPARE(media.path.isEmpty(), bytes.isEmpty());
        if (bytes.isEmpty())
            return;
        // A copy ends in the suffix of its type.
        const bool named = suffix.isEmpty() || suffix == QLatin1String("jpg");
        QCOMPARE(mediaCopyName(&m, media), named ? QStringLiteral("media.jpg") : QStringLiteral("media.jpg.") + suffix);
    }

    void filmsTellTheirLength()
    {
        QCOMPARE(videoSeconds(file(QStringLiteral("a"), KikFakeMedia::film(75, false))), 75);
        QCOMPARE(videoLengthText(75), QStringLiteral("1:15"));
        QCOMPARE(videoSeconds(file(QStringLiteral("b"), KikFakeMedia::film(3700, true))), 3700);
        QCOMPARE(videoLengthText(3700), QStringLiteral("1:01:40"));
        // Cut short, or boxes that claim more than the file holds: the length is not known.
        const QByteArray whole = KikFakeMedia::film(9, false);
        QCOMPARE(videoSeconds(file(QStringLiteral("c"), whole.left(whole.size() - 30))), -1);
        QByteArray lying = whole;
        lying[23] = '\x7F';   // the movie box claims far more than there is
        QCOMPARE(videoSeconds(file(QStringLiteral("d"), lying)), -1);
        QCOMPARE(videoSeconds(file(QStringLiteral("e"), KikFakeMedia::jpeg(Qt::blue))), -1);
        QCOMPARE(videoSeconds(env.path("missing")), -1);
    }
};

QTEST_GUILESS_MAIN(TestKikMedia)
#include "TestKikMedia.moc"
