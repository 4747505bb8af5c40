#include "cli/CliOutput.h"

#include "cli/CliCommand.h"

#include <QRegularExpression>

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

QString plainText(const QString &richText)
{
    static const QRegularExpression lineBreak(QStringLiteral("<br\\s*/?>|</p>"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    QString text = richText;
    text.replace(lineBreak, QStringLiteral("\n"));
    text.remove(tag);
    text.replace(QLatin1String("&lt;"), QLatin1String("<"))
        .replace(QLatin1String("&gt;"), QLatin1String(">"))
        .replace(QLatin1String("&quot;"), QLatin1String("\""))
        .replace(QLatin1String("&#39;"), QLatin1String("'"))
        .replace(QLatin1String("&nbsp;"), QLatin1String(" "))
        .replace(QLatin1String("&amp;"), QLatin1String("&"));
    return text.trimmed();
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
            printOut(plainText(progress.successText()));
        return CliExitOk;
    case ConsoleProgress::Canceled:
        printErr(QStringLiteral("Canceled."));
        return CliExitCanceled;
    case ConsoleProgress::Failed:
        break;
    }
    printErr(plainText(progress.errorText()));
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
    throw std::runtime_error(progress.errorText().toStdString());
}

void runStepsThrow(const std::function<void()> &steps)
{
    ConsoleProgress stretch;
    steps();
    if (stretch.isCanceled())
        throw CliCanceled();
}
