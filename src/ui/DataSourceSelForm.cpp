#include "ui/DataSourceSelForm.h"

#include "ui/ChoiceDialogLayout.h"
#include "widgets/MessageBoxes.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

DataSourceSelForm::DataSourceSelForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("DataSourceSelForm"));
    setWindowTitle(tr("Dialog"));
    resize(320, 130);

    lbSelDevice = new QLabel(QObject::tr("IDS_TITLE_SELECT_ONE_DEVICE_TO_TRANSFER"), this);
    lbSelDevice->setObjectName(QStringLiteral("lbSelDevice"));
    cbDevice = new QComboBox(this);
    cbDevice->setObjectName(QStringLiteral("cbDevice"));
    btnOK = new QPushButton(tr("Confirm"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnClose = new QPushButton(tr("Cancel"), this);
    btnClose->setObjectName(QStringLiteral("btnClose"));

    layOutChoiceDialog(this, lbSelDevice, cbDevice, btnOK, btnClose);

    connect(btnOK, &QPushButton::pressed, this, &DataSourceSelForm::onBtnOkPressed);
}

void *DataSourceSelForm::chooseEntry(const QString &title, const QList<ChoiceEntry> &entries, bool selectFirst)
{
    lbSelDevice->setText(title);
    cbDevice->clear();
    for (const ChoiceEntry &entry : entries)
        cbDevice->addItem(QIcon(entry.icon), entry.text, QVariant::fromValue(entry.node));
    cbDevice->setCurrentIndex(entries.size() == 1 || (selectFirst && !entries.isEmpty()) ? 0 : -1);
    if (exec() != QDialog::Accepted)
        return nullptr;
    return cbDevice->currentData().value<void *>();
}

void DataSourceSelForm::onBtnOkPressed()
{
    if (cbDevice->currentIndex() < 0) {
        showWarning(QObject::tr("IDS_PLEASE_SELECT_ONE_DATASOURCE"));
        return;
    }
    accept();
}
