// make-kik-store: writes a generated mirror of Kik's app container for tests, benchmarks and
// demonstrations. Prints what it wrote.
#include "kikstore/KikStoreGenerator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <stdexcept>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a generated Kik container mirror (Documents/kik.sqlite and its files)."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("folder"), QStringLiteral("the mirror folder to write"));
    const KikStoreOptions defaults;
    const auto option = [&parser](const char *name, const char *what, const QString &value) {
        QCommandLineOption result(QLatin1String(name), QLatin1String(what), QStringLiteral("n"), value);
        parser.addOption(result);
        return result;
    };
    const QCommandLineOption contacts = option("contacts", "contacts besides the owner", QString::number(defaults.contacts));
    const QCommandLineOption groups = option("groups", "groups, each with a chat", QString::number(defaults.groups));
    const QCommandLineOption members = option("members", "members per group", QString::number(defaults.membersPerGroup));
    const QCommandLineOption admins = option("admins", "admins per group", QString::number(defaults.adminsPerGroup));
    const QCommandLineOption bans = option("bans", "banned users per group", QString::number(defaults.bansPerGroup));
    const QCommandLineOption chats = option("chats", "one-to-one chats", QString::number(defaults.chats));
    const QCommandLineOption perChat =
        option("messages-per-chat", "messages per chat", QString::number(defaults.messagesPerChat));
    const QCommandLineOption attachments =
        option("attachments", "share of attachments (0..1)", QString::number(defaults.attachmentShare));
    const QCommandLineOption render =
        option("render", "share of render instructions (0..1)", QString::number(defaults.renderInstructionShare));
    const QCommandLineOption emoji = option("emoji", "share of bodies with emoji (0..1)", QString::number(defaults.emojiShare));
    const QCommandLineOption seed = option("seed", "random seed", QString::number(defaults.seed));
    const QCommandLineOption noFiles(QStringLiteral("no-side-files"), QStringLiteral("write only the database"));
    parser.addOption(noFiles);
    const QCommandLineOption layout(QStringLiteral("layout"),
                                    QStringLiteral("old: KikUser is entity 6 (Z_6MEMBERS); new: the newer numbering "
                                                   "(Z_9MEMBERS) with the newer columns and entities"),
                                    QStringLiteral("old|new"), QStringLiteral("old"));
    parser.addOption(layout);
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const QString layoutName = parser.value(layout);
    if (layoutName != QLatin1String("old") && layoutName != QLatin1String("new")) {
        std::fprintf(stderr, "make-kik-store: --layout takes old or new, not %s\n", qPrintable(layoutName));
        return 2;
    }

    KikStoreOptions options;
    options.contacts = parser.value(contacts).toInt();
    options.groups = parser.value(groups).toInt();
    options.membersPerGroup = parser.value(members).toInt();
    options.adminsPerGroup = parser.value(admins).toInt();
    options.bansPerGroup = parser.value(bans).toInt();
    options.chats = parser.value(chats).toInt();
    options.messagesPerChat = parser.value(perChat).toInt();
    options.attachmentShare = parser.value(attachments).toDouble();
    options.renderInstructionShare = parser.value(render).toDouble();
    options.emojiShare = parser.value(emoji).toDouble();
    options.seed = parser.value(seed).toUInt();
    options.sideFiles = !parser.isSet(noFiles);
    options.collectUids = false;
    options.layout = layoutName == QLatin1String("new") ? KikStoreLayout::New : KikStoreLayout::Old;

    QElapsedTimer timer;
    timer.start();
    try {
        const GeneratedKikStore store = KikStoreGenerator(options).generate(parser.positionalArguments().first());
        std::printf("%s\nusers %d, groups %d, chats %d, messages %lld (+%lld status lines), attachments %d, "
                    "render instructions %d, emoji %d, %.1f s\n",
                    qPrintable(store.storePath), store.users, store.groups, store.chats, static_cast<long long>(store.messages),
                    static_cast<long long>(store.statusLines), store.attachments, store.renderInstructionMessages,
                    store.emojiMessages, timer.elapsed() / 1000.0);
    } catch (const std::runtime_error &error) {
        std::fprintf(stderr, "make-kik-store: %s\n", error.what());
        return 1;
    }
    return 0;
}
