#pragma once

#include "cli/ConsoleProgress.h"

#include <QString>

#include <functional>

class QThread;

// stdout carries results only; everything else goes to stderr. Both add a line feed.
void printOut(const QString &text);
void printErr(const QString &text);

// One field of a tab-separated result line: tabs, line breaks and other control characters
// (which a name from a phone or a backup may hold) become blanks.
QString tabField(const QString &text);

// Prints how a task ended (the success text on stdout, an error or "Canceled." on stderr)
// and returns the matching exit code.
int reportOutcome(const ConsoleProgress &progress, ConsoleProgress::Outcome outcome);

// Runs a worker built with progress as its target and returns its success text. A failure
// raises AppError with the worker's message, a Ctrl-C raises CliCanceled.
QString runTaskThrow(ConsoleProgress &progress, QThread &worker);

// Runs steps (tasks and the work between them, such as loading a source) as one stretch for
// Ctrl-C: a task inside stops at a Ctrl-C that came before it, and a Ctrl-C at any moment of
// the stretch raises CliCanceled once the steps return.
void runStepsThrow(const std::function<void()> &steps);
