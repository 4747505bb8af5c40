#include "TestEnv.h"
#include "TestFiles.h"

#include "workers/PlainFileCopy.h"

#include <QDir>
#include <QtTest>

// Copying the plain files of folders on a thread of its own: what is copied, what is kept,
// and what is left when the copy is dropped before it ends.
class TestPlainFileCopy : public QObject
{
    Q_OBJECT
    TestEnv env;

    static QStringList names(const QString &folder)
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

private slots:
    void copiesPlainFilesAndKeepsWhatIsThere()
    {
        const QString from = env.path("program/emoji");
        writeFileBytes(from + "/a.png", "a");
        writeFileBytes(from + "/.hidden", "h");
        writeFileBytes(from + "/b.png", "b");
        writeFileBytes(from + "/sub/inner.png", "not plain");
        const QString to = env.path("out/emoji");
        writeFileBytes(to + "/b.png", "the user's own");
        const QString other = env.path("out/other");
        QVERIFY(QDir().mkpath(other));

        // A missing source or target only leaves pictures out.
        PlainFileCopy copy({{from, to}, {env.path("program/missing"), other}, {from, env.path("out/no/such")}});
        copy.wait();
        QCOMPARE(names(to), (QStringList{".hidden", "a.png", "b.png"}));
        QCOMPARE(readFileBytes(to + "/a.png"), QByteArray("a"));
        QCOMPARE(readFileBytes(to + "/.hidden"), QByteArray("h"));
        QCOMPARE(readFileBytes(to + "/b.png"), QByteArray("the user's own"));
        QVERIFY(names(other).isEmpty());
        QVERIFY(!QFileInfo::exists(env.path("out/no")));
        copy.wait();   // a second wait has nothing left to do
    }

    void aDroppedCopyLeavesWholeFilesOnly()
    {
        const QString from = env.path("many/from");
        const QString to = env.path("many/to");
        QVERIFY(QDir().mkpath(to));
        for (int i = 0; i < 300; ++i)
            writeFileBytes(QStringLiteral("%1/%2.png").arg(from).arg(i, 3, 10, QLatin1Char('0')),
                           QByteArray(4096, char('a' + i % 26)));
        {
            PlainFileCopy copy({{from, to}});
        }   // stops after the file in hand
        const QStringList dropped = names(to);
        for (const QString &name : dropped)
            QCOMPARE(readFileBytes(to + "/" + name), readFileBytes(from + "/" + name));

        // Copying again adds the rest and keeps what is there.
        PlainFileCopy again({{from, to}});
        again.wait();
        QCOMPARE(names(to), names(from));
        QCOMPARE(treeOf(to), treeOf(from));
    }
};

QTEST_GUILESS_MAIN(TestPlainFileCopy)
#include "TestPlainFileCopy.moc"
