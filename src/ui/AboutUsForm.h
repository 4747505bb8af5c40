#pragma once

#include <QDialog>

class PictureLabel;
class QLabel;
class QPushButton;

// The About box: product picture, name and version, and the vendor's web address.
class AboutUsForm : public QDialog
{
    Q_OBJECT
public:
    explicit AboutUsForm(QWidget *parent = nullptr);

private:
    PictureLabel *lbPicture = nullptr;
    QLabel *lbTitle = nullptr;
    QLabel *lbLink = nullptr;
    QPushButton *btnOK = nullptr;
};
