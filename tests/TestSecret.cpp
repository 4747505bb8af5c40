#include "app/Secret.h"

#include <QtTest>

#include <functional>

namespace {

QByteArray bytesOf(const Secret &secret)
{
    return secret.bytes().toByteArray();
}

}   // namespace

class TestSecret : public QObject
{
    Q_OBJECT

private slots:
    // Each way a secret changes hands: what the holder ends with and what the source keeps.
    void handingOn_data()
    {
        QTest::addColumn<std::function<Secret(Secret &)>>("hand");
        QTest::addColumn<QByteArray>("sourceKeeps");
        QTest::newRow("moved") << std::function<Secret(Secret &)>([](Secret &s) { return std::move(s); }) << QByteArray();
        QTest::newRow("moved over another") << std::function<Secret(Secret &)>([](Secret &s) {
            Secret held = Secret::fromUtf8("older");
            held = std::move(s);
            return held;
        }) << QByteArray();
        QTest::newRow("cloned") << std::function<Secret(Secret &)>([](const Secret &s) { return s.clone(); })
                                << QByteArray("p\xc3\xa4ss");
    }

    void handingOn()
    {
        QFETCH(std::function<Secret(Secret &)>, hand);
        QFETCH(QByteArray, sourceKeeps);
        Secret source = Secret::fromUtf8("p\xc3\xa4ss");
        Secret holder = hand(source);
        QCOMPARE(bytesOf(holder), QByteArray("p\xc3\xa4ss"));
        QCOMPARE(bytesOf(source), sourceKeeps);
        QCOMPARE(source.isEmpty(), sourceKeeps.isEmpty());
        // Dropping one holder leaves the other as it was.
        holder.reset();
        QVERIFY(holder.isEmpty());
        QCOMPARE(bytesOf(source), sourceKeeps);
    }

    // A typed text becomes its UTF-8 bytes and is emptied; only a text of its own is wiped in place.
    void typedTextIsTaken_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::newRow("plain") << QStringLiteral("secret");
        QTest::newRow("beyond Latin-1") << QStringLiteral("\u00e9t\u00e9 \U0001F511");
        QTest::newRow("empty") << QString();
    }

    void typedTextIsTaken()
    {
        QFETCH(QString, typed);
        QString text = typed;
        text.detach();
        const Secret secret = Secret::takeText(text);
        QVERIFY(text.isEmpty());
        QCOMPARE(bytesOf(secret), typed.toUtf8());
        // The copy this test kept shares nothing with the text that was wiped.
        QCOMPARE(typed.isEmpty(), secret.isEmpty());

        QString shared = typed;
        QString other = shared;
        wipeText(shared);
        QVERIFY(shared.isEmpty());
        QCOMPARE(other, typed);
    }
};

QTEST_GUILESS_MAIN(TestSecret)
#include "TestSecret.moc"
