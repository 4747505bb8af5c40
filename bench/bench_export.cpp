// Exporting generated messages: to CSV and to HTML beside the sqlite3 shell writing the same
// rows as CSV and as an HTML table from an SQLite file (ordered by time, through an index), and
// to PDF beside plain QPainter text on the same kind of device.
// Usage: bench_export [csv-messages] [pdf-messages]
#include "BenchSupport.h"
#include "KikDataBuilder.h"
#include "db/Sqlite3DB.h"
#include "kik/KikChat.h"
#include "kik/KikRules.h"
#include "kik/KikUser.h"
#include "workers/ExportMessagesThread.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {

double exportSeconds(const KikMessageList &messages, const QString &path, int format)
{
    BenchSupport::QuietProgress progress;
    ExportMessagesThread thread(messages, path, format, &progress);
    QElapsedTimer timer;
    timer.start();
    thread.start();
    thread.wait();
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (progress.success.isEmpty()) {
        std::fprintf(stderr, "export failed: %s\n", qPrintable(progress.error));
        return -1;
    }
    return seconds;
}

QString nameColumn(const KikMessage *m)
{
    const KikUser *user = m->chat->user;
    return user->is_group && m->target_user ? userDisplayName(m->target_user) : userDisplayName(user);
}

// The rows the CSV export writes, stored as a table the shell can turn into the same CSV.
void storeRows(const QString &path, const KikMessageList &messages)
{
    Sqlite3DB db;
    db.openThrow(path, Sqlite3DB::ReadWriteCreate);
    db.execScriptThrow("create table msg(ts INTEGER, send INTEGER, user TEXT, content TEXT);");
    db.beginTran();
    for (const KikMessage *m : messages) {
        db.executeThrow(Sqlite3Sql("insert into msg(ts,send,user,content) values(?,?,?,?)")
                            .addInt64Param(m->ts.toMSecsSinceEpoch())
                            .addInt64Param(m->was_me ? 1 : 0)
                            .addTextParam(nameColumn(m))
                            .addTextParam(messageDisplayText(m)));
    }
    db.commitTran();
    db.execScriptThrow("create index msg_ts on msg(ts);");
}

// mode: "-csv" or "-html".
double shellExportSeconds(const QString &shell, const QString &mode, const QString &db, const QString &out)
{
    QProcess process;
    process.setStandardOutputFile(out);
    QElapsedTimer timer;
    timer.start();
    process.start(shell, {mode, QStringLiteral("-header"), db,
                          QStringLiteral("select strftime('%Y-%m-%d %H:%M:%S', ts/1000, 'unixepoch') as date, "
                                         "send, user, content from msg order by ts")});
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "sqlite3 failed: %s\n", process.readAllStandardError().constData());
        return -1;
    }
    return timer.nsecsElapsed() / 1e9;
}

// The floor of PDF output: every message's text as one line of plain text, page after page.
double plainPdfSeconds(const KikMessageList &messages, const QString &path)
{
    QElapsedTimer timer;
    timer.start();
    QPdfWriter writer(path);
    writer.setResolution(96);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Point);
    QPainter painter(&writer);
    const int pageHeight = painter.viewport().height();
    const int lineHeight = painter.fontMetrics().height() + 10;
    int y = 0;
    for (const KikMessage *m : messages) {
        if (y + lineHeight > pageHeight) {
            writer.newPage();
            y = 0;
        }
        painter.drawText(QPoint(0, y + painter.fontMetrics().ascent()), messageDisplayText(m));
        y += lineHeight;
    }
    painter.end();
    return timer.nsecsElapsed() / 1e9;
}

void report(const char *what, double seconds, qint64 count, double baseline)
{
    std::printf("%-46s %8.3f s  %10.0f messages/s", what, seconds, count / seconds);
    if (baseline > 0)
        std::printf("  this/baseline = %.2f", seconds / baseline);
    std::printf("\n");
}

qint64 argument(int argc, char **argv, int index, qint64 fallback)
{
    return argc > index && QByteArray(argv[index]).toLongLong() > 0 ? QByteArray(argv[index]).toLongLong() : fallback;
}

}   // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const qint64 csvCount = argument(argc, argv, 1, 300000);
    const qint64 pdfCount = argument(argc, argv, 2, 10000);
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }

    std::printf("CSV export of %lld generated messages\n", static_cast<long long>(csvCount));
    const KikDataSetPtr data = generateKikData(200, csvCount);
    const KikMessageList messages = data->allMessages();
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    double shellSeconds = 0;
    double shellHtmlSeconds = 0;
    if (shell.isEmpty()) {
        std::printf("sqlite3 shell not found: no baseline\n");
    } else {
        const QString db = dir.filePath(QStringLiteral("rows.sqlite"));
        storeRows(db, messages);
        shellSeconds = shellExportSeconds(shell, QStringLiteral("-csv"), db, dir.filePath(QStringLiteral("shell.csv")));
        report("sqlite3 -csv, same rows ordered by time", shellSeconds, csvCount, 0);
        shellHtmlSeconds = shellExportSeconds(shell, QStringLiteral("-html"), db, dir.filePath(QStringLiteral("shell.html")));
    }
    const QString csv = dir.filePath(QStringLiteral("export.csv"));
    const double csvSeconds = exportSeconds(messages, csv, ExportMessagesThread::FormatCsv);
    if (csvSeconds < 0)
        return 1;
    report("ExportMessagesThread, CSV", csvSeconds, csvCount, shellSeconds);
    if (!shell.isEmpty())
        std::printf("  files: export %lld bytes, shell %lld bytes\n", static_cast<long long>(QFileInfo(csv).size()),
                    static_cast<long long>(QFileInfo(dir.filePath(QStringLiteral("shell.csv"))).size()));

    std::printf("HTML export of the same messages\n");
    if (shellHtmlSeconds > 0)
        report("sqlite3 -html, same rows ordered by time", shellHtmlSeconds, csvCount, 0);
    const double htmlSeconds = exportSeconds(messages, dir.filePath(QStringLiteral("html")), ExportMessagesThread::FormatHtml);
    if (htmlSeconds < 0)
        return 1;
    report("ExportMessagesThread, HTML (bubble pages)", htmlSeconds, csvCount, shellHtmlSeconds);

    std::printf("PDF export of %lld generated messages\n", static_cast<long long>(pdfCount));
    const KikDataSetPtr pdfData = generateKikData(20, pdfCount, 2);
    const KikMessageList pdfMessages = pdfData->allMessages();
    const double plainSeconds = plainPdfSeconds(pdfMessages, dir.filePath(QStringLiteral("plain.pdf")));
    report("QPainter text lines on QPdfWriter", plainSeconds, pdfCount, 0);
    const double pdfSeconds = exportSeconds(pdfMessages, dir.filePath(QStringLiteral("pdf")), ExportMessagesThread::FormatPdf);
    if (pdfSeconds < 0)
        return 1;
    report("ExportMessagesThread, PDF (bubbles)", pdfSeconds, pdfCount, plainSeconds);
    return 0;
}
