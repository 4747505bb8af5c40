#include "ui/MainMenus.h"

#include "app/VendorHost.h"
#include "ui/CommandScope.h"
#include "ui/WindowCommands.h"

#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

namespace {

const char BackupIcon[] = ":res/backup.svg";
const char I2iIcon[] = ":res/i2i.svg";
const char Db2iIcon[] = ":res/db2i.svg";
const char ExportIcon[] = ":res/export.svg";
const char PrintIcon[] = ":res/print.svg";
const char DeleteIcon[] = ":res/delete.svg";
const char ImportIcon[] = ":res/load_itunes.svg";
const char OpenDbFolderIcon[] = ":res/open_db_folder.svg";

QString menuTitle(const char *title)
{
    return QCoreApplication::translate("MainWindow", title);
}

// Gives every entry an Alt key: the first letter of its text not yet taken in the same menu.
// The texts themselves stay as they are; only the underline is added.
void addMnemonics(const QList<QAction *> &actions)
{
    QString taken;
    for (QAction *action : actions) {
        QString text = action->text();
        if (action->isSeparator() || text.isEmpty() || text.contains(QLatin1Char('&')))
            continue;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar key = text.at(i).toLower();
            if (key.isLetterOrNumber() && !taken.contains(key)) {
                taken += key;
                action->setText(text.insert(i, QLatin1Char('&')));
                break;
            }
        }
    }
}

}   // namespace

MainMenus::MainMenus(QMainWindow *window, QToolBar *toolBar, WindowCommands &commands)
    : QObject(window)
    , m_window(window)
    , m_commands(&commands)
{
    WindowCommands *c = m_commands;
    QMenuBar *bar = window->menuBar();
    buildFileMenu(bar->addMenu(menuTitle("File")), toolBar);

    // The vendor's pages are offered only where a vendor host is configured.
    const bool online = vendorHostConfigured();
    QMenu *tools = bar->addMenu(menuTitle("Tools"));
    if (online)
        tools->addAction(command(tools, QObject::tr("IDS_MI_CHECK_UPDATE"), ":res/check-update.svg", "miCheckUpdate",
                                 [c] { c->checkForUpdate(); }));
    tools->addAction(
        command(tools, QObject::tr("IDS_CLEAR_CACHE"), ":res/clear-cache.svg", "miClearCache", [c] { c->clearCache(); }));
    tools->addAction(command(tools, QStringLiteral("Preferences..."), nullptr, "miPreferences", [c] { c->editPreferences(); }));

    QMenu *help = bar->addMenu(menuTitle("Help"));
    help->addAction(command(help, QObject::tr("IDS_MI_HELP"), ":res/help.svg", "miHelp", [c] { c->showHelp(); }));
    if (online)
        help->addAction(
            command(help, QObject::tr("IDS_MI_FEEDBACK"), ":res/feedback.svg", "miFeedback", [c] { c->sendFeedback(); }));
    help->addAction(command(help, QObject::tr("IDS_MI_ABOUT"), ":res/about.svg", "miAbout", [c] { c->showAbout(); }));
    help->actions().first()->setShortcut(QKeySequence(Qt::Key_F1));

    addMnemonics(bar->actions());
    for (QAction *menu : bar->actions())
        addMnemonics(menu->menu()->actions());
}

void MainMenus::buildFileMenu(QMenu *file, QToolBar *toolBar)
{
    WindowCommands *c = m_commands;
    m_backup = command(file, QObject::tr("IDS_MI_BACKUP_TOOLBAR"), BackupIcon, "miBackupToolbar",
                       [c] { c->backUp(MessageVariant::Toolbar); });
    m_i2i = command(file, QObject::tr("IDS_MI_I2I_TOOLBAR"), I2iIcon, "miI2iToolbar",
                    [c] { c->transferToPhone(MessageVariant::Toolbar); });
    m_db2i = command(file, QObject::tr("IDS_MI_DB2I_TOOLBAR"), Db2iIcon, "miDb2iToolbar",
                     [c] { c->transferToPhone(MessageVariant::Toolbar); });
    m_export = command(file, QObject::tr("IDS_MI_EXPORT_TOOLBAR"), ExportIcon, "miExportToolbar",
                       [c] { c->exportToFile(MessageVariant::Toolbar); });
    m_print = command(file, QObject::tr("IDS_MI_PRINT_TOOLBAR"), PrintIcon, "miPrintToolbar",
                      [c] { c->print(MessageVariant::Toolbar); });
    m_delete = command(file, QObject::tr("IDS_MI_DELETE_TOOLBAR"), DeleteIcon, "miDeleteToolbar",
                       [c] { c->deleteMessages(MessageVariant::Toolbar); });
    QAction *import =
        command(file, QObject::tr("IDS_MI_IMPORT_FROM_ITUNES"), ImportIcon, "miImportiTunes", [c] { c->importBackup(); });
    QAction *openFolder =
        command(file, QObject::tr("IDS_MI_OPEN_DB_FOLDER"), OpenDbFolderIcon, "miOpenDBFolder", [c] { c->openDatabaseFolder(); });
    QAction *exit = command(file, QObject::tr("IDS_MI_EXIT"), ":res/exit.svg", "close", [this] { m_window->close(); });
    m_export->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    m_print->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    m_delete->setShortcut(QKeySequence(Qt::Key_Delete));
    exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

    file->addActions({m_backup, m_i2i, m_db2i});
    file->addSeparator();
    file->addActions({m_export, m_print, m_delete});
    file->addSeparator();
    file->addActions({import, openFolder});
    file->addSeparator();
    file->addAction(exit);

    // The same action objects: text, icon and enabled state are shared with the menu.
    toolBar->addActions({m_backup, m_i2i, m_db2i, import});
    toolBar->addSeparator();
    toolBar->addActions({m_export, m_print, m_delete});

    updateEnabled(CommandScope());
}

