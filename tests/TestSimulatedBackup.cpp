// Debian's idevicebackup2 backing up and restoring the simulated iPhone over its multiplexer:
// the backup it writes is one the program reads, a restore puts the files back into the
// phone's containers, and each device error reaches the tool's output and exit status.

#include "TestEnv.h"
#include "TestFiles.h"

#include "ItunesBackupBuilder.h"
#include "SimulatedPhones.h"
#include "itunes/BackupFileNode.h"
#include "itunes/BackupManifest.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <libimobiledevice/libimobiledevice.h>
#include <libimobiledevice/notification_proxy.h>

#include <algorithm>

namespace {

const QString kUdid = QStringLiteral("00008110-000A1B2C3D4E5F60");
const QString kKik = QStringLiteral("com.kik.chat");
const QString kGroup = QStringLiteral("group.com.kik.chat");
const QString kStore = QStringLiteral("cores/private/2397401800a84992a72eca4b171e6522/kik.sqlite");

struct ToolRun
{
    int exitCode = -1;
    QString output;
};

ToolRun runTool(const QStringList &arguments, const QByteArray &input = QByteArray())
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(QStringLiteral("idevicebackup2"), QStringList{QStringLiteral("-u"), kUdid} + arguments);
    if (!tool.waitForStarted(30000))
        return {};
    tool.write(input);
    tool.closeWriteChannel();
    if (!tool.waitForFinished(180000))
        tool.kill();
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1, QString::fromUtf8(tool.readAll())};
}

// What the phone posts to an observer on notification_proxy, as a computer hears it.
class PasscodeObserver
{
public:
    explicit PasscodeObserver(const QString &udid)
    {
        if (idevice_new(&m_device, udid.toUtf8().constData()) != IDEVICE_E_SUCCESS
            || np_client_start_service(m_device, &m_client, "simiphone-test") != NP_E_SUCCESS)
            return;
        const char *names[] = {"com.apple.LocalAuthentication.ui.presented", "com.apple.LocalAuthentication.ui.dismissed",
                               nullptr};
        np_observe_notifications(m_client, names);
        np_set_notify_callback(m_client, &PasscodeObserver::heard, this);
    }
    ~PasscodeObserver()
    {
        if (m_client)
            np_client_free(m_client);
        if (m_device)
            idevice_free(m_device);
    }
    QStringList heard() const
    {
        QMutexLocker lock(&m_mutex);
        return m_heard;
    }

private:
    static void heard(const char *name, void *self)
    {
        auto *observer = static_cast<PasscodeObserver *>(self);
        QMutexLocker lock(&observer->m_mutex);
        observer->m_heard << QString::fromUtf8(name).section(QLatin1Char('.'), -1);
    }

    idevice_t m_device = nullptr;
    np_client_t m_client = nullptr;
    mutable QMutex m_mutex;
    QStringList m_heard;
};

// The backup tool running while a test watches it.
struct RunningTool
{
    QProcess process;
    QByteArray output;

    explicit RunningTool(const QStringList &arguments)
    {
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral("idevicebackup2"), QStringList{QStringLiteral("-u"), kUdid} + arguments);
    }
    ~RunningTool()
    {
        process.kill();
        process.waitForFinished();
    }
    bool said(const char *text)
    {
        output += process.readAll();
        return output.contains(text);
    }
    int exitCode()
    {
        if (process.state() != QProcess::NotRunning)
            process.waitForFinished(120000);
        output += process.readAll();
        return process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

// Every file the program reads out of the backup, by domain and path.
QMap<QString, QByteArray> backupContent(const QString &folder, const QString &password = QString())
{
    QMap<QString, QByteArray> content;
    BackupManifest backup(folder);
    backup.readInfo();
    if (backup.encrypted() && !backup.unlock(Secret::fromUtf8(password.toUtf8())))
        return content;
    backup.load();
    QTemporaryDir out;
    int n = 0;
    for (const BackupFileNode *node : backup.fileTree().allNodes()) {
        if (node->backupName().isEmpty() || (node->record().mode & 0xF000) != 0x8000)
            continue;
        const QString file = out.filePath(QString::number(++n));
        backup.extractFile(node, file);
        content.insert(node->record().domain.toString() + QLatin1Char('/') + node->record().path.toString(), readFileBytes(file));
    }
    return content;
}

}   // namespace

