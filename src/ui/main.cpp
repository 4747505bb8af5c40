#include "app/AppConstants.h"
#include "app/AppFolders.h"
#include "app/ColourRoles.h"
#include "app/ErrorReport.h"
#include "app/LogHandler.h"
#include "app/Preferences.h"
#include "app/PrivateCacheSweep.h"
#include "app/ProcessSetup.h"
#include "app/TimeZoneSetup.h"
#include "app/VendorHost.h"
#include "db/Sqlite3DB.h"
#include "device/MobileDeviceFrameworks.h"
#include "ui/MainWindow.h"
#include "ui/PreferencesDialog.h"
#include "widgets/ErrorReportConsent.h"
#include "widgets/MessageBoxes.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>
#include <QIcon>
#include <QLibrary>
#include <QTranslator>

namespace {

#ifdef Q_OS_WIN
// Older Windows versions lack shcore; the program then simply runs with the system default.
void declareDpiUnaware()
{
    QLibrary shcore(QStringLiteral("shcore"));
    using SetAwareness = long(__stdcall *)(int);
    const auto setAwareness = reinterpret_cast<SetAwareness>(shcore.resolve("SetProcessDpiAwareness"));
    if (setAwareness)
        qDebug("SetProcessDpiAwareness returned %d", int(setAwareness(0)));
}
#endif

QString frameworkHelpText()
{
    if (!vendorHostConfigured())
        return QStringLiteral("Failed to load (Apple Mobile Device) framework.");
    return QStringLiteral("Failed to load (Apple Mobile Device) framework. Plese click <a href=\"%1\">HERE</a> for help.")
        .arg(vendorUrl(QStringLiteral("/tutorial/how-to-connect-ios-device-to-talvora-successfully.html")));
}

// --version and --help are answered (and the program ends); anything else is left alone.
void answerCommandLine()
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kik Messenger chat history from iPhones and iTunes backups."));
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption help = parser.addHelpOption();
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(version))
        parser.showVersion();
    if (parser.isSet(help))
        parser.showHelp();
}

}   // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    declareDpiUnaware();
#endif
    prepareProcess();
    pinSystemTimeZone();
    // The chat-bubble web view needs contexts shared before the application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The desktop matches the window to its entry (name and icon) by this name.
    QGuiApplication::setDesktopFileName(QLatin1String(AppConstants::DesktopId));
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QLatin1String(AppConstants::ProductVersion));
    answerCommandLine();
    QApplication::setWindowIcon(
        QIcon::fromTheme(QLatin1String(AppConstants::DesktopId), QIcon(QStringLiteral(":/res/main.svg"))));
    applyColourRoles();   // light or dark after the desktop, every text paired with its ground

    QTranslator translator;
    if (translator.load(QStringLiteral(":/en.qm")))
        QCoreApplication::installTranslator(&translator);
    installErrorReporter();

    if (sqlite_qt_version() != 7) {
        reportError(QStringLiteral("invalid libsqlite_qt."));
        return 1;
    }

    setupLogging(logFolder(), 10);
    applyPreferences(Preferences::load());
    removeLeftWorkFolders();
    qDebug().noquote() << "Parlewick" << AppConstants::ProductVersion << "starting; data folder" << dataFolder();

    QString frameworkError;
    loadMobileDeviceFrameworks(&frameworkError);
    if (!frameworksLoaded()) {
        qDebug().noquote() << "phone library not loaded:" << frameworkError;
        reportError(frameworkHelpText());
        return -1;
    }
    qDebug() << "phone library loaded";

    MainWindow window;
    window.show();
    qDebug() << "main window shown; entering event loop";
    const int code = QApplication::exec();
    qDebug() << "event loop ended with" << code;
    return code;
}
