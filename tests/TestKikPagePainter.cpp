#include "TestEnv.h"

#include "KikDataBuilder.h"
#include "views/KikBubbleArt.h"
#include "views/KikPagePainter.h"

#include <QBuffer>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QtTest>

namespace {

using Placement = KikPagePainter::Placement;

const QDateTime T0(QDate(2020, 5, 17), QTime(14, 30, 5), QTimeZone::utc());

// Draws messages on A4 PDF pages at screen resolution and keeps every block put on a page.
class PaintedPages
{
public:
    explicit PaintedPages(const KikBubbleArt &art = KikBubbleArt::instance())
        : writer(&buffer)
        , painter(art)
    {
        buffer.open(QIODevice::WriteOnly);
        writer.setResolution(96);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
        painter.setPlacementObserver([this](const Placement &p) { placements.append(p); });
    }

    void paint(const QList<KikMessage *> &messages)
    {
        QVERIFY(painter.start(&writer));
        for (const KikMessage *message : messages)
            painter.draw(message);
        painter.end();
    }

    QList<Placement> of(Placement::Kind kind) const
    {
        QList<Placement> result;
        for (const Placement &p : placements) {
            if (p.kind == kind)
                result.append(p);
        }
        return result;
    }

    QBuffer buffer;
    QPdfWriter writer;
    KikPagePainter painter;
    QList<Placement> placements;
};

QString writePicture(const QString &path, int width, int height, const char *format)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(200, 30, 30));
    image.save(path, format);
    return path;
}

}   // namespace

class TestKikPagePainter : public QObject
{
    Q_OBJECT
    TestEnv env;

private slots:
    void contentRectangleComesFromTheMarginsAndFirstPageIsNumbered()
    {
        PaintedPages pages;
        pages.paint({});
        const QRect content = pages.painter.contentRect();
        // 20 points of margin, taken once by the page rectangle and once more as pixels.
        const QRect paintRect = pages.writer.pageLayout().paintRectPixels(96);
        QCOMPARE(content.topLeft(), QPoint(20, 20));
        QCOMPARE(content.width(), paintRect.width() - 40);
        QCOMPARE(content.height(), paintRect.height() - 40);
        const QList<Placement> numbers = pages.of(Placement::PageNumber);
        QCOMPARE(numbers.size(), 1);
        QCOMPARE(numbers.first().text, QStringLiteral("1"));
        QCOMPARE(numbers.first().rect, QRect(content.left(), content.bottom() + 2, content.width(), 18));
        QCOMPARE(numbers.first().pen, QColor(146, 146, 165));
    }

    void picturesAreScaledToTwoHundredAlongTheirLongerSide()
    {
        QCOMPARE(KikPagePainter::scalePicture(QImage(400, 300, QImage::Format_RGB32)).size(), QSize(200, 150));
        QCOMPARE(KikPagePainter::scalePicture(QImage(100, 500, QImage::Format_RGB32)).size(), QSize(40, 200));
        QCOMPARE(KikPagePainter::scalePicture(QImage(300, 300, QImage::Format_RGB32)).size(), QSize(200, 200));
        QCOMPARE(KikPagePainter::scalePicture(QImage(120, 90, QImage::Format_RGB32)).size(), QSize(120, 90));

        // On the page: the picture inside its bubble, read as JPEG or PNG whatever its name says.
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *chat = build.addChat(build.addUser(QStringLiteral("Ann")));
        const QString wide = writePicture(env.path(QStringLiteral("wide.png")), 400, 300, "PNG");
        const QString tall = writePicture(env.path(QStringLiteral("tall.dat")), 100, 500, "JPEG");
        PaintedPages pages;
        pages.paint({build.addPicture(chat, T0, wide, false), build.addPicture(chat, T0, tall, true),
                     build.addPicture(chat, T0, env.path(QStringLiteral("missing.jpg")), false)});
        const QList<Placement> pictures = pages.of(Placement::Picture);
        QCOMPARE(pictures.size(), 3);
        QCOMPARE(pictures.at(0).content.size(), QSize(200, 150));
        QCOMPARE(pictures.at(0).rect.size(), QSize(200 + 16 + 10, 150 + 7 + 8));
        QCOMPARE(pictures.at(1).content.size(), QSize(40, 200));
        QCOMPARE(pictures.at(1).rect.size(), QSize(150, 200 + 7 + 8));   // never narrower than 150
        // A preview that cannot be read shows the stand-in picture.
        QCOMPARE(pictures.at(2).content.size(), KikBubbleArt::instance().emptyPhoto().size());
        QVERIFY(!KikBubbleArt::instance().emptyPhoto().isNull());
    }

