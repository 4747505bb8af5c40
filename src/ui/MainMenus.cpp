#include "ui/MainMenus.h"

#include "app/VendorHost.h"
#include "ui/CommandScope.h"

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

MainMenus::MainMenus(QMainWindow *window, QToolBar *toolBar)
    : QObject(window)
    , m_window(window)
{
    QMenuBar *bar = window->menuBar();
    buildFileMenu(bar->addMenu(menuTitle("File")), toolBar);

    // The vendor's pages are offered only where a vendor host is configured.
    const bool online = vendorHostConfigured();
    QMenu *tools = bar->addMenu(menuTitle("Tools"));
    if (online)
        tools->addAction(command(tools, QObject::tr("IDS_MI_CHECK_UPDATE"), ":res/check-update.svg", "miCheckUpdate"));
    tools->addAction(command(tools, QObject::tr("IDS_CLEAR_CACHE"), ":res/clear-cache.svg", "miClearCache"));
    tools->addAction(command(tools, QStringLiteral("Preferences..."), nullptr, "miPreferences"));

    QMenu *help = bar->addMenu(menuTitle("Help"));
    help->addAction(command(help, QObject::tr("IDS_MI_HELP"), ":res/help.svg", "miHelp"));
    if (online)
        help->addAction(command(help, QObject::tr("IDS_MI_FEEDBACK"), ":res/feedback.svg", "miFeedback"));
    help->addAction(command(help, QObject::tr("IDS_MI_ABOUT"), ":res/about.svg", "miAbout"));
    help->actions().first()->setShortcut(QKeySequence(Qt::Key_F1));

    addMnemonics(bar->actions());
    for (QAction *menu : bar->actions())
        addMnemonics(menu->menu()->actions());
}

