#include "FakeCommandHost.h"

#include "itunes/BackupManifest.h"
#include "kik/AbsKikDb.h"
#include "ui/DataSourceSelForm.h"

namespace {

const char *variantName(MessageVariant variant)
{
    switch (variant) {
    case MessageVariant::Selection:
        return "Selection";
    case MessageVariant::Chat:
        return "Chat";
    case MessageVariant::All:
        return "All";
    case MessageVariant::Toolbar:
        return "Toolbar";
    }
    return "?";
}

}   // namespace

FakeCommandHost::FakeCommandHost()
{
    answers.chooseBackup = [this] {
        asked << QStringLiteral("backup to read");
        return QSharedPointer<BackupManifest>();
    };
    answers.chooseBackupToWrite = [this] {
        asked << QStringLiteral("backup to write");
        return QSharedPointer<BackupManifest>();
    };
    answers.unlockBackup = [this](const QSharedPointer<BackupManifest> &, Secret *) {
        asked << QStringLiteral("password");
        return false;
    };
    answers.chooseLocalDb = [this](const QStringList &, const QString &proposed) {
        asked << QStringLiteral("database, proposing ") + proposed;
        return QString();
    };
    answers.chooseExportFile = [this](const QString &, const QString &, const QString &, const QString &what) {
        asked << QStringLiteral("export file for ") + what;
        return CommandDialogs::ExportChoice();
    };
    answers.chooseDevice = [this](const QString &, const QList<ChoiceEntry> &entries) -> void * {
        QStringList offered;
        for (const ChoiceEntry &entry : entries)
            offered << entry.text;
        asked << QStringLiteral("phone of ") + offered.join(QStringLiteral(", "));
        return nullptr;
    };
    answers.chooseKikAccount = [this](const QList<KikAccountSummary> &) {
        asked << QStringLiteral("account");
        return QString();
    };
}

CommandMessages FakeCommandHost::messagesFor(MessageVariant variant) const
{
    calls << QStringLiteral("messages ") + QLatin1String(variantName(variant));
    return given;
}

KikDataSetPtr FakeCommandHost::loadWithProgress(std::unique_ptr<AbsKikDb>, const QString &title, ProgressForm *)
{
    calls << QStringLiteral("load ") + title;
    return KikDataSetPtr();
}

bool FakeCommandHost::reloadLocalDb(LocalDbItemNode *node)
{
    calls << QStringLiteral("reload ") + node->text;
    return true;
}

void FakeCommandHost::reloadPhone(const DeviceDescription &device)
{
    calls << QStringLiteral("reload phone ") + device.deviceName;
}

void FakeCommandHost::removeSourceNode(SourceItemNode *node)
{
    calls << QStringLiteral("remove ") + node->text;
    if (current == node || (current && current->parent == node))
        current = nullptr;
    model.removeNode(node);
}
