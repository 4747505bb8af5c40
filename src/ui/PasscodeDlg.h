#pragma once

#include "app/Secret.h"
#include "ui/Export.h"

#include <QDialog>
#include <QSharedPointer>

class BackupManifest;
class QLabel;
class QLineEdit;
class QPushButton;

// Asks for the password of an encrypted backup until it unlocks the keybag or the user cancels.
class PARLEWICK_UI_EXPORT PasscodeDlg : public QDialog
{
    Q_OBJECT
public:
    explicit PasscodeDlg(const QSharedPointer<BackupManifest> &backup, QWidget *parent = nullptr);
    ~PasscodeDlg() override;

    // Keeps the password that unlocked the backup for takePassword (a restore needs it);
    // otherwise it is dropped once used.
    void setKeepPassword(bool keep) { m_keepPassword = keep; }
    Secret takePassword();

public slots:
    void btnOKPressed();

private:
    QSharedPointer<BackupManifest> m_backup;
    QLabel *m_lbTitle2 = nullptr;
    QLineEdit *m_txtPasscode = nullptr;
    QPushButton *m_btnOK = nullptr;
    QPushButton *m_btnCancel = nullptr;
    bool m_keepPassword = false;
    Secret m_password;
};
