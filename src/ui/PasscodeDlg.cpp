#include "ui/PasscodeDlg.h"

#include "app/FileUtils.h"
#include "itunes/BackupManifest.h"
#include "ui/ProgressForm.h"
#include "widgets/MessageBoxes.h"
#include "widgets/WinMovable.h"
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

Secret PasscodeDlg::takePassword()
{
    return std::move(m_password);
}

void PasscodeDlg::btnOKPressed()
{
    // Read once; setText (unlike clear) also drops the edit's undo steps, so that the typed
    // characters are left only in the text taken here, which is wiped as it becomes a secret.
    QString typed = m_txtPasscode->text();
    m_txtPasscode->setText(QString());
    Secret password = Secret::takeText(typed);
    if (password.isEmpty()) {
        showWarning(QObject::tr("IDS_PWD_IS_NULL"));
        return;
    }
    // The derivation takes seconds: it runs behind the progress dialog, not here.
    ProgressForm form(this);
    UnlockBackupThread worker(m_backup, m_keepPassword ? password.clone() : std::move(password), &form);
    if (!runWithProgress(form, worker))
        return;   // a damaged keybag was shown already; a cancel asks again
    if (!worker.keybag()) {
        showWarning(QObject::tr("IDS_INVALID_PASSWORD"));
        return;
    }
    m_backup->setKeybag(worker.keybag());
    if (m_keepPassword)
        m_password = std::move(password);
    accept();
}
