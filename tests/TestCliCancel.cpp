// Ctrl-C while parlewick-cli is still loading its source (an encrypted backup asking for its
// password or deriving its key, a device backup of a phone made by Debian's idevicebackup2) ends
// as a Ctrl-C during a command's work does: exit code 130, "Canceled." on stderr, no result and
// no half backup.

#include "DeviceBackupPlace.h"
#include "SimulatedPhones.h"
#include "TestEnv.h"
#include "TestFiles.h"

#include "ItunesBackupBuilder.h"
#include "KikBackupFixture.h"
#include "app/AppFolders.h"
#include "device/TempBackupFolder.h"
#include "kikstore/KikStoreGenerator.h"

#include <QDir>
#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

const QString kUdid = QStringLiteral("00008110-000A1B2C3D4E5F90");   // Kik from the App Store: no container

// parlewick-cli in a process group of its own, as a shell starts a job: a Ctrl-C at the
// terminal reaches the whole group, the backup tool it runs included. Its standard input is the
// terminal named, if any.
class CliJob
{
public:
    explicit CliJob(const QStringList &arguments, const QByteArray &terminal = QByteArray())
    {
        m_process.setChildProcessModifier([terminal] {
            ::setpgid(0, 0);
            if (!terminal.isEmpty())
                ::dup2(::open(terminal.constData(), O_RDWR | O_NOCTTY), STDIN_FILENO);
        });
        m_process.start(TestEnv::binaryDir() + QStringLiteral("/bin/parlewick-cli"), arguments);
    }

    void pressCtrlC() { ::kill(-pid_t(m_process.processId()), SIGINT); }

    QString err()
    {
        m_err += QString::fromUtf8(m_process.readAllStandardError());
        return m_err;
    }

    // Waits for the end; true when it ended as a cancel should.
    bool endedCanceled()
    {
        if (!m_process.waitForFinished(120000))
            return fail(QStringLiteral("did not end"));
        err();
        const QByteArray out = m_process.readAllStandardOutput();
        if (m_process.exitStatus() != QProcess::NormalExit)
            return fail(QStringLiteral("ended by a signal"));
        // Notes may come first (the phone keeps Kik's container closed); the last line says it.
        const QString lastLine = m_err.trimmed().section(QLatin1Char('\n'), -1);
        if (m_process.exitCode() != 130 || !out.isEmpty() || lastLine != QLatin1String("Canceled."))
            return fail(QStringLiteral("exit code %1, stdout %2").arg(m_process.exitCode()).arg(QString::fromUtf8(out)));
        return true;
    }
    QString why() const { return m_why; }

private:
    bool fail(const QString &why)
    {
        m_why = why + QStringLiteral(", stderr: ") + m_err;
        return false;
    }

    QProcess m_process;
    QString m_err;
    QString m_why;
};

}   // namespace

class TestCliCancel : public QObject
{
    Q_OBJECT
    TestEnv env;
    SimulatedPhones sim{env.path(QStringLiteral("phones"))};
    QString m_encrypted = env.path(QStringLiteral("encrypted"));

private slots:
    void initTestCase()
    {
        QVERIFY(env.isValid());
        qunsetenv("PARLEWICK_BACKUP_PASSWORD");
        QVERIFY(QDir().mkpath(env.path(QStringLiteral("tmp"))));
        qputenv("TMPDIR", env.path(QStringLiteral("tmp")).toUtf8());
        QVERIFY(QDir().mkpath(dataFolder()) && QDir().mkpath(env.path(QStringLiteral("backuproot"))));
        keepDeviceBackupsIn(env.path(QStringLiteral("backuproot/") + QLatin1String(TempBackupFolderName)));
        KikStoreOptions options;
        options.chats = 2;
        options.messagesPerChat = 3;
        ItunesBackupBuilder builder;
        builder.setPassword(QStringLiteral("secret"));
        builder.setKeybagFormat(ItunesBackupBuilder::KeybagFormat::Modern, 2000000);
        addKikToBackup(builder, KikStoreGenerator(options).generate(env.path(QStringLiteral("kik"))).rootFolder,
                       KikFixturePlace::Documents);
        builder.build(m_encrypted);
    }

    void atThePasswordPrompt()
    {
        const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
        const QByteArray typing = ::ptsname(terminal);
        CliJob job({QStringLiteral("show"), QStringLiteral("--backup"), m_encrypted}, typing);
        QTRY_VERIFY_WITH_TIMEOUT(job.err().contains(QLatin1String("Backup password: ")), 30000);
        job.pressCtrlC();
        QVERIFY2(job.endedCanceled(), qPrintable(job.why()));
        // The terminal echoes again.
        const int slave = ::open(typing.constData(), O_RDWR | O_NOCTTY);
        termios settings{};
        QCOMPARE(::tcgetattr(slave, &settings), 0);
        QVERIFY(settings.c_lflag & ECHO);
        ::close(slave);
        ::close(terminal);
    }

    void whileAnEncryptedBackupDerivesItsKey()
    {
        // The password comes through a pipe: its reader opening it is the tool reporting that
        // it loads the backup, and the key derivation follows as soon as it is written.
        const QString password = env.path(QStringLiteral("password"));
        QCOMPARE(::mkfifo(QFile::encodeName(password).constData(), 0600), 0);

        CliJob job(
            {QStringLiteral("show"), QStringLiteral("--backup"), m_encrypted, QStringLiteral("--password-file"), password});
        int pipe = -1;
        const auto readerWaits = [&] {
            if (pipe < 0)
                pipe = ::open(QFile::encodeName(password).constData(), O_WRONLY | O_NONBLOCK);
            return pipe >= 0;
        };
        QTRY_VERIFY_WITH_TIMEOUT(readerWaits(), 30000);
        QCOMPARE(::write(pipe, "secret\n", 7), 7);
        ::close(pipe);
        job.pressCtrlC();
        QVERIFY2(job.endedCanceled(), qPrintable(job.why()));
    }

    void whileThePhoneIsBackedUp()
    {
        // The phone waits for its passcode: the backup is under way until the Ctrl-C.
        PhoneSetup locked(kUdid, PhoneKik::AppStore);
        locked.faults = {{QStringLiteral("DeviceLocked"), true}, {QStringLiteral("PasscodeTimeout"), 120}};
        const SimPhoneFolder phone = sim.add(locked).folder;
        sim.start();

        CliJob job({QStringLiteral("show"), QStringLiteral("--device"), kUdid});
        const auto backupAsked = [&] {
            for (const QJsonObject &entry : phone.received()) {
                if (QJsonDocument(entry).toJson().contains("\"Backup\""))
                    return true;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(backupAsked(), 60000);
        job.pressCtrlC();
        QVERIFY2(job.endedCanceled(), qPrintable(job.why()));
        // Half a backup is not kept to pass for the phone's data later.
        QVERIFY(!QFileInfo::exists(env.path(QStringLiteral("backuproot/%1/%2")).arg(QLatin1String(TempBackupFolderName), kUdid)));
        phone.setFaults({});
    }
};

QTEST_GUILESS_MAIN(TestCliCancel)
#include "TestCliCancel.moc"
