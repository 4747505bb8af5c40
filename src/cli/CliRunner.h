#pragma once

#include <QStringList>

// Runs parlewick-cli with its arguments (without the program name) and returns the exit code.
int runCli(const QStringList &arguments);
