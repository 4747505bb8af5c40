#include "TestEnv.h"

#include "app/FileUtils.h"

#include <QDir>
#include <QFile>
#include <QtTest>

class TestFileUtils : public QObject
{
    Q_OBJECT
    TestEnv env;

    static void touch(const QString &path)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    }

private slots:
    void sanitizeFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("reserved with suffix") << "con.txt"
                                              << "$$con$$.txt";
        QTest::newRow("reserved any case") << "Com3"
                                           << "$$Com3$$";
        QTest::newRow("reserved keeps only last suffix") << "nul.tar.gz"
                                                         << "$$nul$$.gz";
        QTest::newRow("reserved name keeps a clean suffix") << "aux.a/b:c"
                                                            << "$$aux$$.abc";
        QTest::newRow("LPT2 is an ordinary name") << "LPT2.txt"
                                                  << "LPT2.txt";
        QTest::newRow("LPT1 is reserved") << "lpt1"
                                          << "$$lpt1$$";
        QTest::newRow("forbidden characters and blanks") << " a:b*c? "
                                                         << "abc";
        QTest::newRow("every forbidden character") << "a\\b/c:d*e?f\"g<h>i|j\nk\rl\tm"
                                                   << "abcdefghijklm";
        QTest::newRow("inner blanks stay") << "Anna  Maria.jpg"
                                           << "Anna  Maria.jpg";
        QTest::newRow("con inside a word") << "icon.png"
                                           << "icon.png";
        QTest::newRow("parent folder") << ".."
                                       << "__";
        QTest::newRow("current folder") << " . "
                                        << "_";
        QTest::newRow("dots left after cleaning") << "./.."
                                                  << "___";
        QTest::newRow("slashes cannot climb") << "../../etc/passwd"
                                              << "....etcpasswd";
        QTest::newRow("unicode kept") << "Zoë 😀"
                                      << "Zoë 😀";
        QTest::newRow("NUL would cut the name") << QString::fromUtf8("Ann\0.pdf", 8) << "Ann.pdf";
        QTest::newRow("control characters") << "a\x01"
                                               "b\x1b[31mc\x7f\u0085d"
                                            << "ab[31mcd";
    }

    void sanitizeFileName()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QCOMPARE(::sanitizeFileName(name), expected);
    }

    void uniqueFilePath()
    {
        const QString dir = env.path("unique");
        QDir().mkpath(dir);
        const QString free = QDir(dir).filePath("free.txt");
        QCOMPARE(::uniqueFilePath(free), free);

        // Base before the first dot, suffix after the last: the middle part is dropped.
        touch(QDir(dir).filePath("x.tar.gz"));
        QCOMPARE(::uniqueFilePath(QDir(dir).filePath("x.tar.gz")), QDir(dir).filePath("x(1).gz"));
        touch(QDir(dir).filePath("x(1).gz"));
        QCOMPARE(::uniqueFilePath(QDir(dir).filePath("x.tar.gz")), QDir(dir).filePath("x(2).gz"));

        touch(QDir(dir).filePath("plain"));
        QCOMPARE(::uniqueFilePath(QDir(dir).filePath("plain")), QDir(dir).filePath("plain(1)"));

        // A folder of that name counts as taken too.
        QDir().mkpath(QDir(dir).filePath("sub.d"));
        QCOMPARE(::uniqueFilePath(QDir(dir).filePath("sub.d")), QDir(dir).filePath("sub(1).d"));

        // So does a link, even one to nothing: creating the file would follow it.
        QVERIFY(QFile::link(env.path("outside/target"), QDir(dir).filePath("link.txt")));
        QCOMPARE(::uniqueFilePath(QDir(dir).filePath("link.txt")), QDir(dir).filePath("link(1).txt"));
        QCOMPARE(::createUniqueFile(QDir(dir).filePath("link.txt")), QDir(dir).filePath("link(1).txt"));
        QVERIFY(QFileInfo::exists(QDir(dir).filePath("link(1).txt")));
        QVERIFY(!QFileInfo::exists(env.path("outside/target")));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, ::createUniqueFile(env.path("missing/folder/x.txt")));
    }

    void escapeHtml()
    {
        QString text = QStringLiteral("a<b>&\n");
        const QString copy = ::escapeHtml(text);
        QCOMPARE(copy, QStringLiteral("a&lt;b&gt;&amp;<br/>"));
        QCOMPARE(text, copy);   // the argument itself is changed

        // Ampersands go first, so entities already in the text are escaped once, not twice.
        QCOMPARE(::escapeHtml(QStringLiteral("&lt;\r\n\n")), QStringLiteral("&amp;lt;\r<br/><br/>"));
        QCOMPARE(::escapeHtml(QString()), QString());
        QCOMPARE(::escapeHtml(QStringLiteral("nothing to do \U0001F604")), QStringLiteral("nothing to do \U0001F604"));
        QCOMPARE(::escapeHtml(QStringLiteral("\n\U0001F604<<x&&>")), QStringLiteral("<br/>\U0001F604&lt;&lt;x&amp;&amp;&gt;"));
        QString plain = QStringLiteral("plain");
        QCOMPARE(::escapeHtml(plain), QStringLiteral("plain"));
        QCOMPARE(plain, QStringLiteral("plain"));
    }

    void md5Hex()
    {
        QCOMPARE(::md5Hex(QString()), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
        QCOMPARE(::md5Hex(QStringLiteral("abc")), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
        QCOMPARE(::md5Hex(QStringLiteral("é")), QStringLiteral("66ddcd97cfdeabb2f6fb8a999b4bc76f"));   // UTF-8 bytes
        QCOMPARE(::md5Hex(QByteArray("abc"), false), QStringLiteral("900150983cd24fb0d6963f7d28e17f72"));
        QCOMPARE(::md5Hex(QByteArray(), true), QStringLiteral("d41d8cd9-8f00-b204-e980-0998ecf8427e"));
    }

    void removeFolderTreeRemovesHiddenAndNested()
    {
        const QString root = env.path("doomed");
        touch(QDir(root).filePath("a.txt"));
        touch(QDir(root).filePath(".hidden"));
        touch(QDir(root).filePath("sub/deeper/b.bin"));
        touch(QDir(root).filePath("sub/.git/config"));
        QDir().mkpath(QDir(root).filePath("empty"));
        ::removeFolderTree(root);
        QVERIFY(!QFileInfo::exists(root));
    }

    void removeFolderTreeLeavesLinkTargets()
    {
        const QString outside = env.path("keep");
        touch(QDir(outside).filePath("precious.txt"));
        const QString root = env.path("withlink");
        QDir().mkpath(root);
        QVERIFY(QFile::link(outside, QDir(root).filePath("link")));
        ::removeFolderTree(root);
        QVERIFY(!QFileInfo::exists(root));
        QVERIFY(QFileInfo::exists(QDir(outside).filePath("precious.txt")));
    }

    void removeFolderTreeOnMissingFolderIsQuiet()
    {
        ::removeFolderTree(env.path("never-there"));
        QVERIFY(!QFileInfo::exists(env.path("never-there")));
    }

    void styleSheetComesFromResource()
    {
        const QString sheet = ::styleSheet();
        QVERIFY(sheet.contains(QLatin1String("#MainWindow")));
        QVERIFY(sheet.contains(QLatin1String(":main_bg.png")));
        QCOMPARE(::styleSheet(), sheet);
        // Every colour role named in the sheet is filled in.
        QVERIFY2(!sheet.contains(QLatin1Char('@')), qPrintable(sheet.mid(sheet.indexOf(QLatin1Char('@')), 40)));
    }
};

QTEST_GUILESS_MAIN(TestFileUtils)
#include "TestFileUtils.moc"
