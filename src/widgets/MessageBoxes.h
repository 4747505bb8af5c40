#pragma once

#include "widgets/Export.h"

#include <QMessageBox>
#include <QString>
#include <functional>

// Every message box of the program: modal, frameless, styled and draggable. Texts are the
// window's rich text; a plain text from the layers below goes in through richTextOf
// (widgets/RichText.h).
PARLEWICK_WIDGETS_EXPORT QMessageBox::StandardButton messageBox(QMessageBox::Icon icon, const QString &text,
                                                                QMessageBox::StandardButtons buttons);
// A box with buttons of the caller's own texts (the second one only when given): true when
// the first (accept) button closed it. With a second button, Return,
// Escape and closing the box choose that one. The test hook answers it with Yes or Ok for that button.
PARLEWICK_WIDGETS_EXPORT bool askWithButtons(QMessageBox::Icon icon, const QString &text, const QString &acceptText,
                                             const QString &rejectText = QString());
// A box before something is written or deleted: Ok goes on; Cancel, Escape and closing the box
// stop. True only for Ok.
PARLEWICK_WIDGETS_EXPORT bool askToContinue(const QString &text);
PARLEWICK_WIDGETS_EXPORT void showInformation(const QString &text);
// An information box with a "Don't show this again" box: true when the user ticked it. The test
// hook ticks it by answering Yes.
PARLEWICK_WIDGETS_EXPORT bool showInformationWithOptOut(const QString &text);
// An information box with Ok and a button of the caller's words ("Open folder"): true when that
// button closed it. Return, Escape and closing the box choose Ok. The test hook answers it with
// Open for that button.
PARLEWICK_WIDGETS_EXPORT bool showInformationOffering(const QString &text, const QString &actionText);
PARLEWICK_WIDGETS_EXPORT void showWarning(const QString &text);
PARLEWICK_WIDGETS_EXPORT void showCritical(const QString &text);
// Yes and No, No being the default: Return alone, Escape and closing the box all answer No.
PARLEWICK_WIDGETS_EXPORT bool askQuestion(const QString &text);
// The detail as an error box ending with where to turn: the vendor's support address where a
// vendor host is configured, else the folder of the log.
PARLEWICK_WIDGETS_EXPORT void reportError(const QString &detail);

// Tests answer boxes through this hook instead of showing them: it receives the icon and
// text and returns the button that "closed" the box. Pass an empty function to remove it.
using MessageBoxTestHook = std::function<QMessageBox::StandardButton(QMessageBox::Icon, const QString &)>;
PARLEWICK_WIDGETS_EXPORT void setMessageBoxTestHook(MessageBoxTestHook hook);
