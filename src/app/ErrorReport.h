#pragma once

#include <QByteArray>
#include <QString>

// The error report posted to the vendor after every error box: the product, its version and
// the error text, each field encoded with encodeReportField. The answer is never read.
void sendErrorReport(const QString &text);
// The form body sendErrorReport posts for a text.
QByteArray errorReportBody(const QString &text);
// Base64 of the UTF-8 text with "/" turned into "!" and "=" into "-".
QString encodeReportField(const QString &text);
// Makes sendErrorReport the reporter behind reportError and showCritical.
void installErrorReporter();
