// Every fuzz target replays its committed corpus (seeds and the reproducers of faults fuzzing
// found) in every build, without libFuzzer: a parser that crashes again fails here.
#include "TestEnv.h"

#include <QDir>
#include <QProcess>
#include <QTest>

class TestFuzzReplay : public QObject
{
    Q_OBJECT

private slots:
    void everyTargetHasACorpus();
    void corpusReplays_data();
    void corpusReplays();
};

namespace {

QString fuzzSource()
{
    return TestEnv::sourceDir() + QStringLiteral("/fuzz");
}

// Target names from the sources: fuzz/FuzzTinyKv.cpp is "tinykv".
QStringList targetNames()
{
    QStringList names;
    const QStringList sources = QDir(fuzzSource()).entryList({QStringLiteral("Fuzz*.cpp")}, QDir::Files);
    for (const QString &source : sources) {
        const QString name = source.mid(4, source.size() - 8).toLower();
        if (name != QLatin1String("input") && name != QLatin1String("replaymain"))
            names.append(name);
    }
    return names;
}

}   // namespace

void TestFuzzReplay::everyTargetHasACorpus()
{
    const QStringList names = targetNames();
    QVERIFY(names.size() >= 12);
    const QStringList corpora = QDir(fuzzSource() + QStringLiteral("/corpus")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(corpora, names);   // both sorted by name
}

void TestFuzzReplay::corpusReplays_data()
{
    QTest::addColumn<QString>("target");
    for (const QString &name : targetNames())
        QTest::newRow(qPrintable(name)) << name;
}

void TestFuzzReplay::corpusReplays()
{
    QFETCH(QString, target);
    TestEnv env;
    const QString corpus = fuzzSource() + QStringLiteral("/corpus/") + target;
    QVERIFY2(!QDir(corpus).isEmpty(QDir::Files), qPrintable(corpus));
    QProcess replay;
    replay.setProcessChannelMode(QProcess::MergedChannels);
    replay.start(TestEnv::binaryDir() + QStringLiteral("/bin/fuzz-replay-") + target, {corpus});
    QVERIFY2(replay.waitForFinished(-1), qPrintable(replay.errorString()));
    const QByteArray output = replay.readAll();
    // A crash or a failed check (abort) names the input it happened on as the last line.
    QVERIFY2(replay.exitStatus() == QProcess::NormalExit && replay.exitCode() == 0, output.right(2000).constData());
    QVERIFY2(
        output.contains(QByteArray("replayed ") + QByteArray::number(QDir(corpus).entryList(QDir::Files).size()) + " inputs"),
        output.right(2000).constData());
}

QTEST_GUILESS_MAIN(TestFuzzReplay)
#include "TestFuzzReplay.moc"
