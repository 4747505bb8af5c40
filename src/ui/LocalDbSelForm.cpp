#include "ui/LocalDbSelForm.h"

#include "app/FileUtils.h"
#include "app/MessageBoxes.h"
#include "ui/WinMovable.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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
    cbLocalDbNames->setToolTip(
        tr("Selecting current Database will merge data;entering new DB name will create a new Database."));
    btnOK = new QPushButton(tr("Confirm"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnClose = new QPushButton(tr("Cancel"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));

    auto *buttons = new QHBoxLayout;
    buttons->setObjectName(QStringLiteral("horizontalLayout"));
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnClose);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 15);
    layout->addWidget(label);
    layout->addWidget(cbLocalDbNames);
    layout->addLayout(buttons);

    cbLocalDbNames->addItem(QString());
    cbLocalDbNames->addItems(existingNames);
    cbLocalDbNames->setCurrentIndex(-1);
    if (!proposedName.isEmpty())
        cbLocalDbNames->setEditText(proposedName);

    setStyleSheet(::styleSheet());
    installEventFilter(new WinMovable(this));

    connect(btnOK, &QPushButton::pressed, this, &LocalDbSelForm::onBtnOkPress);
    connect(btnClose, &QPushButton::pressed, this, &QDialog::reject);
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
    if (m_chosenName.trimmed().isEmpty())
        showWarning(QObject::tr("IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME"));
    else if (!isValidLocalDbName(m_chosenName))
        showWarning(QObject::tr("IDS_INVALID_LOCALDB_NAME"));
    else
        accept();
}
