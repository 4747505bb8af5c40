#include "cli/CliOutput.h"

#include "app/AppError.h"
#include "cli/CliCommand.h"

#include <cstdio>

namespace {

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = (text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

}   // namespace

void printOut(const QString &text)
{
    print(stdout, text);
}

void printErr(const QString &text)
{
    print(stderr, text);
}

QString tabField(const QString &text)
{
    QString field = text;
    for (QChar &c : field) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    }
    return field;
}

int reportOutcome(const ConsoleProgress &progress, ConsoleProgress::Outcome outcome)
{
    switch (outcome) {
    case ConsoleProgress::Succeeded:
        if (!progress.successText().isEmpty())
            printOut(progress.successText().trimmed());
        return CliExitOk;
    case ConsoleProgress::Canceled:
        printErr(QStringLiteral("Canceled."));
        return CliExitCanceled;
    case ConsoleProgress::Failed:
        break;
    }
    printErr(progress.errorText().trimmed());
    return CliExitFailed;
}

QString runTaskThrow(ConsoleProgress &progress, QThread &worker)
{
    switch (progress.runWorker(worker)) {
    case ConsoleProgress::Succeeded:
        return progress.successText();
    case ConsoleProgress::Canceled:
        throw CliCanceled();
    case ConsoleProgress::Failed:
        break;
    }
    failWith(progress.errorText());
}

void runStepsThrow(const std::function<void()> &steps)
{
    ConsoleProgress stretch;
    steps();
    if (stretch.isCanceled())
        throw CliCanceled();
}
