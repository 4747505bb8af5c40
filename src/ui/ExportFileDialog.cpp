#include "ui/ExportFileDialog.h"

#include "app/Preferences.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QSettings>

namespace {

const QString EmojiKey = QStringLiteral("export/emojiAsCharacters");

}   // namespace

ExportFileDialog::ExportFileDialog(QWidget *parent, const QString &title, const QString &initialPath, const QString &filters)
    : QFileDialog(parent, title)
    , m_emoji(new QCheckBox(QStringLiteral("Write &emoji as characters in text, CSV and PDF (not as \"[EMOJI]\")"), this))
{
    // The platform's own dialog could not show the extra choice.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setNameFilters(filters.split(QStringLiteral(";;")));
    selectFile(initialPath);
    m_emoji->setChecked(programSettings()->value(EmojiKey, true).toBool());
    if (auto *grid = qobject_cast<QGridLayout *>(layout()))
        grid->addWidget(m_emoji, grid->rowCount(), 0, 1, grid->columnCount());
}

bool ExportFileDialog::emojiAsCharacters() const
{
    return m_emoji->isChecked();
}

void ExportFileDialog::accept()
{
    programSettings()->setValue(EmojiKey, m_emoji->isChecked());
    QFileDialog::accept();
}
