#include "workers/ExportMessagesThread.h"

#include "app/AppError.h"
#include "app/AppFolders.h"
#include "app/FileReasons.h"
#include "app/FileUtils.h"
#include "kik/KikChat.h"
#include "kik/KikRules.h"
#include "kik/KikUser.h"
#include "workers/AbsProgressTarget.h"
#include "workers/ExportMessagesCsv.h"
#include "workers/ExportMessagesHtml.h"
#include "workers/ExportMessagesPdf.h"
#include "workers/ExportMessagesTxt.h"
#include "workers/PlainFileCopy.h"
#include "workers/TaskRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <functional>
#include <limits>
#include <vector>

namespace {

// File systems take 255 bytes per name; the saved file's temporary name needs a few more.
constexpr qsizetype MaxFileNameBytes = 200;
// Progress is shown to a person: a report per changed percent, or a few per second, is enough.
constexpr qint64 ReportIntervalMs = 100;

bool isPerChat(int format)
{
    return format == ExportMessagesThread::FormatPdf || format == ExportMessagesThread::FormatHtml;
}

QString shortenedToBytes(QString text, qsizetype maxBytes)
{
    if (text.size() > maxBytes)
        text.truncate(maxBytes);
    while (text.toUtf8().size() > maxBytes) {
        text.chop(1);
        if (!text.isEmpty() && text.back().isHighSurrogate())
            text.chop(1);
    }
    return text;
}

// Messages of one chat together, chats by id, each chat's messages in display order. Gathered
// chat by chat in one pass: a stable sort of a million messages by their chat's id spent its
// time fetching the chats again and again.
void sortByChat(KikMessageList &messages)
{
    QHash<const KikChat *, qsizetype> groupOf;
    std::vector<KikMessageList> groups;
    for (KikMessage *message : std::as_const(messages)) {
        auto group = groupOf.constFind(message->chat);
        if (group == groupOf.constEnd()) {
            group = groupOf.insert(message->chat, qsizetype(groups.size()));
            groups.emplace_back();
        }
        groups[size_t(*group)].append(message);
    }
    const auto chatLess = [](const KikMessageList &a, const KikMessageList &b) {
        const KikChat *chatA = a.first()->chat;
        const KikChat *chatB = b.first()->chat;
        const qint64 idA = chatA ? chatA->id : std::numeric_limits<qint64>::min();
        const qint64 idB = chatB ? chatB->id : std::numeric_limits<qint64>::min();
        return idA != idB ? idA < idB : std::less<const KikChat *>()(chatA, chatB);
    };
    std::sort(groups.begin(), groups.end(), chatLess);
    const qsizetype total = messages.size();
    messages.clear();
    messages.reserve(total);
    for (KikMessageList &group : groups) {
        sortMessages(group);
        messages.append(group);
    }
}

}   // namespace

ExportMessagesThread::ExportMessagesThread(const KikMessageList &messages, const QString &outputPath, int format,
                                           AbsProgressTarget *form, QObject *parent)
    : QThread(parent)
    , m_messages(messages)
    , m_outputPath(outputPath)
    , m_format(format)
    , m_form(form)
{
}

QString ExportMessagesThread::chatFileName(const KikChat *chat, const QString &suffix)
{
    QString unknown = QStringLiteral("unknown-chat.") + suffix;
    if (!chat || !chat->user)
        return unknown;
    static const QRegularExpression invisible(QStringLiteral("[\\t\\n\\r\\x{202A}\\x{00A0}\\x{202C}]"));
    QString name = userDisplayName(chat->user);
    name.remove(invisible);
    const QString fileName = sanitizeFileName(name + QLatin1Char('.') + suffix);
    // A name of nothing but forbidden characters would leave only ".pdf".
    QString base = fileName.chopped(suffix.size() + 1);
    static const QRegularExpression onlyDots(QStringLiteral("^[.\\s_]*$"));
    if (onlyDots.match(base).hasMatch())
        return unknown;
    base = shortenedToBytes(base, MaxFileNameBytes - suffix.toUtf8().size() - 1);
    return base + QLatin1Char('.') + suffix;
}

void ExportMessagesThread::run()
{
    postProgress(m_form, QObject::tr("IDS_EXPORTING_MESSAGES_TO_FILE"), -1, QString());
    runTask(
        m_form,
        [this] {
            m_exported = exportMessages();
            return QObject::tr("IDS_SUC_EXPORT_%n_MMS", nullptr, m_exported);
        },
        [this] { discardOutput(); });
}