class TestSimulatedBackup : public QObject
{
    Q_OBJECT

    TestEnv m_env;
    SimulatedPhones m_sim{m_env.path(QStringLiteral("phones"))};
    QString m_backups;

    SimPhoneFolder phone() const { return m_sim.phone(kUdid); }
    QList<QJsonObject> phoneFaults(const QString &fault) const
    {
        QList<QJsonObject> found;
        for (const QJsonObject &entry : phone().received())
            if (entry.value(QStringLiteral("fault")) == fault)
                found << entry;
        return found;
    }
    QString kikFile() const { return phone().containerPath(kKik) + QStringLiteral("/Documents/kik.sqlite"); }
    QString groupStore() const { return phone().groupContainerPath(kGroup) + QLatin1Char('/') + kStore; }

    void backupOrFail()
    {
        const ToolRun run = runTool({QStringLiteral("backup"), QStringLiteral("--full"), m_backups});
        QVERIFY2(run.exitCode == 0 && run.output.contains(QLatin1String("Backup Successful.")), qPrintable(run.output));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_env.isValid());
        m_sim.add(PhoneSetup(kUdid, PhoneKik::AppStoreGroup));
        writeFileBytes(kikFile(), "app store");
        writeFileBytes(phone().containerPath(kKik) + QStringLiteral("/Library/Caches/big.bin"), "left out");
        writeFileBytes(groupStore(), "group store");
        m_sim.start();
        m_backups = m_env.path(QStringLiteral("backups"));
        QDir().mkpath(m_backups);
    }

    void init() { phone().setFaults({}); }

    void backupIsOneTheProgramReads()
    {
        backupOrFail();
        const QString folder = m_backups + QLatin1Char('/') + kUdid;
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Manifest.db")));
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/Info.plist")));   // written by the tool
        BackupManifest backup(folder);
        backup.readInfo();
        QCOMPARE(backup.productVersion(), QStringLiteral("17.5"));
        QCOMPARE(backup.uniqueDeviceId(), kUdid);
        QCOMPARE(backupContent(folder), (QMap<QString, QByteArray>{
                                            {QStringLiteral("AppDomain-com.kik.chat/Documents/kik.sqlite"), "app store"},
                                            {QStringLiteral("AppDomainGroup-group.com.kik.chat/") + kStore, "group store"},
                                        }));
        QStringList posted;
        for (const QJsonObject &entry : phone().received()) {
            const QJsonObject request = entry.value(QStringLiteral("request")).toObject();
            if (request.value(QStringLiteral("Command")) == QLatin1String("PostNotification"))
                posted << request.value(QStringLiteral("Name")).toString().section(QLatin1Char('.'), -1);
        }
        QCOMPARE(posted, (QStringList{"syncWillStart", "syncLockRequest", "syncDidStart", "syncDidFinish"}));
    }

    void restorePutsFilesBackAndRestarts()
    {
        writeFileBytes(kikFile(), "changed");
        QVERIFY(QFile::remove(groupStore()));
        const quint32 before = m_sim.deviceId(kUdid);
        const ToolRun run = runTool({QStringLiteral("restore"), m_backups});
        QVERIFY2(run.exitCode == 0 && run.output.contains(QLatin1String("Restore Successful.")), qPrintable(run.output));
        QCOMPARE(readFileBytes(kikFile()), QByteArray("app store"));
        QCOMPARE(readFileBytes(groupStore()), QByteArray("group store"));
        QVERIFY(m_sim.waitForPlugIn(kUdid, before));
    }

    void encryptedBackupAndRestore()
    {
        phone().setBackupPassword(QStringLiteral("s3cret"), 10);
        backupOrFail();
        const QString folder = m_backups + QLatin1Char('/') + kUdid;
        QCOMPARE(
            backupContent(folder, QStringLiteral("s3cret")).value(QStringLiteral("AppDomainGroup-group.com.kik.chat/") + kStore),
            QByteArray("group store"));
        QVERIFY(backupContent(folder, QStringLiteral("wrong")).isEmpty());

        writeFileBytes(groupStore(), "changed");
        ToolRun run = runTool({QStringLiteral("restore"), QStringLiteral("--password"), QStringLiteral("wrong"), m_backups});
        QCOMPARE(run.exitCode, 256 - 207);
        QCOMPARE(readFileBytes(groupStore()), QByteArray("changed"));
        // -i takes the password from standard input: it is on no command line.
        run = runTool({QStringLiteral("-i"), QStringLiteral("restore"), m_backups}, "s3cret\n");
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QCOMPARE(readFileBytes(groupStore()), QByteArray("group store"));
        phone().setBackupPassword(QString());
        QVERIFY(m_sim.waitForPlugIn(kUdid));
        backupOrFail();
    }

    void deviceErrors_data()
    {
        QTest::addColumn<QVariantMap>("faults");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("code");
        auto errors = [](const char *operation, int code) {
            return QVariantMap{{"MobileBackupErrors", QVariantMap{{operation, code}}}};
        };
        QTest::newRow("locked") << QVariantMap{{"DeviceLocked", true}} << "backup" << 208;
        QTest::newRow("passcode never typed")
            << QVariantMap{{"PasscodeTypedAfter", -1}, {"PasscodeTimeout", 0.2}} << "backup" << 208;
        QTest::newRow("snapshot left") << errors("Backup", 3) << "backup" << 3;
        QTest::newRow("upload errors") << errors("Backup", 104) << "backup" << 104;
        QTest::newRow("no space") << errors("Backup", 105) << "backup" << 105;
        QTest::newRow("setup unfinished") << errors("Backup", 212) << "backup" << 212;
        QTest::newRow("Find My") << QVariantMap{{"FindMyEnabled", true}} << "restore" << 211;
        QTest::newRow("damaged backup") << errors("Restore", 205) << "restore" << 205;
        QTest::newRow("wrong password") << errors("Restore", 207) << "restore" << 207;
    }

    void deviceErrors()
    {
        QFETCH(QVariantMap, faults);
        QFETCH(QString, operation);
        QFETCH(int, code);
        if (operation == QLatin1String("restore"))
            backupOrFail();   // a failed backup leaves one the tool does not restore
        writeFileBytes(kikFile(), "kept");
        phone().setFaults(faults);
        const ToolRun run = runTool({operation, m_backups});
        QCOMPARE(run.exitCode, 256 - code);
        QVERIFY2(run.output.contains(QStringLiteral("ErrorCode %1: ").arg(code))
                     && run.output.contains(QStringLiteral("(MBErrorDomain/%1)").arg(code)),
                 qPrintable(run.output));
        QCOMPARE(readFileBytes(kikFile()), QByteArray("kept"));
    }

    void passcodeEnteredWhileWaiting()
    {
        phone().setFaults({{QStringLiteral("DeviceLocked"), true}, {QStringLiteral("PasscodeTimeout"), 120}});
        phone().clearReceived();
        QProcess tool;
        tool.start(QStringLiteral("idevicebackup2"), {QStringLiteral("-u"), kUdid, QStringLiteral("backup"), m_backups});
        QTRY_VERIFY_WITH_TIMEOUT(
            phone().received().size() > 0 && QJsonDocument(phone().received().last()).toJson().contains("\"Backup\""), 60000);
        phone().setFaults({});   // the user entered the passcode
        QVERIFY(tool.waitForFinished(120000));
        QCOMPARE(tool.exitCode(), 0);
    }

    // From iOS 16.1 on the phone shows its passcode prompt and tells observers; a test types it.
    void passcodeTypedOnCommand()
    {
        phone().setFaults({{QStringLiteral("PasscodeTypedAfter"), -1}, {QStringLiteral("PasscodeTimeout"), 120}});
        PasscodeObserver observer(kUdid);
        RunningTool tool({QStringLiteral("backup"), m_backups});
        QTRY_COMPARE_WITH_TIMEOUT(observer.heard(), QStringList{QStringLiteral("presented")}, 60000);
        phone().typePasscode();
        QTRY_COMPARE_WITH_TIMEOUT(observer.heard(), (QStringList{"presented", "dismissed"}), 60000);
        QVERIFY2(tool.exitCode() == 0, tool.output.constData());
    }

    // Debian's tool has no answer for the purge request of iOS 26: the phone waits for one, the
    // tool waits for the phone, until it is killed.
    void realToolHangsOnThePurgeRequest()
    {
        phone().setFault(QStringLiteral("PurgeDiskSpace"), true);
        phone().clearReceived();
        RunningTool tool({QStringLiteral("backup"), m_backups});
        QTRY_VERIFY_WITH_TIMEOUT(!phoneFaults(QStringLiteral("PurgeDiskSpace")).isEmpty(), 60000);
        QVERIFY(!tool.process.waitForFinished(5000));
        const QList<QJsonObject> got = phone().received();
        const auto purge = std::find_if(got.begin(), got.end(), [](const QJsonObject &entry) {
            return entry.value(QStringLiteral("fault")) == QLatin1String("PurgeDiskSpace");
        });
        QVERIFY(std::none_of(purge, got.end(), [](const QJsonObject &entry) {
            return entry.value(QStringLiteral("request")).toArray().first() == QLatin1String("DLMessageStatusResponse");
        }));
    }

    // A phone that prepares goes on once it is done; one that stalls stays connected and silent.
    void preparingAndStalling()
    {
        phone().setFault(QStringLiteral("PrepareSeconds"), 600);
        phone().clearReceived();
        {
            RunningTool tool({QStringLiteral("backup"), m_backups});
            QTRY_VERIFY_WITH_TIMEOUT(!phoneFaults(QStringLiteral("Preparing")).isEmpty(), 60000);
            phone().setFaults({});
            QVERIFY2(tool.exitCode() == 0, tool.output.constData());
        }
        phone().setFault(QStringLiteral("StallAfterFiles"), 2);
        RunningTool tool({QStringLiteral("backup"), m_backups});
        QTRY_VERIFY_WITH_TIMEOUT(!phoneFaults(QStringLiteral("Stalled")).isEmpty(), 60000);
        QCOMPARE(phoneFaults(QStringLiteral("Stalled")).first().value(QStringLiteral("files")).toInt(), 2);
        QVERIFY(m_sim.deviceId(kUdid) != 0);
        QCOMPARE(tool.process.state(), QProcess::Running);
    }

    // Debian's tool takes every name as it comes: each hostile request reaches outside the
    // backup folder, which is what the program's own client must refuse.
    void hostileNamesReachANaiveComputer_data()
    {
        QTest::addColumn<QString>("hostile");
        QTest::addColumn<bool>("plantedBefore");
        QTest::addColumn<bool>("plantedAfter");
        QTest::newRow("upload") << "upload:parent" << false << true;
        QTest::newRow("create directory") << "mkdir:parent" << false << true;
        QTest::newRow("move") << "move:parent" << false << true;
        QTest::newRow("remove") << "remove:parent" << true << false;
        QTest::newRow("download") << "download:parent" << true << true;
    }

    void hostileNamesReachANaiveComputer()
    {
        QFETCH(QString, hostile);
        QFETCH(bool, plantedBefore);
        QFETCH(bool, plantedAfter);
        backupOrFail();
        const QString planted = m_env.path(QStringLiteral("planted-by-phone"));
        if (plantedBefore)
            writeFileBytes(planted, "the user's");
        phone().setFault(QStringLiteral("HostileName"), hostile);
        phone().clearReceived();
        runTool({QStringLiteral("backup"), m_backups});
        QCOMPARE(QFileInfo::exists(planted), plantedAfter);
        QCOMPARE(phoneFaults(QStringLiteral("HostileName")).size(), 1);
        if (hostile.startsWith(QLatin1String("download"))) {   // the phone got the user's file
            const QList<QJsonObject> got = phone().received();
            QVERIFY(std::any_of(got.begin(), got.end(), [](const QJsonObject &entry) {
                return entry.value(QStringLiteral("kind")) == QLatin1String("file")
                       && entry.value(QStringLiteral("name")).toString().endsWith(QLatin1String("planted-by-phone"));
            }));
        }
        QDir(planted).removeRecursively();
        QFile::remove(planted);
    }

    void cablePulledDuringTheBackup()
    {
        const QString status = m_backups + QLatin1Char('/') + kUdid + QStringLiteral("/Status.plist");
        phone().setFault(QStringLiteral("CablePulledAfterFiles"), 2);
        const ToolRun run = runTool({QStringLiteral("backup"), QStringLiteral("--full"), m_backups});
        QCOMPARE(run.exitCode, 255);
        QVERIFY2(run.output.contains(QLatin1String("Backup Aborted.")), qPrintable(run.output));
        QVERIFY(!readFileBytes(status).contains("finished"));   // the half backup says so
        QTRY_COMPARE(m_sim.deviceId(kUdid), 0u);
        phone().setFaults({});
        m_sim.plugIn(kUdid);
        backupOrFail();
        QVERIFY(readFileBytes(status).contains("finished"));
    }

    // A backup is outside input to the phone: only the containers of its apps and groups are
    // written, whatever the domains and paths say.
    void hostileBackupStaysInTheContainers()
    {
        const QString outside = m_env.path(QStringLiteral("outside"));
        QDir().mkpath(outside);
        QVERIFY(QFile::link(outside, phone().containerPath(kKik) + QStringLiteral("/Documents/link")));
        ItunesBackupDevice device;
        device.uniqueDeviceId = kUdid;
        device.productVersion = QStringLiteral("17.5");
        ItunesBackupBuilder builder(device);
        builder.addFile(QStringLiteral("AppDomain-") + kKik, QStringLiteral("Documents/link/evil"), "x");
        builder.addFile(QStringLiteral("AppDomain-com.not.installed"), QStringLiteral("Documents/evil"), "x");
        builder.addFile(QStringLiteral("HomeDomain"), QStringLiteral("Library/evil"), "x");
        builder.addFile(QStringLiteral("AppDomainGroup-") + kGroup, QStringLiteral("fine.txt"), "fine");
        const QString hostile = m_env.path(QStringLiteral("hostile"));
        builder.build(hostile + QLatin1Char('/') + kUdid);
        const QMap<QString, QByteArray> phoneBefore = treeOf(phone().path() + QStringLiteral("/apps"));
        // The builder writes no Applications into Info.plist: 1.3.0 restores that only with --skip-apps.
        const ToolRun run = runTool({QStringLiteral("restore"), QStringLiteral("--skip-apps"), hostile});
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY(treeOf(outside).isEmpty());
        QCOMPARE(treeOf(phone().path() + QStringLiteral("/apps")), phoneBefore);
        QCOMPARE(readFileBytes(phone().groupContainerPath(kGroup) + QStringLiteral("/fine.txt")), QByteArray("fine"));
        QVERIFY(!QFileInfo::exists(phone().path() + QStringLiteral("/apps/com.not.installed")));
        QFile::remove(phone().containerPath(kKik) + QStringLiteral("/Documents/link"));
        QVERIFY(m_sim.waitForPlugIn(kUdid));
    }
};

QTEST_GUILESS_MAIN(TestSimulatedBackup)
#include "TestSimulatedBackup.moc"
