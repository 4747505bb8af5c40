#include "app/MessageBoxes.h"

#include "app/AppConstants.h"
#include "app/ErrorReportHook.h"
#include "app/FileUtils.h"
#include "app/WinMovable.h"

#include <QObject>
#include <QPushButton>

namespace {

MessageBoxTestHook &testHook()
{
    static MessageBoxTestHook hook;
    return hook;
}

void styleBox(QMessageBox &box)
{
    box.setStyleSheet(styleSheet());
    box.installEventFilter(new WinMovable(&box));
}

} // namespace

void setMessageBoxTestHook(MessageBoxTestHook hook)
{
    testHook() = std::move(hook);
}

QMessageBox::StandardButton messageBox(QMessageBox::Icon icon, const QString &text,
                                       QMessageBox::StandardButtons buttons)
{
    if (testHook())
        return testHook()(icon, text);

    QMessageBox box(icon, QObject::tr(AppConstants::ProductName), text, QMessageBox::NoButton, nullptr,
                    Qt::Dialog | Qt::FramelessWindowHint);
    styleBox(box);
    for (const QMessageBox::StandardButton button :
         {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel}) {
        if (buttons.testFlag(button))
            box.addButton(button);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

bool askWithButtons(QMessageBox::Icon icon, const QString &text, const QString &acceptText, const QString &rejectText)
{
    if (testHook()) {
        const QMessageBox::StandardButton answer = testHook()(icon, text);
        return answer == QMessageBox::Yes || answer == QMessageBox::Ok;
    }
    QMessageBox box(icon, QObject::tr(AppConstants::ProductName), text, QMessageBox::NoButton, nullptr,
                    Qt::Dialog | Qt::FramelessWindowHint);
    styleBox(box);
    QPushButton *accept = box.addButton(acceptText, QMessageBox::AcceptRole);
    if (!rejectText.isEmpty())
        box.addButton(rejectText, QMessageBox::RejectRole);
    box.exec();
    return box.clickedButton() == accept;
}

void showInformation(const QString &text)
{
    messageBox(QMessageBox::Information, text, QMessageBox::Ok);
}

void showWarning(const QString &text)
{
    messageBox(QMessageBox::Warning, text, QMessageBox::Ok);
}

void showCritical(const QString &text)
{
    messageBox(QMessageBox::Critical, text, QMessageBox::Ok);
    sendToErrorReporter(text);
}

bool askQuestion(const QString &text)
{
    return messageBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void reportError(const QString &detail)
{
    const QString text = QStringLiteral("An Error Occurred. <br/><br/>%1<br/><br/> Or you can contact ").arg(detail)
                       + QLatin1String(AppConstants::SupportEmail) + QStringLiteral(" for help.");
    showCritical(text);
}
