#include "ui/LoadItunesBackupDlg.h"

#include "app/FileUtils.h"
#include "itunes/BackupDiscovery.h"
#include "itunes/BackupManifest.h"
#include "views/ItemModelLoadBk.h"
#include "views/ViewIcons.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RichText.h"
#include "widgets/WinMovable.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QTreeView>
#include <QVBoxLayout>
#include <QtDebug>

#include <stdexcept>

LoadItunesBackupDlg::LoadItunesBackupDlg(QWidget *parent)
    : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(::styleSheet());
    installEventFilter(new WinMovable(this));
    buildForm();
    m_model = new ItemModelLoadBk(this);
    m_listBackups->setModel(m_model);

    connect(m_lbAddOther, &QLabel::linkActivated, this, &LoadItunesBackupDlg::btnAddOtherClicked);
    connect(m_btnLoad, &QPushButton::pressed, this, &LoadItunesBackupDlg::btnLoadClicked);
    connect(m_listBackups, &QTreeView::doubleClicked, this, &LoadItunesBackupDlg::btnLoadClicked);
    connect(m_btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    fillList();
    m_listBackups->setCurrentIndex(QModelIndex());
}

LoadItunesBackupDlg::~LoadItunesBackupDlg() = default;

void LoadItunesBackupDlg::setPurpose(const QString &title, const QString &chooseText)
{
    m_lbTitle->setText(title);
    m_btnLoad->setText(chooseText);
}

void LoadItunesBackupDlg::buildForm()
{
    m_lbTitle = new QLabel(QObject::tr("IDS_SELECT_AN_ITUNES_BACKUP_TO_LOAD"), this);
    m_lbTitle->setObjectName(QStringLiteral("lbTitle"));

    m_listBackups = new QTreeView(this);
    m_listBackups->setIconSize(ViewIconSize);
    m_listBackups->setObjectName(QStringLiteral("listBackups"));
    m_listBackups->setRootIsDecorated(false);
    m_listBackups->setUniformRowHeights(true);
    m_listBackups->setAllColumnsShowFocus(true);
    m_listBackups->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_listBackups->setSelectionMode(QAbstractItemView::SingleSelection);
    m_listBackups->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listBackups->header()->setStretchLastSection(false);   // widths follow the dialog instead

    m_lbAddOther = new QLabel(QObject::tr("IDS_NO_BACKUP_LISTED_THERE_CLICK_<a href=\"#\">Here</a>_ADD"), this);
    m_lbAddOther->setObjectName(QStringLiteral("lbAddOther"));
    m_lbAddOther->setTextFormat(Qt::RichText);
    m_lbAddOther->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);

    m_btnLoad = new QPushButton(QStringLiteral("Load"), this);
    m_btnLoad->setObjectName(QStringLiteral("btnLoad"));
    m_btnLoad->setStyleSheet(QStringLiteral("margin-right:15px;"));
    m_btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_lbAddOther, 1);
    buttons->addWidget(m_btnLoad);
    buttons->addWidget(m_btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lbTitle);
    layout->addWidget(m_listBackups, 1);
    layout->addLayout(buttons);
    resize(760, 420);
}

AbsTreeItemModel::ItemNode *LoadItunesBackupDlg::listBackup(const QString &folder)
{
    auto backup = QSharedPointer<BackupManifest>::create(folder);
    try {
        backup->readInfo();
    } catch (const std::runtime_error &e) {
        qWarning("%s", e.what());
        reportError(richTextOf(QStringLiteral("load %1 error. %2").arg(folder, QString::fromUtf8(e.what()))));
        return nullptr;
    }
    return m_model->insert(backup);
}

void LoadItunesBackupDlg::fillList()
{
    for (const QString &root : backupRootFolders()) {
        if (const QString problem = backupRootProblem(root); !problem.isEmpty()) {
            qWarning("%s", qUtf8Printable(problem));
            reportError(richTextOf(problem));
        }
        for (const QString &folder : backupFolders(root))
            listBackup(folder);
    }
}

void LoadItunesBackupDlg::addBackupFolder(const QString &folder)
{
    const QString key = BackupManifest(folder).identityKey();
    for (const AbsTreeItemModel::ItemNode *row : m_model->topLevelNodes()) {
        if (static_cast<const ItemModelLoadBk::BackupItemNode *>(row)->backup->identityKey() == key) {
            showWarning(QObject::tr("IDS_LOAD_BK_EXISTS"));
            return;
        }
    }
    if (AbsTreeItemModel::ItemNode *node = listBackup(folder))
        m_listBackups->setCurrentIndex(m_model->indexOfNode(node));
}

void LoadItunesBackupDlg::btnAddOtherClicked(const QString &)
{
    const QString folder = QFileDialog::getExistingDirectory(this, QString(), QDir::homePath(), QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        addBackupFolder(folder);
}

void LoadItunesBackupDlg::btnLoadClicked()
{
    // A view makes its first row current when it gets the keyboard focus; only a row the user
    // picked is also selected.
    const QModelIndex current = m_listBackups->currentIndex();
    const QSharedPointer<BackupManifest> backup = m_listBackups->selectionModel()->isSelected(current)
                                                      ? ItemModelLoadBk::backupAt(current)
                                                      : QSharedPointer<BackupManifest>();
    if (!backup) {
        showWarning(QObject::tr("IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP"));
        return;
    }
    m_result = backup;
    accept();
}

void LoadItunesBackupDlg::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    const int room = event->size().width() - 80;
    m_listBackups->setColumnWidth(0, int(room * 0.3));
    m_listBackups->setColumnWidth(1, int(room * 0.2));
    m_listBackups->setColumnWidth(2, int(room * 0.3));
    m_listBackups->setColumnWidth(3, int(room * 0.08));
    m_listBackups->setColumnWidth(4, int(room * 0.12));
}
