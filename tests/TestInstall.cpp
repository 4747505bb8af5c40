#include "TestEnv.h"

#include "app/AppConstants.h"
#include "cli/CliCommand.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

// Installs the build into a temporary root and runs the programs from there, as a package
// would place them: libraries through the programs' RPATH, pictures from share/parlewick.
class TestInstall : public QObject
{
    Q_OBJECT
    TestEnv env;
    QString root;

    struct Run
    {
        int code = -1;
        QString out;
        QString err;
    };

    // A bare environment: nothing of the build folder may help the installed programs.
    Run run(const QString &program, const QStringList &arguments, const QString &workDir = QString())
    {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        environment.insert(QStringLiteral("HOME"), env.home());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        QProcess process;
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(workDir.isEmpty() ? env.home() : workDir);
        process.start(program, arguments);
        Run result;
        if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit)
            result.code = process.exitCode();
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    QString installed(const QString &relative) const { return QDir(root).filePath(relative); }

    // What bash offers for the words typed so far (the last one being completed).
    QStringList complete(const QStringList &words, const QString &workDir)
    {
        QStringList quoted;
        for (const QString &word : words)
            quoted << QLatin1Char('\'') + word + QLatin1Char('\'');
        const QString script =
            QStringLiteral("source '%1'; COMP_WORDS=(%2); COMP_CWORD=%3; _parlewick_cli; "
                           "printf '%s\\n' \"${COMPREPLY[@]}\"")
                .arg(installed(QStringLiteral("share/bash-completion/completions/parlewick-cli")), quoted.join(QLatin1Char(' ')))
                .arg(words.size() - 1);
        const Run result = run(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), script}, workDir);
        return result.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private slots:
    void initTestCase()
    {
        root = env.path(QStringLiteral("root"));
        QProcess install;
        install.start(QStringLiteral(PARLEWICK_CMAKE_COMMAND),
                      {QStringLiteral("--install"), TestEnv::binaryDir(), QStringLiteral("--prefix"), root});
        QVERIFY(install.waitForFinished(300000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
    }

    void programsStartFromTheInstalledTree()
    {
        Run cli = run(installed(QStringLiteral("bin/parlewick-cli")), {QStringLiteral("version")});
        QCOMPARE(cli.code, 0);
        QCOMPARE(cli.out, QStringLiteral("Parlewick %1\n").arg(AppConstants::ProductVersion));
        Run program = run(installed(QStringLiteral("bin/parlewick")), {QStringLiteral("--version")});
        QVERIFY2(program.code == 0, qPrintable(program.err));
        QCOMPARE(program.out, QStringLiteral("parlewick %1\n").arg(AppConstants::ProductVersion));
    }

    void installedProgramFindsItsPictures()
    {
        const QString kik = env.path(QStringLiteral("kik/Documents"));
        QVERIFY(!TestEnv::copyFixture(QStringLiteral("kik_ios.sqlite"), kik).isEmpty());
        QVERIFY(QFile::rename(QDir(kik).filePath(QStringLiteral("kik_ios.sqlite")),
                              QDir(kik).filePath(QStringLiteral("kik.sqlite"))));
        const Run exported =
            run(installed(QStringLiteral("bin/parlewick-cli")),
                {QStringLiteral("export"), QStringLiteral("--kik"), env.path(QStringLiteral("kik")), QStringLiteral("--format"),
                 QStringLiteral("html"), QStringLiteral("--out"), env.path(QStringLiteral("out/chats.html"))});
        QVERIFY2(exported.code == 0, qPrintable(exported.err));
        const QDir pages(env.path(QStringLiteral("out/chats-html")));
        QVERIFY(pages.exists(QStringLiteral("files/style.css")));
        QVERIFY(pages.exists(QStringLiteral("files/bb1_05.png")));
        // Every emoji picture the pages show lies beside them, and only those.
        QSet<QString> shown;
        for (const QString &page : pages.entryList({QStringLiteral("*.html")})) {
            QFile file(pages.filePath(page));
            QVERIFY(file.open(QIODevice::ReadOnly));
            static const QRegularExpression picture(QStringLiteral("src=\"((kik)?emoji/[^\"]+)\""));
            for (const QRegularExpressionMatch &match : picture.globalMatch(QString::fromUtf8(file.readAll())))
                shown.insert(match.captured(1));
        }
        QVERIFY(shown.size() > 1);
        QStringList copied;
        for (const QString folder : {"emoji", "kikemoji"}) {
            for (const QString &name : QDir(pages.filePath(folder)).entryList(QDir::Files))
                copied << folder + QLatin1Char('/') + name;
        }
        QCOMPARE(QSet<QString>(copied.begin(), copied.end()), shown);
    }

    void desktopFilesPassTheirChecks()
    {
        const QString id = QLatin1String(AppConstants::DesktopId);
        const Run desktop = run(QStringLiteral("/usr/bin/desktop-file-validate"),
                                {installed(QStringLiteral("share/applications/%1.desktop").arg(id))});
        QVERIFY2(desktop.code == 0 && desktop.out.isEmpty(), qPrintable(desktop.out + desktop.err));
        const Run metainfo =
            run(QStringLiteral("/usr/bin/appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                                          installed(QStringLiteral("share/metainfo/%1.metainfo.xml").arg(id))});
        QVERIFY2(metainfo.code == 0, qPrintable(metainfo.out + metainfo.err));
        QVERIFY(QFile::exists(installed(QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(id))));
        for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
            const QImage icon(installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(id)));
            QCOMPARE(icon.size(), QSize(size, size));
        }
    }

    void manualAndCompletionKnowEveryCommand()
    {
        QFile manual(installed(QStringLiteral("share/man/man1/parlewick-cli.1")));
        QVERIFY(manual.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(manual.readAll());
        const QStringList commands = complete({QStringLiteral("parlewick-cli"), QString()}, env.home());
        for (const auto &command : CliRegistry::commands()) {
            QVERIFY2(page.contains(QStringLiteral(".SS \"parlewick\\-cli ") + command->name()), qPrintable(command->name()));
            QVERIFY2(commands.contains(command->name()), qPrintable(command->name()));
            const QStringList offered =
                complete({QStringLiteral("parlewick-cli"), command->name(), QStringLiteral("--")}, env.home());
            for (const QCommandLineOption &option : command->options()) {
                const QString name = QStringLiteral("--") + option.names().constLast();
                QVERIFY2(offered.contains(name), qPrintable(command->name() + QLatin1Char(' ') + name));
                QVERIFY2(page.contains(QStringLiteral("\\fB") + QString(name).replace(QLatin1Char('-'), QStringLiteral("\\-"))),
                         qPrintable(name));
            }
        }
        // A file after an option that names one; nothing after one that takes a name.
        QDir().mkpath(env.path(QStringLiteral("typing/notes")));
        QFile(env.path(QStringLiteral("typing/pw.txt"))).open(QIODevice::WriteOnly);
        const QString typing = env.path(QStringLiteral("typing"));
        QCOMPARE(complete({QStringLiteral("parlewick-cli"), QStringLiteral("extract"), QStringLiteral("--password-file"),
                           QStringLiteral("p")},
                          typing),
                 QStringList{QStringLiteral("pw.txt")});
        QCOMPARE(complete({QStringLiteral("parlewick-cli"), QStringLiteral("show"), QStringLiteral("--kik"), QString()}, typing),
                 QStringList{QStringLiteral("notes")});
        QCOMPARE(complete({QStringLiteral("parlewick-cli"), QStringLiteral("show"), QStringLiteral("--chat"), QString()}, typing),
                 QStringList());
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "TestInstall.moc"
