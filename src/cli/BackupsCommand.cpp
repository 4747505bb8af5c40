#include "cli/CliCommand.h"
#include "cli/CliOutput.h"
#include "itunes/BackupDiscovery.h"
#include "itunes/BackupManifest.h"

#include <QDir>

#include <algorithm>
#include <stdexcept>

namespace {

struct ListedBackup
{
    QDateTime date;
    QString line;
};

QString finishedText(const BackupManifest &backup)
{
    return backup.isFinished() ? QStringLiteral("finished") : QStringLiteral("unfinished");
}

class BackupsCommand : public CliCommand
{
public:
    QString name() const override { return QStringLiteral("backups"); }
    QString summary() const override { return QStringLiteral("List the iTunes backups found on this computer."); }
    QString description() const override
    {
        return QStringLiteral("One backup per line, newest first, tab-separated: display name, backup date (ISO 8601),\n"
                              "encrypted (0 or 1), absolute path, iOS version, finished or unfinished (an unfinished\n"
                              "backup cannot be loaded). Without --root the places iTunes uses are searched.");
    }
    QList<QCommandLineOption> options() const override
    {
        return {QCommandLineOption(QStringLiteral("root"),
                                   QStringLiteral("Look for backups in DIR instead (may be given more than once)."),
                                   QStringLiteral("DIR"))};
    }

    int run(const QCommandLineParser &args) override
    {
        if (!args.positionalArguments().isEmpty())
            throw CliUsageError(QStringLiteral("backups takes no arguments"));
        const QStringList roots = args.isSet(QStringLiteral("root")) ? args.values(QStringLiteral("root")) : backupRootFolders();
        QList<ListedBackup> listed;
        for (const QString &root : roots) {
            if (const QString problem = backupRootProblem(root); !problem.isEmpty())
                printErr(tabField(problem));
            for (const QString &folder : backupFolders(root)) {
                BackupManifest backup(folder);
                try {
                    backup.readInfo();
                } catch (const std::exception &error) {
                    // One unreadable backup does not hide the others.
                    printErr(QStringLiteral("load %1 error. %2").arg(folder, QString::fromUtf8(error.what()).trimmed()));
                    continue;
                }
                const QString date =
                    backup.backupDate().isValid() ? backup.backupDate().toUTC().toString(Qt::ISODate) : QString();
                listed.append({backup.backupDate(),
                               QStringList{tabField(backup.displayName()), date, QString::number(backup.encrypted() ? 1 : 0),
                                           tabField(backup.folder()), tabField(backup.productVersion()), finishedText(backup)}
                                   .join(QLatin1Char('\t'))});
            }
        }
        // Newest first; backups of the same date keep the order they were found in.
        std::stable_sort(listed.begin(), listed.end(),
                         [](const ListedBackup &a, const ListedBackup &b) { return b.date < a.date; });
        for (const ListedBackup &backup : listed)
            printOut(backup.line);
        return CliExitOk;
    }
};

const CliRegistration<BackupsCommand> registration;

}   // namespace
