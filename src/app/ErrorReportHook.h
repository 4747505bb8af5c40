#pragma once

#include "app/Export.h"

#include <QString>
#include <functional>

// reportError/showCritical hand their text here after the box is closed. The update-check
// code installs the real reporter; until then nothing is sent.
using ErrorReporter = std::function<void(const QString &text)>;
PARLEWICK_APP_EXPORT void setErrorReporter(ErrorReporter reporter);
PARLEWICK_APP_EXPORT void sendToErrorReporter(const QString &text);
