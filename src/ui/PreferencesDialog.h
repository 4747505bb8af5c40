#pragma once

#include "app/Preferences.h"
#include "ui/Export.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;

// The user's choices: update checks and error reports (offered only when a vendor host is
// configured; both off until turned on), the clock of message times, the theme and the folder
// device backups are kept in (empty: the program's own). OK saves and applies them at once.
class PARLEWICK_UI_EXPORT PreferencesDialog : public QDialog
{
    Q_OBJECT
public:
    explicit PreferencesDialog(QWidget *parent = nullptr);

    void accept() override;

private:
    Preferences m_preferences;
    QCheckBox *m_updateChecks = nullptr;
    QCheckBox *m_errorReports = nullptr;
    QComboBox *m_clock = nullptr;
    QComboBox *m_theme = nullptr;
    QLineEdit *m_backupFolder = nullptr;
    QCheckBox *m_connectNotes = nullptr;
};

// Puts the clock and the theme into effect; run at start-up and after the dialog.
PARLEWICK_UI_EXPORT void applyPreferences(const Preferences &preferences);