QAction *MainMenus::command(QObject *owner, const QString &text, const char *icon, const char *name, const Command &run) const
{
    auto *action = icon ? new QAction(QIcon(QLatin1String(icon)), text, owner) : new QAction(text, owner);
    action->setObjectName(QLatin1String(name));
    connect(action, &QAction::triggered, m_window, [action, run] {
        qInfo().noquote() << "user chose:" << QString(action->text()).remove(QLatin1Char('&'))
                          << '(' + action->objectName() + ')';
        run();
    });
    return action;
}

void MainMenus::addCommand(QMenu *menu, const QString &text, const char *icon, const char *name, const Command &run,
                           bool enabled) const
{
    QAction *action = command(menu, text, icon, name, run);
    action->setEnabled(enabled);
    menu->addAction(action);
}

void MainMenus::updateEnabled(const CommandScope &scope)
{
    m_backup->setEnabled(scope.canBackup());
    m_i2i->setEnabled(scope.canTransferToOtherPhone());
    m_db2i->setEnabled(scope.canTransferToPhone());
    m_export->setEnabled(scope.canExportOrPrint());
    m_print->setEnabled(scope.canExportOrPrint());
    m_delete->setEnabled(scope.canDelete());
}

QMenu *MainMenus::treeContextMenu(const CommandScope &scope, QWidget *parent) const
{
    const ItemNode *node = scope.current;
    if (!node)
        return nullptr;
    auto *menu = new QMenu(parent);
    WindowCommands *c = m_commands;
    const auto add = [this, menu](const QString &text, const char *icon, const char *name, const Command &run,
                                  bool enabled = true) { addCommand(menu, text, icon, name, run, enabled); };
    const bool onDeviceChat = node->type == ChatSessionNodeType && scope.sourceIsDevice();
    const bool onLocalDbChat = node->type == ChatSessionNodeType && scope.sourceIsLocalDb();
    if (node->type == RootLocalDbNodeType) {
        add(QObject::tr("IDS_MI_OPEN_DB_FOLDER"), OpenDbFolderIcon, "miOpenDBFolder", [c] { c->openDatabaseFolder(); });
        add(QObject::tr("IDS_MI_IMPORT_FROM_ITUNES"), ImportIcon, "miImportiTunes", [c] { c->importBackup(); });
    } else if (node->type == IOSDeviceNodeType && static_cast<const PhoneItemNode *>(node)->loadFailed) {
        add(QStringLiteral("Retry Loading"), nullptr, "reloadSource", [c] { c->reloadSource(); });
        add(QObject::tr("IDS_MI_UNMOUNT_DEVICE"), ":res/unmount.svg", "miUnmountDevice", [c] { c->unmountPhone(); });
    } else if (node->type == IOSDeviceNodeType) {
        add(QObject::tr("IDS_MI_BACKUP_ALL"), BackupIcon, "miBackupAll", [c] { c->backUp(MessageVariant::All); });
        add(
            QObject::tr("IDS_MI_I2I_ALL"), I2iIcon, "miI2iAll", [c] { c->transferToPhone(MessageVariant::All); },
            scope.devices >= 2);
        add(QObject::tr("IDS_MI_EXPORT_ALL"), ExportIcon, "miExportAll", [c] { c->exportToFile(MessageVariant::All); });
        add(QObject::tr("IDS_MI_PRINT_ALL"), PrintIcon, "miPrintAll", [c] { c->print(MessageVariant::All); });
        add(QObject::tr("IDS_MI_UNMOUNT_DEVICE"), ":res/unmount.svg", "miUnmountDevice", [c] { c->unmountPhone(); });
        add(QObject::tr("View Cache Files"), ":res/view-cache.svg", "miViewIOSCacheFiles", [c] { c->viewPhoneCacheFiles(); });
    } else if (node->type == LocalDbNodeType) {
        add(
            QObject::tr("IDS_MI_DB2I_ALL"), Db2iIcon, "miDb2iAll", [c] { c->transferToPhone(MessageVariant::All); },
            scope.devices >= 1);
        add(QObject::tr("IDS_MI_EXPORT_ALL"), ExportIcon, "miExportAll", [c] { c->exportToFile(MessageVariant::All); });
        add(QObject::tr("IDS_MI_PRINT_ALL"), PrintIcon, "miPrintAll", [c] { c->print(MessageVariant::All); });
        add(QObject::tr("IDS_MI_DELETE_ALL"), DeleteIcon, "miDeleteAll", [c] { c->deleteMessages(MessageVariant::All); });
        add(QObject::tr("IDS_MI_IMPORT_FROM_ITUNES"), ImportIcon, "miImportiTunesToLocalDb",
            [c] { c->importIntoCurrentLocalDb(); });
        add(QObject::tr("Export Messages to iTunes Backup"), nullptr, "miExport2ITunesBKAll",
            [c] { c->transferToBackup(MessageVariant::All); });
    } else if (onDeviceChat) {
        add(QObject::tr("IDS_MI_BACKUP_CHAT"), BackupIcon, "miBackupChat", [c] { c->backUp(MessageVariant::Chat); });
        add(
            QObject::tr("IDS_MI_I2I_CHAT"), I2iIcon, "miI2iChat", [c] { c->transferToPhone(MessageVariant::Chat); },
            scope.devices >= 2);
        add(QObject::tr("IDS_MI_EXPORT_CHAT"), ExportIcon, "miExportChat", [c] { c->exportToFile(MessageVariant::Chat); });
        add(QObject::tr("IDS_MI_PRINT_CHAT"), PrintIcon, "miPrintChat", [c] { c->print(MessageVariant::Chat); });
    } else if (onLocalDbChat) {
        add(
            QObject::tr("IDS_MI_DB2I_CHAT"), Db2iIcon, "miDb2iChat", [c] { c->transferToPhone(MessageVariant::Chat); },
            scope.devices >= 1);
        add(QObject::tr("IDS_MI_EXPORT_CHAT"), ExportIcon, "miExportChat", [c] { c->exportToFile(MessageVariant::Chat); });
        add(QObject::tr("IDS_MI_PRINT_CHAT"), PrintIcon, "miPrintChat", [c] { c->print(MessageVariant::Chat); });
        add(QObject::tr("IDS_MI_DELETE_CHAT"), DeleteIcon, "miDeleteChat", [c] { c->deleteMessages(MessageVariant::Chat); });
        add(QObject::tr("Export Messages with this contact to iTunes Backup"), nullptr, "miExport2ITunesBKChat",
            [c] { c->transferToBackup(MessageVariant::Chat); });
    }
    if (menu->isEmpty()) {
        delete menu;
        return nullptr;
    }
    addMnemonics(menu->actions());
    return menu;
}

