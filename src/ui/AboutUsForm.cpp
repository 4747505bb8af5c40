#include "ui/AboutUsForm.h"

#include "app/AppConstants.h"
#include "app/DesktopServices.h"
#include "app/FileUtils.h"
#include "app/VendorHost.h"
#include "ui/PictureLabel.h"
#include "widgets/WinMovable.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutUsForm::AboutUsForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("AboutUsForm"));
    setWindowTitle(QObject::tr(AppConstants::ProductName));

    lbPicture = new PictureLabel(this);
    lbPicture->setObjectName(QStringLiteral("lbPicture"));
    lbPicture->setSvg(QStringLiteral(":/res/main.svg"), QSize(128, 128));

    lbTitle = new QLabel(
        QStringLiteral("%1 v%2").arg(QObject::tr(AppConstants::ProductName), QLatin1String(AppConstants::ProductVersion)), this);
    lbTitle->setObjectName(QStringLiteral("lbTitle"));

    lbLicence = new QLabel(QLatin1String(AppConstants::ProductLicence), this);
    lbLicence->setObjectName(QStringLiteral("lbLicence"));

    // The project's page only where a build names one: no address is better than a dead one.
    const QString address = vendorUrl(QStringLiteral("/"));
    if (!address.isEmpty()) {
        lbLink = new QLabel(QStringLiteral("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped()), this);
        lbLink->setObjectName(QStringLiteral("lbLink"));
        lbLink->setTextFormat(Qt::RichText);
        lbLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        connect(lbLink, &QLabel::linkActivated, this, [address] { shellOpen(address); });
    }

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto *text = new QVBoxLayout;
    text->addStretch(1);
    text->addWidget(lbTitle);
    text->addWidget(lbLicence);
    if (lbLink)
        text->addWidget(lbLink);
    text->addStretch(1);
    auto *top = new QHBoxLayout;
    top->setSpacing(20);
    top->addWidget(lbPicture);
    top->addLayout(text, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 15);
    layout->addLayout(top);
    layout->addLayout(buttons);

    setStyleSheet(::styleSheet());
    installEventFilter(new WinMovable(this));
}
