// simiphone: simulated iPhones behind a stand-in for the multiplexer daemon, for demos and
// for tests that run it as a separate process. See README.md.

#include "simiphone/HostileNames.h"
#include "simiphone/SimulatedIPhone.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <csignal>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

std::mutex simulatorMutex;
SimPhoneOptions createdPhones;   // what the command line says of phones it creates

void say(const QString &line)
{
    std::cout << line.toStdString() << std::endl;
}

// One command a line: create UDID [unpaired] | plug UDID | unplug UDID | passcode UDID | list | quit
void runCommand(SimulatedIPhone &simulator, const QStringList &words)
{
    std::lock_guard<std::mutex> lock(simulatorMutex);
    const QString command = words.value(0);
    const QString udid = words.value(1);
    try {
        if (command == QLatin1String("create") && !udid.isEmpty()) {
            SimPhoneOptions options = createdPhones;
            options.paired = words.value(2) != QLatin1String("unpaired");
            say(QStringLiteral("OK created ") + simulator.createPhone(udid, options).path());
        } else if (command == QLatin1String("plug") && !udid.isEmpty()) {
            simulator.plugIn(udid);
            say(QStringLiteral("OK plugged ") + udid);
        } else if (command == QLatin1String("unplug") && !udid.isEmpty()) {
            simulator.unplug(udid);
            say(QStringLiteral("OK unplugged ") + udid);
        } else if (command == QLatin1String("passcode") && !udid.isEmpty()) {
            simulator.phone(udid).typePasscode();
            say(QStringLiteral("OK passcode ") + udid);
        } else if (command == QLatin1String("list")) {
            const QStringList names = QDir(simulator.phonesDir()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            for (const QString &name : names)
                say(QStringLiteral("PHONE %1 %2").arg(name).arg(simulator.deviceId(name)));
            say(QStringLiteral("OK"));
        } else if (command == QLatin1String("quit")) {
            ::kill(::getpid(), SIGTERM);
        } else if (!command.isEmpty()) {
            say(QStringLiteral("ERROR unknown command: ") + words.join(QLatin1Char(' ')));
        }
    } catch (const std::exception &error) {
        say(QStringLiteral("ERROR ") + QString::fromUtf8(error.what()));
    }
}

}   // namespace

