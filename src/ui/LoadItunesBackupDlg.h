#pragma once

#include "ui/Export.h"
#include "views/AbsTreeItemModel.h"

#include <QDialog>
#include <QSharedPointer>

class BackupManifest;
class ItemModelLoadBk;
class QLabel;
class QPushButton;
class QTreeView;

// Modal list of the iTunes backups on this computer; the user picks one to load (or, with its
// purpose set, to write into).
class PARLEWICK_UI_EXPORT LoadItunesBackupDlg : public QDialog
{
    Q_OBJECT
public:
    explicit LoadItunesBackupDlg(QWidget *parent = nullptr);
    ~LoadItunesBackupDlg() override;

    // The title and the button that takes the chosen backup, when it is chosen for something
    // other than loading.
    void setPurpose(const QString &title, const QString &chooseText);
    // The chosen backup, once the dialog was accepted.
    QSharedPointer<BackupManifest> selectedBackup() const { return m_result; }
    // Lists the backup in folder (unless it is listed already) and makes it the current row.
    void addBackupFolder(const QString &folder);

public slots:
    void btnAddOtherClicked(const QString &link);
    void btnLoadClicked();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void buildForm();
    void fillList();
    AbsTreeItemModel::ItemNode *listBackup(const QString &folder);

    QLabel *m_lbTitle = nullptr;
    QTreeView *m_listBackups = nullptr;
    QLabel *m_lbAddOther = nullptr;
    QPushButton *m_btnLoad = nullptr;
    QPushButton *m_btnCancel = nullptr;
    ItemModelLoadBk *m_model = nullptr;
    QSharedPointer<BackupManifest> m_result;
};