void MainMenus::buildFileMenu(QMenu *file, QToolBar *toolBar)
{
    m_backup = command(file, QObject::tr("IDS_MI_BACKUP_TOOLBAR"), BackupIcon, "miBackupToolbar");
    m_i2i = command(file, QObject::tr("IDS_MI_I2I_TOOLBAR"), I2iIcon, "miI2iToolbar");
    m_db2i = command(file, QObject::tr("IDS_MI_DB2I_TOOLBAR"), Db2iIcon, "miDb2iToolbar");
    m_export = command(file, QObject::tr("IDS_MI_EXPORT_TOOLBAR"), ExportIcon, "miExportToolbar");
    m_print = command(file, QObject::tr("IDS_MI_PRINT_TOOLBAR"), PrintIcon, "miPrintToolbar");
    m_delete = command(file, QObject::tr("IDS_MI_DELETE_TOOLBAR"), DeleteIcon, "miDeleteToolbar");
    QAction *import = command(file, QObject::tr("IDS_MI_IMPORT_FROM_ITUNES"), ImportIcon, "miImportiTunes");
    QAction *openFolder = command(file, QObject::tr("IDS_MI_OPEN_DB_FOLDER"), OpenDbFolderIcon, "miOpenDBFolder");
    QAction *exit = command(file, QObject::tr("IDS_MI_EXIT"), ":res/exit.svg", "close");
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

QAction *MainMenus::command(QObject *owner, const QString &text, const char *icon, const char *slot) const
{
    auto *action = icon ? new QAction(QIcon(QLatin1String(icon)), text, owner) : new QAction(text, owner);
    action->setObjectName(QLatin1String(slot));
    QMainWindow *window = m_window;
    const QByteArray name(slot);
    connect(action, &QAction::triggered, window, [window, name, action] {
        qInfo().noquote() << "user chose:" << QString(action->text()).remove(QLatin1Char('&')) << '(' + name + ')';
        if (!QMetaObject::invokeMethod(window, name.constData()))
            qWarning("no command slot %s", name.constData());
    });
    return action;
}

void MainMenus::addCommand(QMenu *menu, const QString &text, const char *icon, const char *slot, bool enabled) const
{
    QAction *action = command(menu, text, icon, slot);
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
    const auto add = [this, menu](const QString &text, const char *icon, const char *slot, bool enabled = true) {
        addCommand(menu, text, icon, slot, enabled);
    };
    const bool onDeviceChat = node->type == ChatSessionNodeType && scope.sourceIsDevice();
    const bool onLocalDbChat = node->type == ChatSessionNodeType && scope.sourceIsLocalDb();
    if (node->type == RootLocalDbNodeType) {
        add(QObject::tr("IDS_MI_OPEN_DB_FOLDER"), OpenDbFolderIcon, "miOpenDBFolder");
        add(QObject::tr("IDS_MI_IMPORT_FROM_ITUNES"), ImportIcon, "miImportiTunes");
    } else if (node->type == IOSDeviceNodeType && static_cast<const PhoneItemNode *>(node)->loadFailed) {
        add(QStringLiteral("Retry Loading"), nullptr, "reloadSource");
        add(QObject::tr("IDS_MI_UNMOUNT_DEVICE"), ":res/unmount.svg", "miUnmountDevice");
    } else if (node->type == IOSDeviceNodeType) {
        add(QObject::tr("IDS_MI_BACKUP_ALL"), BackupIcon, "miBackupAll");
        add(QObject::tr("IDS_MI_I2I_ALL"), I2iIcon, "miI2iAll", scope.devices >= 2);
        add(QObject::tr("IDS_MI_EXPORT_ALL"), ExportIcon, "miExportAll");
        add(QObject::tr("IDS_MI_PRINT_ALL"), PrintIcon, "miPrintAll");
        add(QObject::tr("IDS_MI_UNMOUNT_DEVICE"), ":res/unmount.svg", "miUnmountDevice");
        add(QObject::tr("View Cache Files"), ":res/view-cache.svg", "miViewIOSCacheFiles");
    } else if (node->type == LocalDbNodeType) {
        add(QObject::tr("IDS_MI_DB2I_ALL"), Db2iIcon, "miDb2iAll", scope.devices >= 1);
        add(QObject::tr("IDS_MI_EXPORT_ALL"), ExportIcon, "miExportAll");
        add(QObject::tr("IDS_MI_PRINT_ALL"), PrintIcon, "miPrintAll");
        add(QObject::tr("IDS_MI_DELETE_ALL"), DeleteIcon, "miDeleteAll");
        add(QObject::tr("IDS_MI_IMPORT_FROM_ITUNES"), ImportIcon, "miImportiTunesToLocalDb");
        add(QObject::tr("Export Messages to iTunes Backup"), nullptr, "miExport2ITunesBKAll");
    } else if (onDeviceChat) {
        add(QObject::tr("IDS_MI_BACKUP_CHAT"), BackupIcon, "miBackupChat");
        add(QObject::tr("IDS_MI_I2I_CHAT"), I2iIcon, "miI2iChat", scope.devices >= 2);
        add(QObject::tr("IDS_MI_EXPORT_CHAT"), ExportIcon, "miExportChat");
        add(QObject::tr("IDS_MI_PRINT_CHAT"), PrintIcon, "miPrintChat");
    } else if (onLocalDbChat) {
        add(QObject::tr("IDS_MI_DB2I_CHAT"), Db2iIcon, "miDb2iChat", scope.devices >= 1);
        add(QObject::tr("IDS_MI_EXPORT_CHAT"), ExportIcon, "miExportChat");
        add(QObject::tr("IDS_MI_PRINT_CHAT"), PrintIcon, "miPrintChat");
        add(QObject::tr("IDS_MI_DELETE_CHAT"), DeleteIcon, "miDeleteChat");
        add(QObject::tr("Export Messages with this contact to iTunes Backup"), nullptr, "miExport2ITunesBKChat");
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
    const auto add = [this, menu](const QString &text, const char *icon, const char *slot, bool enabled = true) {
        addCommand(menu, text, icon, slot, enabled);
    };
    if (scope.sourceIsDevice()) {
        add(QObject::tr("IDS_MI_BACKUP_SEL"), BackupIcon, "miBackup");
        add(QObject::tr("IDS_MI_I2I_SEL"), I2iIcon, "miI2i", scope.devices >= 2);
        add(QObject::tr("IDS_MI_EXPORT_SEL"), ExportIcon, "miExport");
        add(QObject::tr("IDS_MI_PRINT_SEL"), PrintIcon, "miPrint");
    } else {
        add(QObject::tr("IDS_MI_DB2I_SEL"), Db2iIcon, "miDb2i", scope.devices >= 1);
        add(QObject::tr("IDS_MI_EXPORT_SEL"), ExportIcon, "miExport");
        add(QObject::tr("IDS_MI_PRINT_SEL"), PrintIcon, "miPrint");
        add(QObject::tr("IDS_MI_DELETE_SEL"), DeleteIcon, "miDelete");
        add(QObject::tr("Export selected Messages to iTunes Backup"), nullptr, "miExport2ITunesBKSel");
    }
    addMnemonics(menu->actions());
    return menu;
}
