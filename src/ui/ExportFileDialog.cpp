#include "ui/ExportFileDialog.h"

#include "app/Preferences.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QSettings>

namespace {

const QString EmojiKey = QStringLiteral("export/emojiAsCharacters");

}   // namespace

ExportFileDialog::ExportFileDialog(QWidget *parent, const QString &title, const QString &initialPath, const QString &filters)
    : QFileDialog(parent, title)
    , m_what(new QLabel(this))
    , m_emoji(new QCheckBox(QStringLiteral("Write &emoji as characters in text, CSV and PDF (not as \"[EMOJI]\")"), this))
{
    // The platform's own dialog could not show the extra choice.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setNameFilters(filters.split(QStringLiteral(";;")));
    selectFile(initialPath);
    m_emoji->setChecked(programSettings()->value(EmojiKey, true).toBool());
    m_what->setObjectName(QStringLiteral("lbWhat"));
    m_what->setTextFormat(Qt::PlainText);   // chat names are the senders' own words
    m_what->hide();
    if (auto *grid = qobject_cast<QGridLayout *>(layout())) {
        grid->addWidget(m_what, grid->rowCount(), 0, 1, grid->columnCount());
        grid->addWidget(m_emoji, grid->rowCount(), 0, 1, grid->columnCount());
    }
}

void ExportFileDialog::setWhat(const QString &what)
{
    m_what->setText(QStringLiteral("This exports %1.").arg(what));
    m_what->setVisible(!what.isEmpty());
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
