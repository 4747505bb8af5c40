#include "ui/ChoiceDialogLayout.h"

#include "app/FileUtils.h"
#include "widgets/WinMovable.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

void layOutChoiceDialog(QDialog *dialog, QWidget *caption, QWidget *field, QPushButton *ok, QPushButton *close)
{
    auto *buttons = new QHBoxLayout;
    buttons->setObjectName(QStringLiteral("horizontalLayout"));
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(close);
    buttons->addStretch();

    auto *layout = new QVBoxLayout(dialog);
    layout->setContentsMargins(20, 20, 20, 15);
    layout->addWidget(caption);
    layout->addWidget(field);
    layout->addLayout(buttons);

    dialog->setStyleSheet(::styleSheet());
    dialog->installEventFilter(new WinMovable(dialog));
    QObject::connect(close, &QPushButton::pressed, dialog, &QDialog::reject);
}