int main(int argc, char **argv)
{
    // Signals are taken by sigwait below; every thread started later inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated iPhones behind a stand-in for usbmuxd."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("phones"), QStringLiteral("Folder of phone folders."), QStringLiteral("dir")});
    parser.addOption({QStringLiteral("listen"), QStringLiteral("127.0.0.1:PORT (0: any) or UNIX:/path."),
                      QStringLiteral("address"), QStringLiteral("127.0.0.1:0")});
    parser.addOption(
        {QStringLiteral("create-phone"), QStringLiteral("Create this phone first (repeatable)."), QStringLiteral("udid")});
    parser.addOption({QStringLiteral("unpaired"), QStringLiteral("Created phones have no pair record yet.")});
    parser.addOption(
        {QStringLiteral("app"), QStringLiteral("Install this app in created phones (repeatable)."), QStringLiteral("bundle-id")});
    parser.addOption({QStringLiteral("device-name"), QStringLiteral("DeviceName of created phones."), QStringLiteral("name")});
    parser.addOption({QStringLiteral("development-app"),
                      QStringLiteral("Install this app as a development app, vended by house_arrest (repeatable)."),
                      QStringLiteral("bundle-id")});
    parser.addOption({QStringLiteral("group"), QStringLiteral("Give created phones this App Group container (repeatable)."),
                      QStringLiteral("group-id")});
    parser.addOption(
        {QStringLiteral("ios"), QStringLiteral("ProductVersion of created phones (default 17.5)."), QStringLiteral("version")});
    parser.addOption({QStringLiteral("backup-password"), QStringLiteral("Created phones encrypt their backups with it."),
                      QStringLiteral("password")});
    parser.addOption({QStringLiteral("backup-key-rounds"),
                      QStringLiteral("Rounds of the backup password's key derivation (default 10000000)."),
                      QStringLiteral("rounds")});
    // How created phones' backups go (faults.plist, see README.md).
    parser.addOption({QStringLiteral("purge-disk-space"),
                      QStringLiteral("yes: backups first ask the computer to purge disk space and wait for its answer; "
                                     "no: never (default: iOS 26 and later ask)."),
                      QStringLiteral("yes|no")});
    parser.addOption({QStringLiteral("passcode-typed-after"),
                      QStringLiteral("iOS 16.1+: the passcode is typed this long after the prompt (default 0); negative: "
                                     "only by the command \"passcode UDID\"."),
                      QStringLiteral("seconds")});
    parser.addOption({QStringLiteral("passcode-timeout"),
                      QStringLiteral("A passcode nobody typed ends the backup with 208 after this (default 180)."),
                      QStringLiteral("seconds")});
    parser.addOption({QStringLiteral("prepare-seconds"),
                      QStringLiteral("Backups prepare this long before the phone sends anything."), QStringLiteral("seconds")});
    parser.addOption({QStringLiteral("stall-after-files"),
                      QStringLiteral("Backups stop sending after this many uploaded files; the phone stays connected."),
                      QStringLiteral("n")});
    parser.addOption({QStringLiteral("backup-error"),
                      QStringLiteral("Backups end with this ErrorCode: 212 at once, 3 after the passcode, 105 after the "
                                     "free space, others after the files."),
                      QStringLiteral("code")});
    parser.addOption({QStringLiteral("restore-error"),
                      QStringLiteral("Restores end with this ErrorCode: 212 at once, 207 when the backup is opened, others "
                                     "after the files."),
                      QStringLiteral("code")});
    parser.addOption({QStringLiteral("hostile-name"),
                      QStringLiteral("One request carries a name leading out of the backup folder: MESSAGE upload, download, "
                                     "move, remove, mkdir or copy; KIND parent, absolute or control."),
                      QStringLiteral("message:kind")});
    parser.process(app);
    if (!parser.isSet(QStringLiteral("phones"))) {
        std::cerr << "simiphone: --phones DIR is required" << std::endl;
        return 2;
    }

    SimulatedIPhone simulator(parser.value(QStringLiteral("phones")));
    try {
        SimPhoneOptions &options = createdPhones;
        options.paired = !parser.isSet(QStringLiteral("unpaired"));
        options.apps = parser.values(QStringLiteral("app"));
        options.developmentApps = parser.values(QStringLiteral("development-app"));
        options.groups = parser.values(QStringLiteral("group"));
        if (parser.isSet(QStringLiteral("device-name")))
            options.deviceName = parser.value(QStringLiteral("device-name"));
        if (parser.isSet(QStringLiteral("ios")))
            options.productVersion = parser.value(QStringLiteral("ios"));
        options.backupPassword = parser.value(QStringLiteral("backup-password"));
        if (parser.isSet(QStringLiteral("backup-key-rounds")))
            options.backupKeyRounds = parser.value(QStringLiteral("backup-key-rounds")).toUInt();
        if (parser.isSet(QStringLiteral("purge-disk-space")))
            options.purgeDiskSpace = parser.value(QStringLiteral("purge-disk-space")) == QLatin1String("yes");
        if (parser.isSet(QStringLiteral("passcode-typed-after")))
            options.passcodeTypedAfter = parser.value(QStringLiteral("passcode-typed-after")).toDouble();
        if (parser.isSet(QStringLiteral("passcode-timeout")))
            options.passcodeTimeout = parser.value(QStringLiteral("passcode-timeout")).toDouble();
        options.prepareSeconds = parser.value(QStringLiteral("prepare-seconds")).toDouble();
        if (parser.isSet(QStringLiteral("stall-after-files")))
            options.stallAfterFiles = parser.value(QStringLiteral("stall-after-files")).toInt();
        options.backupError = parser.value(QStringLiteral("backup-error")).toInt();
        options.restoreError = parser.value(QStringLiteral("restore-error")).toInt();
        options.hostileName = parser.value(QStringLiteral("hostile-name"));
        if (!options.hostileName.isEmpty() && !HostileName::of(options.hostileName, QStringLiteral("x"))) {
            std::cerr << "simiphone: unknown --hostile-name " << options.hostileName.toStdString() << std::endl;
            return 2;
        }
        for (const QString &udid : parser.values(QStringLiteral("create-phone")))
            simulator.createPhone(udid, options);
        const QString address = simulator.start(parser.value(QStringLiteral("listen")));
        say(QStringLiteral("LISTENING ") + address);
    } catch (const std::exception &error) {
        std::cerr << "simiphone: " << error.what() << std::endl;
        return 1;
    }

    // Commands come on standard input; its end leaves the simulator running until a signal.
    std::thread commands([&simulator] {
        std::string line;
        while (std::getline(std::cin, line))
            runCommand(simulator, QString::fromStdString(line).split(QLatin1Char(' '), Qt::SkipEmptyParts));
    });
    commands.detach();

    int received = 0;
    sigwait(&stopSignals, &received);
    std::lock_guard<std::mutex> lock(simulatorMutex);
    simulator.stop();
    return 0;
}
