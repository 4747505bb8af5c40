#pragma once

#include "ui/Export.h"

#include <QFileDialog>

class QCheckBox;
class QLabel;

// The save dialog of exports: the file dialog with a line naming what goes, and the choice of
// writing emoji as characters in text, CSV and PDF (else as "[EMOJI]"), ticked until the user
// unticks it. The choice is remembered for the next export.
class PARLEWICK_UI_EXPORT ExportFileDialog : public QFileDialog
{
    Q_OBJECT
public:
    ExportFileDialog(QWidget *parent, const QString &title, const QString &initialPath, const QString &filters);

    bool emojiAsCharacters() const;
    // The messages that go, in words ("the chat with Bob (3 messages)"); empty hides the line.
    void setWhat(const QString &what);

    void accept() override;

private:
    QLabel *m_what;
    QCheckBox *m_emoji;
};
