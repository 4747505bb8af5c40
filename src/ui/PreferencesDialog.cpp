#include "ui/PreferencesDialog.h"

#include "app/AppConstants.h"
#include "app/VendorHost.h"
#include "device/TempBackupFolder.h"
#include "ui/AppTheme.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QComboBox *choices(const QString &name, const QStringList &texts, int current, QWidget *parent)
{
    auto *box = new QComboBox(parent);
    box->setObjectName(name);
    box->addItems(texts);
    box->setCurrentIndex(current);
    return box;
}

QCheckBox *checkBox(const QString &name, const QString &text, bool checked, QWidget *parent)
{
    auto *box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setChecked(checked);
    return box;
}

}   // namespace

PreferencesDialog::PreferencesDialog(QWidget *parent)
    : QDialog(parent)
    , m_preferences(Preferences::load())
{
    setObjectName(QStringLiteral("PreferencesDialog"));
    setWindowTitle(QStringLiteral("Preferences"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    layout->addLayout(form);

    if (vendorHostConfigured()) {
        m_updateChecks = checkBox(QStringLiteral("chkUpdateChecks"), QStringLiteral("&Look for a new version once a day"),
                                  m_preferences.updateChecks, this);
        m_errorReports = checkBox(QStringLiteral("chkErrorReports"),
                                  QStringLiteral("&Send error reports (without the names of your folders and files)"),
                                  m_preferences.errorReports, this);
        form->addRow(QStringLiteral("Online:"), m_updateChecks);
        form->addRow(QString(), m_errorReports);
    } else {
        auto *offline = new QLabel(QStringLiteral("%1 never goes online: this build names no update server.")
                                       .arg(QObject::tr(AppConstants::ProductName)),
                                   this);
        offline->setObjectName(QStringLiteral("lbOffline"));
        form->addRow(QStringLiteral("Online:"), offline);
    }
    m_clock = choices(
        QStringLiteral("cbClock"),
        {QStringLiteral("As each view shows them"), QStringLiteral("12-hour (1:30 PM)"), QStringLiteral("24-hour (13:30)")},
        int(m_preferences.clock), this);
    form->addRow(QStringLiteral("&Times:"), m_clock);
    m_theme =
        choices(QStringLiteral("cbTheme"), {QStringLiteral("As the system"), QStringLiteral("Light"), QStringLiteral("Dark")},
                int(m_preferences.theme), this);
    form->addRow(QStringLiteral("T&heme:"), m_theme);

    // A device backup is a whole copy of the phone: kept where only the user can read it.
    m_backupFolder = new QLineEdit(QDir::toNativeSeparators(m_preferences.deviceBackupFolder), this);
    m_backupFolder->setObjectName(QStringLiteral("leBackupFolder"));
    m_backupFolder->setPlaceholderText(QDir::toNativeSeparators(defaultDeviceBackupRoot()));
    auto *chooseFolder = new QPushButton(QStringLiteral("Ch&oose..."), this);
    connect(chooseFolder, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Folder for device backups"),
                                                                 QDir::fromNativeSeparators(m_backupFolder->text()));
        if (!folder.isEmpty())
            m_backupFolder->setText(QDir::toNativeSeparators(folder));
    });
    auto *folderRow = new QHBoxLayout;
    folderRow->addWidget(m_backupFolder);
    folderRow->addWidget(chooseFolder);
    form->addRow(QStringLiteral("Device &backups:"), folderRow);
    m_connectNotes = checkBox(QStringLiteral("chkConnectNotes"), QStringLiteral("Show the &notes before an iPhone is loaded"),
                              m_preferences.connectNotes, this);
    form->addRow(QString(), m_connectNotes);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void PreferencesDialog::accept()
{
    if (m_updateChecks) {
        m_preferences.updateChecks = m_updateChecks->isChecked();
        m_preferences.errorReports = m_errorReports->isChecked();
        m_preferences.errorReportsAsked = true;   // answered here; no need to ask at an error box
    }
    m_preferences.clock = ClockStyle(m_clock->currentIndex());
    m_preferences.theme = ThemeChoice(m_theme->currentIndex());
    const QString folder = QDir::fromNativeSeparators(m_backupFolder->text().trimmed());
    // A relative folder would depend on where the program was started.
    m_preferences.deviceBackupFolder = QDir::isAbsolutePath(folder) ? QDir::cleanPath(folder) : QString();
    m_preferences.connectNotes = m_connectNotes->isChecked();
    m_preferences.save();
    applyPreferences(m_preferences);
    qInfo().noquote() << "preferences saved: update checks" << m_preferences.updateChecks << "error reports"
                      << m_preferences.errorReports << "clock" << int(m_preferences.clock) << "theme" << int(m_preferences.theme);
    QDialog::accept();
}

void applyPreferences(const Preferences &preferences)
{
    setClockStyle(preferences.clock);
    applyTheme(preferences.theme);
}
