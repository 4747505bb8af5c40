#pragma once

#include "ui/Export.h"

#include <QDialog>

class PictureLabel;
class QLabel;
class QPushButton;

// The About box: product picture, name, version and licence, and the project's page
// where the build names a vendor host.
class PARLEWICK_UI_EXPORT AboutUsForm : public QDialog
{
    Q_OBJECT
public:
    explicit AboutUsForm(QWidget *parent = nullptr);

private:
    PictureLabel *lbPicture = nullptr;
    QLabel *lbTitle = nullptr;
    QLabel *lbLicence = nullptr;
    QLabel *lbLink = nullptr;
    QPushButton *btnOK = nullptr;
};
