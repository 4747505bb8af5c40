#include "ui/LocalDbSelForm.h"

#include "kik/LocalDbCatalogue.h"
#include "ui/ChoiceDialogLayout.h"
#include "widgets/MessageBoxes.h"
#include "widgets/RichText.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

LocalDbSelForm::LocalDbSelForm(const QStringList &existingNames, const QString &proposedName, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("LocalDbSelForm"));
    setWindowTitle(tr("Select one Database for backup"));
    resize(400, 130);

    label = new QLabel(tr("Select current database to merge or enter a new database name:"), this);
    label->setObjectName(QStringLiteral("label"));
    cbLocalDbNames = new QComboBox(this);
    cbLocalDbNames->setObjectName(QStringLiteral("cbLocalDbNames"));
    cbLocalDbNames->setEditable(true);
    // Enter must not add the typed name to the list of existing databases.
    cbLocalDbNames->setInsertPolicy(QComboBox::NoInsert);
    cbLocalDbNames->setToolTip(tr("Selecting current Database will merge data;entering new DB name will create a new Database."));
    btnOK = new QPushButton(tr("Confirm"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnClose = new QPushButton(tr("Cancel"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));

    layOutChoiceDialog(this, label, cbLocalDbNames, btnOK, btnClose);

    cbLocalDbNames->addItem(QString());
    cbLocalDbNames->addItems(existingNames);
    cbLocalDbNames->setCurrentIndex(-1);
    if (!proposedName.isEmpty())
        cbLocalDbNames->setEditText(proposedName);

    connect(btnOK, &QPushButton::pressed, this, &LocalDbSelForm::onBtnOkPress);
}

QString LocalDbSelForm::chooseDatabaseName()
{
    if (exec() != QDialog::Accepted || m_chosenName.isEmpty())
        return QString();
    return m_chosenName;
}

void LocalDbSelForm::onBtnOkPress()
{
    m_chosenName = cbLocalDbNames->currentText();
    if (const QString problem = LocalDbCatalogue::nameProblem(m_chosenName); !problem.isEmpty())
        showWarning(richTextOf(problem));
    else
        accept();
}