    void textBubblesHaveAMinimumSizeAndBlankTextHasNone()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *chat = build.addChat(build.addUser(QStringLiteral("Ann")));
        KikMessage *card = build.addMessage(chat, T0, QString(), false);
        card->app_id = QStringLiteral("com.kik.cards");
        card->sub_app_id = QStringLiteral("viral videos");
        card->preview_path = writePicture(env.path(QStringLiteral("card.jpg")), 80, 60, "JPEG");
        card->attachment.insert(QStringLiteral("string:title"), QStringLiteral("A funny video"));
        KikMessage *sticker = build.addMessage(chat, T0, QString(), false);
        sticker->app_id = QStringLiteral("com.kik.cards");
        sticker->sub_app_id = QStringLiteral("Stickers");
        sticker->preview_path = card->preview_path;

        PaintedPages pages;
        pages.paint({build.addMessage(chat, T0, QStringLiteral("ok"), false),
                     build.addMessage(chat, T0, QStringLiteral("  \n\t "), true), card, sticker});
        const QList<Placement> texts = pages.of(Placement::Text);
        QCOMPARE(texts.size(), 2);   // "ok" and the card's title; blanks draw nothing
        QCOMPARE(texts.at(0).text, QStringLiteral("ok"));
        QCOMPARE(texts.at(0).rect.width(), 150);
        QVERIFY(texts.at(0).rect.height() >= 16);
        QVERIFY(texts.at(0).content.width() < 150 - 26);
        QCOMPARE(texts.at(1).text, QStringLiteral("A funny video"));
        const QList<Placement> pictures = pages.of(Placement::Picture);
        QCOMPARE(pictures.size(), 2);   // the card (before its title) and the sticker
        QVERIFY(pictures.at(0).rect.bottom() < texts.at(1).rect.top());
        QCOMPARE(pages.of(Placement::DateLine).size(), 1);
    }

    void sentBubblesTouchTheRightEdgeAndReceivedTheLeft()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *chat = build.addChat(build.addUser(QStringLiteral("Ann")));
        PaintedPages pages;
        pages.paint({build.addMessage(chat, T0, QStringLiteral("from me"), true),
                     build.addMessage(chat, T0, QStringLiteral("to me"), false)});
        const QList<Placement> texts = pages.of(Placement::Text);
        const QRect content = pages.painter.contentRect();
        QCOMPARE(texts.size(), 2);
        QCOMPARE(texts.at(0).rect.right(), content.right());
        QCOMPARE(texts.at(0).content.left(), texts.at(0).rect.left() + 10);   // sent padding
        QCOMPARE(texts.at(1).rect.left(), content.left());
        QCOMPARE(texts.at(1).content.left(), texts.at(1).rect.left() + 16);   // received padding
        QCOMPARE(texts.at(1).rect.top(), texts.at(0).rect.bottom() + 1 + 10);
    }

    void longTextIsWrappedWithinEightyPercentOfTheContent()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *chat = build.addChat(build.addUser(QStringLiteral("Ann")));
        const QString words = QStringLiteral("word ").repeated(200);
        const QString unbroken = QStringLiteral("x").repeated(400);
        PaintedPages pages;
        pages.paint({build.addMessage(chat, T0, words, false), build.addMessage(chat, T0, unbroken, true)});
        const QList<Placement> texts = pages.of(Placement::Text);
        const int limit = int(pages.painter.contentRect().width() * 0.8);
        QCOMPARE(texts.size(), 2);
        for (const Placement &text : texts) {
            QVERIFY2(text.rect.width() <= limit, qPrintable(QString::number(text.rect.width())));
            QVERIFY(text.rect.width() > limit - 60);
            QVERIFY(text.content.height() > 3 * QFontMetrics(QFont()).height());
        }
    }

    void groupMessagesFromOthersNameTheirSender()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikUser *bob = build.addUser(QStringLiteral("Bob"));
        KikChat *group = build.addChat(build.addGroup(QStringLiteral("Friends"), {bob}));
        KikChat *single = build.addChat(bob);
        PaintedPages pages;
        pages.paint({build.addMessage(group, T0, QStringLiteral("hello"), false, bob),
                     build.addMessage(group, T0, QStringLiteral("hello"), true, bob),
                     build.addMessage(single, T0, QStringLiteral("hello"), false, bob)});
        const QList<Placement> texts = pages.of(Placement::Text);
        QCOMPARE(texts.size(), 3);
        const int share = texts.at(0).content.top() - texts.at(0).rect.top() - 7;
        QVERIFY(share > 6);
        QCOMPARE(texts.at(0).rect.height(), texts.at(2).rect.height() + share);
        QCOMPARE(texts.at(1).content.top() - texts.at(1).rect.top(), 7);   // sent: no name
        QCOMPARE(texts.at(2).content.top() - texts.at(2).rect.top(), 7);   // not a group: no name
    }

    void dateLinesFollowTheMinuteAlsoAcrossAPageBreak()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *chat = build.addChat(build.addUser(QStringLiteral("Ann")));
        QList<KikMessage *> messages;
        for (int i = 0; i < 40; ++i)   // all within one minute, more than a page
            messages.append(build.addMessage(chat, T0.addMSecs(i * 100), QStringLiteral("line %1").arg(i), i % 2));
        messages.append(build.addMessage(chat, T0.addSecs(60), QStringLiteral("a minute later"), false));
        PaintedPages pages;
        pages.paint(messages);

        const QList<Placement> dates = pages.of(Placement::DateLine);
        QCOMPARE(dates.size(), 2);
        QCOMPARE(dates.at(0).text, QStringLiteral("17 May 2020 @ 02:30 PM"));
        QCOMPARE(dates.at(0).pen, QColor(143, 150, 157));
        QCOMPARE(dates.at(0).rect.left(), 10);
        QCOMPARE(dates.at(0).rect.right(), pages.painter.contentRect().right() - 10);
        QCOMPARE(dates.at(1).text, QStringLiteral("17 May 2020 @ 02:31 PM"));
        QVERIFY(dates.at(1).page > 1);

        const QList<Placement> numbers = pages.of(Placement::PageNumber);
        QVERIFY(numbers.size() >= 2);
        QCOMPARE(numbers.size(), pages.painter.pageNumber());
        // Later pages show their number in the pen the last date line left behind.
        QCOMPARE(numbers.at(1).text, QStringLiteral("2"));
        QCOMPARE(numbers.at(1).pen, QColor(143, 150, 157));

        const QRect content = pages.painter.contentRect();
        int lastPage = 1;
        for (const Placement &text : pages.of(Placement::Text)) {
            QVERIFY(text.page >= lastPage);
            if (text.page > lastPage)
                QCOMPARE(text.rect.top(), content.top());   // a new page starts at the top
            QVERIFY(text.rect.bottom() <= content.bottom());
            lastPage = text.page;
        }
        QCOMPARE(lastPage, pages.painter.pageNumber());
    }

    void textTallerThanAPageGoesOnInFurtherBubbles()
    {
        KikDataSet set;
        KikDataBuilder build(set);
        KikUser *bob = build.addUser(QStringLiteral("Bob"));
        KikChat *group = build.addChat(build.addGroup(QStringLiteral("Friends"), {bob}));
        QStringList lines;
        for (int i = 0; i < 150; ++i)
            lines.append(QStringLiteral("line %1").arg(i));
        PaintedPages pages;
        pages.paint({build.addMessage(group, T0, lines.join(QLatin1Char('\n')), false, bob)});
        const QList<Placement> texts = pages.of(Placement::Text);
        QVERIFY(texts.size() >= 3);
        const QRect content = pages.painter.contentRect();
        int lines_height = 0;
        for (qsizetype i = 0; i < texts.size(); ++i) {
            QCOMPARE(texts.at(i).page, int(i) + 1 + (texts.at(0).page - 1));
            QVERIFY(texts.at(i).rect.bottom() <= content.bottom());
            lines_height += texts.at(i).content.height();
        }
        // Only the first piece carries the sender's name.
        QVERIFY(texts.at(0).content.top() - texts.at(0).rect.top() > 7);
        QCOMPARE(texts.at(1).content.top() - texts.at(1).rect.top(), 7);
        QVERIFY(lines_height >= 150 * QFontMetrics(QFont()).height());
    }

    void missingBubblePicturesLeaveBubblesWithoutAFrame()
    {
        KikBubbleArt bare(env.path(QStringLiteral("no-such-folder")));
        KikDataSet set;
        KikDataBuilder build(set);
        KikChat *chat = build.addChat(build.addUser(QStringLiteral("Ann")));
        KikMessage *picture = build.addPicture(chat, T0, env.path(QStringLiteral("missing.jpg")), false);
        PaintedPages pages(bare);
        pages.paint({build.addMessage(chat, T0, QStringLiteral("still printed"), false), picture});
        QCOMPARE(pages.of(Placement::Text).size(), 1);
        QCOMPARE(pages.of(Placement::Picture).size(), 0);   // neither the preview nor the stand-in
    }

    void aDeviceThatCannotBePaintedDrawsNothing()
    {
        QPdfWriter writer(env.path(QStringLiteral("no/such/folder/out.pdf")));
        KikPagePainter painter;
        QList<Placement> placed;
        painter.setPlacementObserver([&placed](const Placement &p) { placed.append(p); });
        QVERIFY(!painter.start(&writer));
        KikDataSet set;
        KikDataBuilder build(set);
        painter.draw(build.addMessage(build.addChat(build.addUser(QStringLiteral("Ann"))), T0, QStringLiteral("x"), false));
        painter.end();
        QVERIFY(placed.isEmpty());
    }
};

QTEST_MAIN(TestKikPagePainter)
#include "TestKikPagePainter.moc"
