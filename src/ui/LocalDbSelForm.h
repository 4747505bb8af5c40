#pragma once

#include "ui/Export.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QPushButton;

// Asks for the local database to back up into: an existing one (merge) or a new name.
class PARLEWICK_UI_EXPORT LocalDbSelForm : public QDialog
{
    Q_OBJECT
public:
    LocalDbSelForm(const QStringList &existingNames, const QString &proposedName, QWidget *parent = nullptr);

    // Runs the dialog; the chosen name exactly as typed, or empty when cancelled.
    QString chooseDatabaseName();

private slots:
    void onBtnOkPress();

private:
    QString m_chosenName;
    QLabel *label = nullptr;
    QComboBox *cbLocalDbNames = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnClose = nullptr;
};
