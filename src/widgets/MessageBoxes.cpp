#include "widgets/MessageBoxes.h"

#include "app/AppConstants.h"
#include "app/AppFolders.h"
#include "app/ErrorReportHook.h"
#include "app/FileUtils.h"
#include "app/VendorHost.h"
#include "widgets/WinMovable.h"

#include <QCheckBox>
#include <QDebug>
#include <QDir>
#include <QObject>
#include <QPushButton>
#include <QRegularExpression>

namespace {

MessageBoxTestHook &testHook()
{
    static MessageBoxTestHook hook;
    return hook;
}

QString iconName(QMessageBox::Icon icon)
{
    switch (icon) {
    case QMessageBox::Information:
        return QStringLiteral("information");
    case QMessageBox::Warning:
        return QStringLiteral("warning");
    case QMessageBox::Critical:
        return QStringLiteral("error");
    case QMessageBox::Question:
        return QStringLiteral("question");
    default:
        return QStringLiteral("message");
    }
}

// What the program told the user, and the answer, go to the log as one line each.
void logBox(QMessageBox::Icon icon, const QString &text)
{
    static const QRegularExpression lineBreaks(QStringLiteral("(\\s*(<br\\s*/?>|\\n)\\s*)+"),
                                               QRegularExpression::CaseInsensitiveOption);
    qInfo().noquote() << "shown" << iconName(icon) + QLatin1Char(':') << QString(text).replace(lineBreaks, QStringLiteral(" | "));
}

void logAnswer(const QString &answer)
{
    qInfo().noquote() << "user answered:" << answer;
}

void styleBox(QMessageBox &box)
{
    // Never guessed: a plain text that holds only an escaped "<" would show the escape.
    box.setTextFormat(Qt::RichText);
    box.setStyleSheet(styleSheet());
    box.installEventFilter(new WinMovable(&box));
}

}   // namespace

void setMessageBoxTestHook(MessageBoxTestHook hook)
{
    testHook() = std::move(hook);
}

QMessageBox::StandardButton messageBox(QMessageBox::Icon icon, const QString &text, QMessageBox::StandardButtons buttons)
{
    logBox(icon, text);
    if (testHook())
        return testHook()(icon, text);

    QMessageBox box(icon, QObject::tr(AppConstants::ProductName), text, QMessageBox::NoButton, nullptr,
                    Qt::Dialog | Qt::FramelessWindowHint);
    styleBox(box);
    for (const QMessageBox::StandardButton button : {QMessageBox::Yes, QMessageBox::No, QMessageBox::Ok, QMessageBox::Cancel}) {
        if (buttons.testFlag(button))
            box.addButton(button);
    }
    // The answer that changes nothing is the one Escape and closing give; for a question,
    // Return too. A notice before a write goes on with Return, as its text tells.
    if (buttons.testFlag(QMessageBox::No)) {
        box.setEscapeButton(QMessageBox::No);
        box.setDefaultButton(QMessageBox::No);
    } else if (buttons.testFlag(QMessageBox::Cancel)) {
        box.setEscapeButton(QMessageBox::Cancel);
        if (buttons.testFlag(QMessageBox::Ok))
            box.setDefaultButton(QMessageBox::Ok);
    }
    box.exec();
    // Escape and closing give the escape button, or nothing when the box has none.
    return box.clickedButton() ? box.standardButton(box.clickedButton()) : QMessageBox::NoButton;
}

bool askWithButtons(QMessageBox::Icon icon, const QString &text, const QString &acceptText, const QString &rejectText)
{
    logBox(icon, text);
    if (testHook()) {
        const QMessageBox::StandardButton answer = testHook()(icon, text);
        return answer == QMessageBox::Yes || answer == QMessageBox::Ok;
    }
    QMessageBox box(icon, QObject::tr(AppConstants::ProductName), text, QMessageBox::NoButton, nullptr,
                    Qt::Dialog | Qt::FramelessWindowHint);
    styleBox(box);
    QPushButton *accept = box.addButton(acceptText, QMessageBox::AcceptRole);
    if (!rejectText.isEmpty()) {
        QPushButton *reject = box.addButton(rejectText, QMessageBox::RejectRole);
        box.setEscapeButton(reject);
        box.setDefaultButton(reject);
    }
    box.exec();
    return box.clickedButton() == accept;
}

bool askToContinue(const QString &text)
{
    return messageBox(QMessageBox::Information, text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

void showInformation(const QString &text)
{
    messageBox(QMessageBox::Information, text, QMessageBox::Ok);
}

bool showInformationWithOptOut(const QString &text)
{
    logBox(QMessageBox::Information, text);
    if (testHook())
        return testHook()(QMessageBox::Information, text) == QMessageBox::Yes;
    QMessageBox box(QMessageBox::Information, QObject::tr(AppConstants::ProductName), text, QMessageBox::Ok, nullptr,
                    Qt::Dialog | Qt::FramelessWindowHint);
    styleBox(box);
    auto *optOut = new QCheckBox(QStringLiteral("Don't show this again"), &box);
    box.setCheckBox(optOut);
    box.exec();
    if (optOut->isChecked())
        logAnswer(QStringLiteral("don't show again"));
    return optOut->isChecked();
}

bool showInformationOffering(const QString &text, const QString &actionText)
{
    logBox(QMessageBox::Information, text);
    if (testHook())
        return testHook()(QMessageBox::Information, text) == QMessageBox::Open;
    QMessageBox box(QMessageBox::Information, QObject::tr(AppConstants::ProductName), text, QMessageBox::NoButton, nullptr,
                    Qt::Dialog | Qt::FramelessWindowHint);
    styleBox(box);
    const QPushButton *action = box.addButton(actionText, QMessageBox::ActionRole);
    box.addButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return box.clickedButton() == action;
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
    const bool yes = messageBox(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    logAnswer(yes ? QStringLiteral("Yes") : QStringLiteral("No"));
    return yes;
}

void reportError(const QString &detail)
{
    const QString head = QStringLiteral("An Error Occurred. <br/><br/>%1<br/><br/>").arg(detail);
    // Without a vendor there is nobody to write to; the log says what happened in detail.
    const QString support = vendorSupportAddress();
    const QString tail =
        !support.isEmpty() ? QStringLiteral(" Or you can contact ") + support + QStringLiteral(" for help.")
                           : QStringLiteral("The log tells more: %1").arg(QDir::toNativeSeparators(logFolder()).toHtmlEscaped());
    showCritical(head + tail);
}
