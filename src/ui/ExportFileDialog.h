#pragma once

#include <QFileDialog>

class QCheckBox;

// The save dialog of exports: the file dialog with the choice of writing emoji as characters
// in text, CSV and PDF (else as "[EMOJI]"), ticked until the user unticks it. The choice is
// remembered for the next export.
class ExportFileDialog : public QFileDialog
{
    Q_OBJECT
public:
    ExportFileDialog(QWidget *parent, const QString &title, const QString &initialPath, const QString &filters);

    bool emojiAsCharacters() const;

    void accept() override;

private:
    QCheckBox *m_emoji;
};
