#pragma once

#include "app/Export.h"

#include <QByteArray>
#include <QString>

// The error report posted to the vendor: the product, its version and the error text with the
// paths of the user's files taken out, each field encoded with encodeReportField. Nothing is
// sent without a vendor host. The answer is never read. Whether the user agreed is the
// caller's business (see ErrorReportConsent.h).
PARLEWICK_APP_EXPORT void sendErrorReport(const QString &text);
// The form body sendErrorReport posts for a text.
PARLEWICK_APP_EXPORT QByteArray errorReportBody(const QString &text);
// Base64 of the UTF-8 text with "/" turned into "!" and "=" into "-".
PARLEWICK_APP_EXPORT QString encodeReportField(const QString &text);