QMenu *MainMenus::listContextMenu(const CommandScope &scope, QWidget *parent) const
{
    if (!scope.source)
        return nullptr;
    auto *menu = new QMenu(parent);
    WindowCommands *c = m_commands;
    const auto add = [this, menu](const QString &text, const char *icon, const char *name, const Command &run,
                                  bool enabled = true) { addCommand(menu, text, icon, name, run, enabled); };
    if (scope.sourceIsDevice()) {
        add(QObject::tr("IDS_MI_BACKUP_SEL"), BackupIcon, "miBackup", [c] { c->backUp(MessageVariant::Selection); });
        add(
            QObject::tr("IDS_MI_I2I_SEL"), I2iIcon, "miI2i", [c] { c->transferToPhone(MessageVariant::Selection); },
            scope.devices >= 2);
        add(QObject::tr("IDS_MI_EXPORT_SEL"), ExportIcon, "miExport", [c] { c->exportToFile(MessageVariant::Selection); });
        add(QObject::tr("IDS_MI_PRINT_SEL"), PrintIcon, "miPrint", [c] { c->print(MessageVariant::Selection); });
    } else {
        add(
            QObject::tr("IDS_MI_DB2I_SEL"), Db2iIcon, "miDb2i", [c] { c->transferToPhone(MessageVariant::Selection); },
            scope.devices >= 1);
        add(QObject::tr("IDS_MI_EXPORT_SEL"), ExportIcon, "miExport", [c] { c->exportToFile(MessageVariant::Selection); });
        add(QObject::tr("IDS_MI_PRINT_SEL"), PrintIcon, "miPrint", [c] { c->print(MessageVariant::Selection); });
        add(QObject::tr("IDS_MI_DELETE_SEL"), DeleteIcon, "miDelete", [c] { c->deleteMessages(MessageVariant::Selection); });
        add(QObject::tr("Export selected Messages to iTunes Backup"), nullptr, "miExport2ITunesBKSel",
            [c] { c->transferToBackup(MessageVariant::Selection); });
    }
    addMnemonics(menu->actions());
    return menu;
}
