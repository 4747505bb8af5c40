#include "ui/PasscodeDlg.h"

#include "app/FileUtils.h"
#include "widgets/MessageBoxes.h"
#include "widgets/WinMovable.h"
#include "itunes/BackupManifest.h"
#include "ui/ProgressForm.h"
#include "workers/UnlockBackupThread.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

PasscodeDlg::PasscodeDlg(const QSharedPointer<BackupManifest> &backup, QWidget *parent)
    : QDialog(parent)
    , m_backup(backup)
{
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(::styleSheet());
    installEventFilter(new WinMovable(this));

    // The phone is named: with several phones, "this backup" says nothing of which one.
    const QString phone = backup->deviceName();
    m_lbTitle2 = new QLabel(phone.isEmpty() ? QObject::tr("IDS_PLEASE_ENTER_PASSWORD_TO_LOAD_BACKUP")
                                            : QStringLiteral("%1 keeps its backups encrypted. Type its backup password (the "
                                                             "one set in iTunes or Finder) to read them:")
                                                  .arg(phone),
                            this);
    m_lbTitle2->setTextFormat(Qt::PlainText);
    m_lbTitle2->setWordWrap(true);
    m_lbTitle2->setObjectName(QStringLiteral("lbTitle2"));
    m_txtPasscode = new QLineEdit(this);
    m_txtPasscode->setObjectName(QStringLiteral("txtPasscode"));
    m_txtPasscode->setEchoMode(QLineEdit::Password);
    m_txtPasscode->setPlaceholderText(QObject::tr("IDS_ENTER_PASSWORD"));
    m_btnOK = new QPushButton(QStringLiteral("OK"), this);
    m_btnOK->setObjectName(QStringLiteral("btnOK"));
    m_btnOK->setDefault(true);
    m_btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_btnOK);
    buttons->addWidget(m_btnCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lbTitle2);
    layout->addWidget(m_txtPasscode);
    layout->addLayout(buttons);

    connect(m_btnOK, &QPushButton::pressed, this, &PasscodeDlg::btnOKPressed);
    connect(m_btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

PasscodeDlg::~PasscodeDlg() = default;

QString PasscodeDlg::takePassword()
{
    return std::exchange(m_password, QString());
}

void PasscodeDlg::btnOKPressed()
{
    const QString password = m_txtPasscode->text();
    if (password.isEmpty()) {
        showWarning(QObject::tr("IDS_PWD_IS_NULL"));
        return;
    }
    // The derivation takes seconds: it runs behind the progress dialog, not here.
    ProgressForm form(this);
    UnlockBackupThread worker(m_backup, password, &form);
    m_txtPasscode->clear();   // the password is not kept around once used
    if (!runWithProgress(form, worker))
        return;   // a damaged keybag was shown already; a cancel asks again
    if (!worker.keybag()) {
        showWarning(QObject::tr("IDS_INVALID_PASSWORD"));
        return;
    }
    m_backup->setKeybag(worker.keybag());
    if (m_keepPassword)
        m_password = password;
    accept();
}
