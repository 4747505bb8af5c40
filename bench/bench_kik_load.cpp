// Loading a generated Kik store of a million messages, and a local database made from it, into
// records: messages per second and peak memory per message, beside the sqlite3 shell running
// the loader's queries with its output thrown away. Each load runs in a child process of its
// own, so that its memory peak is its own.
//
// Records keep local times. Qt asks the C library for the zone on every conversion, and with
// TZ unset glibc then checks /etc/localtime each time: when TZ is unset, the loads are also
// measured with TZ=:/etc/localtime, which spares those checks.
#include "BenchSupport.h"

#include "kik/IOSKikDb.h"
#include "kik/KikLocalDb.h"
#include "kik/KikRules.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <stdexcept>

using namespace BenchSupport;

namespace {

const QByteArray KikQueries = "select * from Z_6ADMINSINVERSE;\nselect * from Z_6BANSINVERSE;\nselect * from ZKIKUSER;\n"
                              "select * from Z_6MEMBERS;\nselect * from ZKIKCHAT;\n"
                              "select m.*,a.ZCONTENT from ZKIKMESSAGE as m left join ZKIKATTACHMENT as a on m.Z_PK=a.ZMESSAGE;\n"
                              "select * from Z_3MESSAGES;\n";
const QByteArray LocalQueries = "select * from kik_user;\nselect * from kik_user_members;\nselect * from kik_chat;\n"
                                "select * from kik_message;\nselect * from kik_chat_messages;\n";

// Child: loads one database and prints "seconds messages peak-bytes resident-bytes".
int measure(const QString &kind, const QString &folder)
{
    std::unique_ptr<AbsKikDb> db;
    if (kind == QLatin1String("kik"))
        db = std::make_unique<IOSKikDb>(folder);
    else
        db = std::make_unique<KikLocalDb>(folder);
    db->open();
    const qint64 before = statusBytes("VmRSS:");
    KikDataSetPtr data(new KikDataSet);
    QElapsedTimer timer;
    timer.start();
    db->load(data);
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("%.4f %lld %lld %lld\n", seconds, static_cast<long long>(data->messages.size()),
                static_cast<long long>(statusBytes("VmHWM:") - before), static_cast<long long>(statusBytes("VmRSS:") - before));
    return 0;
}

// Child: a local database holding every message of the Kik store, merged as the backup does.
int makeLocal(const QString &kikFolder, const QString &localFolder)
{
    IOSKikDb kik(kikFolder);
    KikDataSetPtr data(new KikDataSet);
    kik.load(data);
    KikMessageList messages = data->allMessages();
    sortMessages(messages);
    KikLocalDb local(localFolder);
    local.open();
    local.beginTran();
    for (const KikMessage *message : std::as_const(messages)) {
        qint64 user = local.findUserByJid(message->chat->user);
        if (user == 0)
            user = local.insertUser(message->chat->user);
        qint64 chat = local.findChatByUserId(user);
        if (chat == 0)
            chat = local.insertChat(user, message->chat);
        qint64 id = local.findMessageByUid(message->uid);
        if (id == 0)
            id = local.insertMessage(message);
        local.addChatMessage(chat, id, message->ts);
    }
    local.commitTran();
    local.updateLastTs();
    std::printf("%lld\n", static_cast<long long>(messages.size()));
    return 0;
}

void report(const char *what, const QByteArray &childOutput, double shell = -1)
{
    const QList<QByteArray> fields = childOutput.trimmed().split(' ');
    if (fields.size() != 4) {
        std::printf("%-36s failed\n", what);
        return;
    }
    const double seconds = fields.at(0).toDouble();
    const double messages = fields.at(1).toDouble();
    std::printf("%-36s %7.3f s %9.0f messages/s  peak %4.0f bytes/message (resident after %4.0f)\n", what, seconds,
                messages / seconds, fields.at(2).toDouble() / messages, fields.at(3).toDouble() / messages);
    if (shell > 0)
        std::printf("%-36s %7.3f s %9.0f messages/s  load/shell = %.2f\n", "  sqlite3 shell, same queries", shell,
                    messages / shell, seconds / shell);
}

}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    try {
        if (args.size() == 3 && args.at(0) == QLatin1String("--measure"))
            return measure(args.at(1), args.at(2));
        if (args.size() == 3 && args.at(0) == QLatin1String("--make-local"))
            return makeLocal(args.at(1), args.at(2));
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }

    qint64 messages = 1000000;
    if (!args.isEmpty() && args.first().toLongLong() > 0)
        messages = args.first().toLongLong();
    QTemporaryDir dir;
    const QString kik = dir.filePath(QStringLiteral("kik"));
    const QString local = dir.filePath(QStringLiteral("local"));
    std::printf("Generating a Kik store of %lld messages in 20 chats (0.5%% attachments)\n", static_cast<long long>(messages));
    std::fflush(stdout);
    QProcess generator;
    generator.setProcessChannelMode(QProcess::ForwardedChannels);
    generator.start(QCoreApplication::applicationDirPath() + QStringLiteral("/make-kik-store"),
                    {kik, QStringLiteral("--chats"), QStringLiteral("18"), QStringLiteral("--groups"), QStringLiteral("2"),
                     QStringLiteral("--messages-per-chat"), QString::number((messages + 19) / 20),
                     QStringLiteral("--attachments"), QStringLiteral("0.005")});
    if (!generator.waitForFinished(-1) || generator.exitCode() != 0) {
        std::fprintf(stderr, "make-kik-store failed\n");
        return 1;
    }
    const QString store = kik + QStringLiteral("/Documents/kik.sqlite");
    const bool zoneUnset = qEnvironmentVariableIsEmpty("TZ");
    const QString fixedZone = QStringLiteral(":/etc/localtime");
    shellSeconds(store, KikQueries);   // warms the file cache for both
    const QByteArray kikLoad = runSelf({QStringLiteral("--measure"), QStringLiteral("kik"), kik});
    const double kikShell = shellSeconds(store, KikQueries);
    report(zoneUnset ? "Kik store, TZ unset" : "Kik store", kikLoad, kikShell);
    if (zoneUnset)
        report("Kik store, TZ=:/etc/localtime", runSelf({QStringLiteral("--measure"), QStringLiteral("kik"), kik}, fixedZone),
               kikShell);

    std::printf("Building a local database from it\n");
    std::fflush(stdout);
    if (runSelf({QStringLiteral("--make-local"), kik, local}).isNull()) {
        std::fprintf(stderr, "building the local database failed\n");
        return 1;
    }
    const QString localFile = local + QStringLiteral("/talvora-kik.db");
    shellSeconds(localFile, LocalQueries);
    const QByteArray localLoad = runSelf({QStringLiteral("--measure"), QStringLiteral("local"), local});
    const double localShell = shellSeconds(localFile, LocalQueries);
    report(zoneUnset ? "local database, TZ unset" : "local database", localLoad, localShell);
    if (zoneUnset)
        report("local database, TZ=:/etc/localtime",
               runSelf({QStringLiteral("--measure"), QStringLiteral("local"), local}, fixedZone), localShell);
    return 0;
}
