#include "app/AppError.h"
#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "device/AfcClient.h"
#include "device/MobileDeviceHandle.h"

#include <QDateTime>

namespace {

QString entryLine(const AfcFileInfo &entry)
{
    const QString time = entry.modified.isValid() ? entry.modified.toUTC().toString(Qt::ISODate) : QString();
    return QStringList{entry.isDir() ? QStringLiteral("d") : QStringLiteral("f"), QString::number(entry.size), time,
                       tabField(entry.path)}
        .join(QLatin1Char('\t'));
}

class FilesCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("files"); }
    QString summary() const override { return QStringLiteral("List a folder on an iPhone."); }
    QString arguments() const override { return QStringLiteral("UDID [PATH]"); }
    QString description() const override
    {
        return QStringLiteral("Lists PATH (default \"/\") of the media area, or of an app's container with --app.\n"
                              "One line per entry, tab-separated: \"d\" or \"f\", size in bytes, modification time\n"
                              "(ISO 8601, UTC), path.");
    }
    QList<QCommandLineOption> options() const override
    {
        return {QCommandLineOption(QStringLiteral("app"), QStringLiteral("List the container of the app BUNDLE."),
                                   QStringLiteral("BUNDLE"))};
    }

    int run(const QCommandLineParser &args) override
    {
        const QStringList positional = args.positionalArguments();
        if (positional.isEmpty() || positional.size() > 2)
            throw CliUsageError(QStringLiteral("files takes a UDID and at most one PATH"));
        const QString udid = positional.at(0);
        const QString path = positional.value(1, QStringLiteral("/"));

        MobileDeviceHandle *device = nullptr;
        for (MobileDeviceHandle *connected : MobileDeviceHandle::connectedDevices()) {
            if (connected->udid() == udid)
                device = connected;
        }
        if (!device)
            failWith(QStringLiteral("No iPhone with the UDID %1 is connected.").arg(udid));

        AfcClient client(device);
        client.open(args.value(QStringLiteral("app")));
        const AfcFileInfo info = client.fileInfo(path);
        if (!info.exists())
            failWith(QStringLiteral("%1 was not found on the iPhone.").arg(path));
        if (!info.isDir() && !info.isFile())
            failWith(QStringLiteral("%1 is neither a file nor a folder.").arg(path));

        const QList<AfcFileInfo> entries = info.isDir() ? client.listEntriesThrow(path) : QList<AfcFileInfo>{info};
        for (const AfcFileInfo &entry : entries)
            printOut(entryLine(entry));
        return CliExitOk;
    }
};

const CliRegistration<FilesCommand> registration;

}   // namespace
