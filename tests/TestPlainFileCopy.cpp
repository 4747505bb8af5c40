#include "TestEnv.h"
#include "TestFiles.h"

#include "workers/PlainFileCopy.h"

#include <QDir>
#include <QtTest>

// Copying the plain files of a folder: what is copied and what is kept.
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
        copyPlainFiles(from, to);
        copyPlainFiles(env.path("program/missing"), other);
        copyPlainFiles(from, env.path("out/no/such"));
        QCOMPARE(names(to), (QStringList{".hidden", "a.png", "b.png"}));
        QCOMPARE(readFileBytes(to + "/a.png"), QByteArray("a"));
        QCOMPARE(readFileBytes(to + "/.hidden"), QByteArray("h"));
        QCOMPARE(readFileBytes(to + "/b.png"), QByteArray("the user's own"));
        QVERIFY(names(other).isEmpty());
        QVERIFY(!QFileInfo::exists(env.path("out/no")));
    }
};

QTEST_GUILESS_MAIN(TestPlainFileCopy)
#include "TestPlainFileCopy.moc"
