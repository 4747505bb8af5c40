#include "widgets/UpdateCheck.h"

#include "app/AppConstants.h"
#include "app/AppFolders.h"
#include "app/DesktopServices.h"
#include "app/Preferences.h"
#include "app/VendorHost.h"
#include "widgets/MessageBoxes.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QWidget>

namespace {

// The file holds a number of seconds; more than this is damage, not a time.
constexpr qint64 LastCheckFileLimit = 64;

std::function<void()> &exitHook()
{
    static std::function<void()> hook;
    return hook;
}

void endProgram()
{
    if (exitHook())
        exitHook()();
    else
        killSelf();
}

QString dataFile(const char *name)
{
    return QDir(dataFolder()).filePath(QLatin1String(name));
}

void writeWhole(const QString &path, const QByteArray &content)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        qDebug() << "cannot write" << path << file.errorString();
}

QString productId()
{
    return QLatin1String(AppConstants::ProductId);
}

}   // namespace

bool updateChecksWanted()
{
    return vendorHostConfigured() && Preferences::load().updateChecks;
}

bool isUpdateCheckDue(qint64 nowSecs)
{
    QFile file(dataFile(LastCheckFileName));
    if (!file.open(QIODevice::ReadOnly))
        return true;
    // Anything that is not a plain number of seconds counts as no check at all.
    const qint64 last = vendorText(file.read(LastCheckFileLimit)).trimmed().toLongLong();
    // Unsigned: a time in the future (a clock set back) makes the check due, not blocked.
    return last == 0 || quint64(nowSecs - last) >= quint64(UpdateCheckInterval);
}

QUrl versionCheckUrl()
{
    return QUrl(vendorUrl(QStringLiteral("/sms_check_update.php?pid=%1&ver=%2&q=1").arg(productId(), QString::number(1))));
}

QUrl advertisementUrl()
{
    return QUrl(vendorUrl(QStringLiteral("/adv.php?pid=%1").arg(productId())));
}

QUrl manualUpdateCheckUrl(quint32 volumeSerial)
{
#ifdef Q_OS_WIN
    const QString system = QStringLiteral("win32");
#elif defined(Q_OS_MACOS)
    const QString system = QStringLiteral("macos");
#else
    const QString system = QStringLiteral("linux");
#endif
    return QUrl(vendorUrl(QStringLiteral("/sms_check_update.php?pid=%1&ver=%2&vs=%3&sys=%4")
                              .arg(productId(), QString::number(1), QString::number(volumeSerial), system)));
}

void handleVersionAnswer(const QByteArray &body, QWidget *mainWindow)
{
    if (const std::optional<QUrl> address = versionAnswerAddress(body)) {
        const QString answer = address->toString();
        const QString product = QObject::tr(AppConstants::ProductName);
        if (QFile::exists(dataFile(LastCheckFileName))) {
            const bool now = askWithButtons(
                QMessageBox::Question,
                QStringLiteral("A new version of %1 is available. To support your phone, please download the latest version.")
                    .arg(product),
                QStringLiteral("Download now"), QStringLiteral("Download later"));
            if (now) {
                shellOpen(answer);
                if (mainWindow)
                    mainWindow->close();
                endProgram();
            }
        } else {
            askWithButtons(QMessageBox::Warning,
                           QStringLiteral("This version of Talvora software has become obsolete. Please download the "
                                          "latest version to install on your computer."),
                           QStringLiteral("Download"));
            shellOpen(answer);
            endProgram();
            return;
        }
    }
    writeWhole(dataFile(LastCheckFileName), QByteArray::number(QDateTime::currentSecsSinceEpoch()));
}

QString takeAdvertisement(const QByteArray &body)
{
    const QString text = advertisementMarkup(body);
    if (text.isEmpty())
        return text;
    writeWhole(dataFile(LastAdvFileName), text.toUtf8());
    return text;
}

QString lastAdvertisement()
{
    QFile file(dataFile(LastAdvFileName));
    if (!file.open(QIODevice::ReadOnly) || file.size() > VendorAnswerLimit * 2)
        return QString();
    return QString::fromUtf8(file.readAll());
}

void setUpdateExitForTests(std::function<void()> exit)
{
    exitHook() = std::move(exit);
}
