#include "TestEnv.h"

#include "app/DesktopServices.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QtTest>

// The desktop is replaced by URL handlers, so nothing is really opened.
class TestDesktopServices : public QObject
{
    Q_OBJECT
    TestEnv env;
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }

private slots:
    void init()
    {
        opened.clear();
        for (const char *scheme : {"file", "http", "https", "mailto"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "open");
    }

    void cleanup()
    {
        for (const char *scheme : {"file", "http", "https", "mailto"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }

    void openInExplorerUsesAnAbsoluteLocalPath()
    {
        const QString folder = env.path("pictures with blanks #1");
        QDir().mkpath(folder);
        QDir::setCurrent(env.home());
        openInExplorer(QStringLiteral("pictures with blanks #1"));
        QCOMPARE(opened.size(), 1);
        QVERIFY(opened.first().isLocalFile());
        QCOMPARE(opened.first().toLocalFile(), folder);
    }

    void shellOpenTellsDocumentsFromAddresses()
    {
        const QString document = env.path("chats(1)?.html");
        QFile file(document);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        shellOpen(document);
        shellOpen(QStringLiteral("http://127.0.0.1:9/tutorial/page.html?pid=1&x=%20y"));
        shellOpen(QStringLiteral("mailto:someone@example.invalid"));
        QCOMPARE(opened.size(), 3);
        QCOMPARE(opened.at(0).toLocalFile(), document);   // "?" belongs to the name, not a query
        QCOMPARE(opened.at(1).scheme(), QStringLiteral("http"));
        QCOMPARE(opened.at(1).path(), QStringLiteral("/tutorial/page.html"));
        QCOMPARE(opened.at(1).query(QUrl::FullyEncoded), QStringLiteral("pid=1&x=%20y"));
        QCOMPARE(opened.at(2).scheme(), QStringLiteral("mailto"));
    }
};

QTEST_MAIN(TestDesktopServices)
#include "TestDesktopServices.moc"