int ExportMessagesThread::exportMessages()
{
    if (isPerChat(m_format))
        m_staging.beginThrow(m_outputPath);
    const qsizetype total =
        std::count_if(m_messages.cbegin(), m_messages.cend(), [](const KikMessage *m) { return m->chat != nullptr; });
    // Started before sorting, so that the pictures are copied while the pages are made.
    if (m_format == FormatHtml && total > 0)
        prepareHtmlFolders();
    sortForFormat();

    int count = 0;
    int reportedValue = -1;
    QElapsedTimer sinceReport;
    Writer writer;
    const KikChat *writerChat = nullptr;
    for (const KikMessage *message : std::as_const(m_messages)) {
        m_form->throwIfCanceled();
        if (!message->chat)
            continue;
        ++count;
        const int value = int(double(count) / double(total) * 100);
        // The clock is read now and then only: for short messages it would cost more than the work.
        const bool reportDue = count % 256 == 0 && sinceReport.elapsed() >= ReportIntervalMs;
        if (value != reportedValue || count == total || reportDue) {
            postProgress(m_form, QString(), value, tr("Messages: %1/%2").arg(count).arg(total));
            reportedValue = value;
            sinceReport.start();
        }

        switch (m_format) {
        case FormatText:
        case FormatCsv:
            if (!writer) {
                if (m_format == FormatText)
                    writer = std::make_shared<ExportMessagesTxt>(m_outputPath, m_emojiStyle, textChatColumn());
                else
                    writer = std::make_shared<ExportMessagesCsv>(m_outputPath, m_emojiStyle, m_csvGuard);
                writer->begin();
            }
            break;
        case FormatPdf:
        case FormatHtml:
            if (message->chat != writerChat) {
                if (writer)
                    writer->end();
                writer = openChatWriter(message->chat);
                writerChat = message->chat;
                writer->begin();
            }
            break;
        default:
            failWith(QStringLiteral("not support export format."));
        }
        writer->write(message);
    }
    if (writer)
        writer->end();
    m_staging.publishThrow();
    return count;
}

// Lines of several named chats in one text file say which chat they belong to.
ExportMessagesTxt::ChatColumn ExportMessagesThread::textChatColumn() const
{
    const KikChat *first = nullptr;
    for (const KikMessage *message : m_messages) {
        if (!message->chat || !message->chat->user)
            continue;
        if (first && message->chat != first)
            return ExportMessagesTxt::ChatColumn::With;
        first = message->chat;
    }
    return ExportMessagesTxt::ChatColumn::Without;
}

void ExportMessagesThread::discardOutput()
{
    m_staging.discard();
}

void ExportMessagesThread::sortForFormat()
{
    if (isPerChat(m_format))
        sortByChat(m_messages);
    else
        sortMessages(m_messages);
}

// Every chat gets a file of its own: a name already taken, in the chosen folder or by another
// chat of the same name, gets a number instead of being overwritten. The name is taken by
// creating the file, so nothing that appears meanwhile is written over.
ExportMessagesThread::Writer ExportMessagesThread::openChatWriter(const KikChat *chat)
{
    const bool pdf = m_format == FormatPdf;
    const QString path = createUniqueFile(
        QDir(m_staging.folder()).filePath(chatFileName(chat, pdf ? QStringLiteral("pdf") : QStringLiteral("html"))),
        {m_staging.target()});
    Writer writer;
    if (pdf)
        writer = std::make_shared<ExportMessagesPdf>(path, m_emojiStyle);
    else
        writer = std::make_shared<ExportMessagesHtml>(m_staging.folder(), QFileInfo(path).fileName(), m_staging.target());
    return writer;
}

// The pages share one "files" folder (style sheet, bubble pictures, copied attachments and
// pictures) and the emoji folders, which get the pictures the pages show as they are written.
void ExportMessagesThread::prepareHtmlFolders()
{
    const QDir program(applicationFolder());
    const QDir staging(m_staging.folder());
    for (const QString &folder : {QStringLiteral("files"), QStringLiteral("emoji"), QStringLiteral("kikemoji")}) {
        makeFolderThrow(staging.filePath(folder));
    }
    // Copied before any page: an attachment copied into "files" must not take one of their names.
    copyPlainFiles(program.filePath(QStringLiteral("kikbb")), staging.filePath(QStringLiteral("files")));
}
