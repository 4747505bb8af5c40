#pragma once

#include "ui/Export.h"

#include <QDialog>
#include <QList>
#include <QString>

class QComboBox;
class QLabel;
class QPushButton;

// One device offered by DataSourceSelForm: its icon (resource path), caption and the tree
// node it stands for, handed back when chosen.
struct PARLEWICK_UI_EXPORT ChoiceEntry
{
    QString icon;
    QString text;
    void *node = nullptr;
};

// Asks the user to pick one device from a list.
class PARLEWICK_UI_EXPORT DataSourceSelForm : public QDialog
{
    Q_OBJECT
public:
    explicit DataSourceSelForm(QWidget *parent = nullptr);

    // Runs the dialog; the node of the chosen entry, or nullptr when the user cancelled.
    // A single entry is pre-selected; several start with none selected unless selectFirst.
    void *chooseEntry(const QString &title, const QList<ChoiceEntry> &entries, bool selectFirst = false);

private slots:
    void onBtnOkPressed();

private:
    QLabel *lbSelDevice = nullptr;
    QComboBox *cbDevice = nullptr;
    QPushButton *btnOK = nullptr;
    QPushButton *btnClose = nullptr;
};
