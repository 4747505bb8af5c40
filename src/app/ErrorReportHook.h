#pragma once

#include <QString>
#include <functional>

// reportError/showCritical hand their text here after the box is closed. The update-check
// code installs the real reporter; until then nothing is sent.
using ErrorReporter = std::function<void(const QString &text)>;
void setErrorReporter(ErrorReporter reporter);
void sendToErrorReporter(const QString &text);
