#include "workers/AbsTextFileExport.h"

#include "app/FileUtils.h"
#include "kik/KikChat.h"
#include "kik/KikRules.h"
#include "kik/KikUser.h"

#include <stdexcept>

AbsTextFileExport::AbsTextFileExport(const QString &filePath, EmojiStyle emoji)
    : m_file(filePath)
    , m_emoji(emoji)
{
}

void AbsTextFileExport::begin()
{
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Text))
        throw std::runtime_error(fileWriteProblem(m_file).toUtf8().toStdString());
    m_stream.setDevice(&m_file);
    m_stream.setEncoding(QStringConverter::Utf8);
    writeHeader();
}

void AbsTextFileExport::end()
{
    m_stream.flush();
    if (m_stream.status() != QTextStream::Ok || !m_file.commit())
        throw std::runtime_error(fileWriteProblem(m_file).toUtf8().toStdString());
}

QString AbsTextFileExport::nameColumn(const _KikMessage *message)
{
    const _KikUser *user = message->chat ? message->chat->user : nullptr;
    if (!user)
        return QString();
    if (user->is_group && message->target_user)
        return userDisplayName(message->target_user);
    return userDisplayName(user);
}
