#include "ui/BackupCommand.h"

#include "app/MessageBoxes.h"
#include "kik/KikLocalDb.h"
#include "kik/LocalDbCatalogue.h"
#include "ui/MainWindow.h"
#include "ui/ProgressForm.h"
#include "views/ItemModelMain.h"
#include "workers/BackupKikMessagesThread.h"

#include <QDir>
#include <QFileInfo>

void BackupCommand::run(MessageVariant variant)
{
    const CommandScope scope = m_window.commandScope();
    if (!scope.source)
        return;
    backUp(m_window.messagesFor(variant), proposedName(scope.source->text));
}

QString BackupCommand::proposedName(const QString &sourceName)
{
    return sourceName + QStringLiteral("_Backup");
}

void BackupCommand::backUp(const CommandMessages &messages, const QString &proposed, BackupKikMessagesThread::Wording wording)
{
    if (messages.messages.isEmpty())
        return;
    QStringList existingNames;
    for (const _ItemNode *node : m_window.mainModel()->localDbRoot()->children)
        existingNames << node->text;
    const QString name = m_window.dialogs().chooseLocalDb(existingNames, proposed);
    if (name.isEmpty())
        return;
    // The name becomes a folder: whatever chose it, it may not lead out of the databases folder.
    if (!LocalDbCatalogue::nameProblem(name).isEmpty()) {
        showWarning(QObject::tr("IDS_INVALID_LOCALDB_NAME"));
        return;
    }
    _LocalDbItemNode *existing = existingLocalDbNode(name);
    _LocalDbItemNode *node = existing ? existing : m_window.mainModel()->addLocalDb(name);
    const QString folder = LocalDbCatalogue().folderOf(node->text);

    ProgressForm form(&m_window);
    BackupKikMessagesThread worker(messages.messages, folder, &form);
    worker.setWording(wording);
    if (!runWithProgress(form, worker)) {
        // A failed or canceled first backup takes its database back; a node left for it
        // would make an empty database when selected.
        if (!existing && !QFileInfo::exists(QDir(folder).filePath(QLatin1String(KikLocalDb::DatabaseFileName))))
            m_window.removeSourceNode(node);
        return;
    }
    if (m_window.reloadLocalDb(node))
        m_window.selectNode(node);
}

_LocalDbItemNode *BackupCommand::existingLocalDbNode(const QString &name) const
{
    for (_ItemNode *node : m_window.mainModel()->localDbRoot()->children) {
        // The existing node's own spelling names its folder, also where names differ in case.
        if (LocalDbCatalogue::sameName(node->text, name))
            return static_cast<_LocalDbItemNode *>(node);
    }
    return nullptr;
}
