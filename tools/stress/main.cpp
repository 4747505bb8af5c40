// stress-trial: kills parlewick-cli's import, export and transfer into a backup at random
// moments and races two imports, checking what each left (see scripts/stress.sh).
#include "StressTrials.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <stdexcept>

namespace {

// The runs' data folder lies in the work folder, never in the user's.
void useWorkHome(const QString &work)
{
    const QString home = QDir(work).filePath(QStringLiteral("home"));
    QDir().mkpath(home);
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_DATA_HOME", QDir(home).filePath(QStringLiteral(".local/share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", QDir(home).filePath(QStringLiteral(".config")).toUtf8());
    qputenv("XDG_CACHE_HOME", QDir(home).filePath(QStringLiteral(".cache")).toUtf8());
}

}   // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kills parlewick-cli at random moments and checks what it left."));
    parser.addHelpOption();
    const auto value = [&parser](const char *name, const char *what, const char *fallback = nullptr) {
        QCommandLineOption option(QLatin1String(name), QLatin1String(what), QStringLiteral("value"));
        if (fallback)
            option.setDefaultValue(QLatin1String(fallback));
        parser.addOption(option);
        return option;
    };
    const QCommandLineOption cli = value("cli", "parlewick-cli to run");
    const QCommandLineOption work = value("work", "scratch folder (emptied first)");
    const QCommandLineOption source = value("source", "Kik folder to import and transfer");
    const QCommandLineOption otherSource = value("other-source", "the Kik folder inside the backup");
    const QCommandLineOption backup = value("backup", "iTunes backup holding the other Kik folder");
    const QCommandLineOption thirdSource = value("third-source", "Kik folder transferred beside --source at once");
    const QCommandLineOption kinds =
        value("kinds", "comma-separated: import, export, transfer, writers, commit, concurrent, homes",
              "import,export,transfer,writers,commit,concurrent,homes");
    const QCommandLineOption trials = value("trials", "trials of each kind", "50");
    const QCommandLineOption seed = value("seed", "seed of the first trial; trial n uses seed + n", "1");
    const QCommandLineOption killAt = value("kill-at", "change, delay or both (alternating)", "both");
    parser.process(app);
    for (const QCommandLineOption &needed : {cli, work, source, otherSource, backup, thirdSource}) {
        if (!parser.isSet(needed)) {
            std::fprintf(stderr, "stress-trial: --%s is needed\n", qPrintable(needed.names().first()));
            return 2;
        }
    }
    const QString workFolder = QDir(parser.value(work)).absolutePath();
    QDir(workFolder).removeRecursively();
    QDir().mkpath(workFolder);
    useWorkHome(workFolder);

    int failed = 0;
    try {
        StressTrials stress({parser.value(cli), workFolder, parser.value(source), parser.value(otherSource), parser.value(backup),
                             parser.value(thirdSource)});
        const quint32 first = parser.value(seed).toUInt();
        const int count = parser.value(trials).toInt();
        const QString mode = parser.value(killAt);
        for (const QString &kind : parser.value(kinds).split(QLatin1Char(','))) {
            int kindFailed = 0;
            for (int n = 0; n < count; ++n) {
                const quint32 trialSeed = first + quint32(n);
                const KillAt at = mode == QLatin1String("change") || (mode == QLatin1String("both") && n % 2 == 0)
                                      ? KillAt::Change
                                      : KillAt::Delay;
                QStringList problems;
                if (kind == QLatin1String("import"))
                    problems = stress.importTrial(trialSeed, at);
                else if (kind == QLatin1String("export"))
                    problems = stress.exportTrial(trialSeed, at);
                else if (kind == QLatin1String("transfer"))
                    problems = stress.transferTrial(trialSeed, at);
                else if (kind == QLatin1String("writers"))
                    problems = stress.writersTrial(trialSeed);
                else if (kind == QLatin1String("commit"))
                    problems = stress.commitTrial(trialSeed);
                else if (kind == QLatin1String("concurrent") || kind == QLatin1String("homes"))
                    problems = stress.concurrentTrial(trialSeed, kind == QLatin1String("homes"));
                else
                    throw std::runtime_error("unknown kind " + kind.toStdString());
                std::printf("%s seed %u: %s, %s\n", qPrintable(kind), trialSeed, qPrintable(stress.lastRun()),
                            problems.isEmpty() ? "ok" : "FAILED");
                for (const QString &problem : std::as_const(problems))
                    std::printf("    %s\n", qPrintable(problem));
                std::fflush(stdout);
                kindFailed += problems.isEmpty() ? 0 : 1;
            }
            std::printf("%s: %d of %d trials failed\n", qPrintable(kind), kindFailed, count);
            failed += kindFailed;
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "stress-trial: %s\n", error.what());
        return 2;
    }
    return failed == 0 ? 0 : 1;
}
