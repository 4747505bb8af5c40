#include "ui/DataSourceSelForm.h"

#include "app/FileUtils.h"
#include "app/MessageBoxes.h"
#include "ui/WinMovable.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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

    auto *buttons = new QHBoxLayout;
    buttons->setObjectName(QStringLiteral("horizontalLayout"));
    buttons->addStretch();
    buttons->addWidget(btnOK);
    buttons->addWidget(btnClose);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 15);
    layout->addWidget(lbSelDevice);
    layout->addWidget(cbDevice);
    layout->addLayout(buttons);

    setStyleSheet(::styleSheet());
    installEventFilter(new WinMovable(this));

    connect(btnOK, &QPushButton::pressed, this, &DataSourceSelForm::onBtnOkPressed);
    connect(btnClose, &QPushButton::pressed, this, &QDialog::reject);
}

void *DataSourceSelForm::chooseEntry(const QString &title, const QList<ChoiceEntry> &entries)
{
    lbSelDevice->setText(title);
    cbDevice->clear();
    for (const ChoiceEntry &entry : entries)
        cbDevice->addItem(QIcon(entry.icon), entry.text, QVariant::fromValue(entry.node));
    cbDevice->setCurrentIndex(entries.size() == 1 ? 0 : -1);
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
