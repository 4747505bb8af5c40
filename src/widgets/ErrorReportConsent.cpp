#include "widgets/ErrorReportConsent.h"

#include "app/AppConstants.h"
#include "app/ErrorReport.h"
#include "app/ErrorReportHook.h"
#include "app/Preferences.h"
#include "app/VendorHost.h"
#include "widgets/MessageBoxes.h"

#include <QCoreApplication>
#include <QThread>

QString errorReportQuestion()
{
    return QStringLiteral("May %1 send a report of this error to its maker, so that it can be fixed?<br/><br/>"
                          "The report holds the error text, with the names of your folders and files left out, "
                          "and the program's version. You can change your answer in Tools, Preferences.")
        .arg(QObject::tr(AppConstants::ProductName));
}

bool errorReportsAgreed()
{
    if (!vendorHostConfigured())
        return false;
    Preferences preferences = Preferences::load();
    const QCoreApplication *app = QCoreApplication::instance();
    const bool onGuiThread = app && QThread::currentThread() == app->thread();
    if (!preferences.errorReportsAsked && onGuiThread) {
        preferences.errorReports = askQuestion(errorReportQuestion());
        preferences.errorReportsAsked = true;
        preferences.save();
    }
    return preferences.errorReports;
}

void installErrorReporter()
{
    setErrorReporter([](const QString &text) {
        if (errorReportsAgreed())
            sendErrorReport(text);
    });
}
