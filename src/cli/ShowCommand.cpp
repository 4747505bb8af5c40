#include "app/AppError.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "cli/CliSource.h"
#include "kik/KikMessageKind.h"
#include "kik/KikRules.h"
#include "workers/AbsTextFileExport.h"

#include <QDateTime>

#include <algorithm>
#include <cstdio>

namespace {

const QString kChat = QStringLiteral("chat");
const QString kJson = QStringLiteral("json");

// Control characters from a message (an escape sequence among them) would drive the terminal.
QString oneLine(QString text)
{
    return tabField(text.remove(QLatin1Char('\r')));
}

QByteArray jsonString(const QString &text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += QLatin1Char('"');
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        default:
            // DEL and the C1 controls too: some terminals take U+009B for the start of a sequence.
            if (c.category() == QChar::Other_Control)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += QLatin1Char('"');
    return out.toUtf8();
}

QByteArray jsonTime(const QDateTime &time)
{
    return time.isValid() ? QByteArray::number(time.toMSecsSinceEpoch()) : QByteArrayLiteral("null");
}

QByteArray jsonBool(bool value)
{
    return value ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
}

void write(const QByteArray &bytes)
{
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()))
        failWith(QStringLiteral("Cannot write to the standard output."));
}

QByteArray jsonMessage(const KikMessage *message)
{
    return QByteArrayLiteral("{\"id\": ") + QByteArray::number(message->id) + QByteArrayLiteral(", \"uid\": ")
           + jsonString(message->uid) + QByteArrayLiteral(", \"ts\": ") + jsonTime(message->ts)
           + QByteArrayLiteral(", \"was_me\": ") + jsonBool(message->was_me) + QByteArrayLiteral(", \"sender\": ")
           + jsonString(AbsTextFileExport::nameColumn(message)) + QByteArrayLiteral(", \"text\": ")
           + jsonString(messageDisplayText(message)) + QByteArrayLiteral(", \"app_id\": ") + jsonString(message->app_id)
           + QByteArrayLiteral(", \"content_id\": ") + jsonString(message->content_id) + QByteArrayLiteral(", \"kind\": ")
           + jsonString(messageKindName(messageKindOf(message))) + '}';
}

// A group's admins among its members (their Kik addresses) and whether the phone's owner is one.
QByteArray jsonAdmins(const KikUser *group)
{
    QByteArray list;
    for (const KikMember &member : group->members) {
        if (member.is_admin && member.user)
            list += (list.isEmpty() ? "" : ", ") + jsonString(member.user->jid);
    }
    return QByteArrayLiteral(", \"admins\": [") + list + QByteArrayLiteral("], \"owner_is_admin\": ")
           + jsonBool(group->is_group_admin);
}

void writeJson(const QList<KikChat *> &chats)
{
    write("{\"chats\": [");
    for (qsizetype c = 0; c < chats.size(); ++c) {
        const KikChat *chat = chats[c];
        KikMessageList messages = chat->messages;
        sortMessages(messages);
        QByteArray head = c == 0 ? "\n" : ",\n";
        head += QByteArrayLiteral("{\"id\": ") + QByteArray::number(chat->id) + QByteArrayLiteral(", \"name\": ")
                + jsonString(chatDisplayName(chat)) + QByteArrayLiteral(", \"jid\": ")
                + jsonString(chat->user ? chat->user->jid : QString()) + QByteArrayLiteral(", \"is_group\": ")
                + jsonBool(chat->user && chat->user->is_group) + QByteArrayLiteral(", \"last_ts\": ") + jsonTime(chat->last_ts);
        if (chat->user && chat->user->is_group)
            head += jsonAdmins(chat->user);
        head += QByteArrayLiteral(", \"messages\": [");
        write(head);
        for (qsizetype m = 0; m < messages.size(); ++m)
            write((m == 0 ? "\n" : ",\n") + jsonMessage(messages[m]));
        write("]}");
    }
    write("\n]}\n");
}

QString textTime(const QDateTime &time)
{
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) : QStringLiteral("-");
}

void writeText(const QList<KikChat *> &chats)
{
    for (qsizetype c = 0; c < chats.size(); ++c) {
        const KikChat *chat = chats[c];
        KikMessageList messages = chat->messages;
        sortMessages(messages);
        QString text = c == 0 ? QString() : QStringLiteral("\n");
        text += QStringLiteral("%1 (%2), %3 messages, last %4\n")
                    .arg(oneLine(chatDisplayName(chat)), chat->user ? oneLine(chat->user->jid) : QString())
                    .arg(messages.size())
                    .arg(textTime(chat->last_ts));
        const QString members = chat->user && chat->user->is_group ? groupMembersText(chat->user) : QString();
        if (!members.isEmpty())
            text += QStringLiteral("  members: ") + oneLine(members) + QLatin1Char('\n');
        write(text.toUtf8());
        for (const KikMessage *message : std::as_const(messages)) {
            write(QStringLiteral("  %1  %2  %3: %4\n")
                      .arg(textTime(message->ts), message->was_me ? QStringLiteral("To  ") : QStringLiteral("From"),
                           oneLine(AbsTextFileExport::nameColumn(message)), oneLine(messageDisplayText(message)))
                      .toUtf8());
        }
    }
}

class ShowCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("show"); }
    QString summary() const override { return QStringLiteral("Print the chats and messages of a source."); }
    QString arguments() const override { return QStringLiteral("SOURCE"); }
    QString description() const override
    {
        return CliSource::optionsHelp()
               + QStringLiteral(
                   "\n\nChats are listed newest first, each with its messages in order. --json prints one object:\n"
                   "{\"chats\": [{\"id\", \"name\", \"jid\", \"is_group\", \"last_ts\", \"messages\": [{\"id\", \"uid\",\n"
                   "\"ts\", \"was_me\", \"sender\", \"text\", \"app_id\", \"content_id\", \"kind\"}]}]} with times in\n"
                   "milliseconds since 1970 (UTC). \"kind\" is text, picture, video, gif, sticker or card. A group's\n"
                   "chat also has \"admins\" (the Kik addresses of its members who are admins) and \"owner_is_admin\"\n"
                   "(whether the phone's owner is one).");
    }
    QList<QCommandLineOption> options() const override
    {
        return CliSource::options()
               + QList<QCommandLineOption>{QCommandLineOption(kChat,
                                                              QStringLiteral("Only the chat whose name or Kik address is NAME."),
                                                              QStringLiteral("NAME")),
                                           QCommandLineOption(kJson, QStringLiteral("Print JSON instead of text."))};
    }

    int run(const QCommandLineParser &args) override
    {
        if (!args.positionalArguments().isEmpty())
            throw CliUsageError(QStringLiteral("unexpected argument '%1'").arg(args.positionalArguments().first()));
        const KikDataSetPtr data = CliSource::loadThrow(args);
        QList<KikChat *> chats = args.isSet(kChat) ? CliSource::chatsNamedThrow(*data, args.value(kChat)) : data->allChats();
        // Chats of the same time keep the order of their ids.
        std::stable_sort(chats.begin(), chats.end(), chatNewerThan);
        if (args.isSet(kJson))
            writeJson(chats);
        else
            writeText(chats);
        std::fflush(stdout);
        return CliExitOk;
    }
};

const CliRegistration<ShowCommand> registration;

}   // namespace
