#include "workers/KeptStoreCopies.h"

#include "app/FileUtils.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QtDebug>

namespace {

const QString kRecordName = QStringLiteral(".parlewick-store-copies");

QByteArray identityText(const FileIdentity &identity)
{
    return QByteArray::number(identity.device) + ' ' + QByteArray::number(identity.inode) + ' '
           + QByteArray::number(identity.size) + ' ' + QByteArray::number(identity.modifiedNs);
}

FileIdentity identityFrom(const QList<QByteArray> &fields, qsizetype first)
{
    FileIdentity identity;
    bool ok[4] = {};
    identity.device = fields.value(first).toULongLong(&ok[0]);
    identity.inode = fields.value(first + 1).toULongLong(&ok[1]);
    identity.size = fields.value(first + 2).toLongLong(&ok[2]);
    identity.modifiedNs = fields.value(first + 3).toLongLong(&ok[3]);
    return ok[0] && ok[1] && ok[2] && ok[3] ? identity : FileIdentity();
}

}   // namespace

KeptStoreCopies::KeptStoreCopies(const QString &appFolder)
    : m_path(QDir(appFolder).filePath(kRecordName))
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    // One line a file: its name, then the identities of the payload and of the copy.
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split(' ');
        const Entry entry{identityFrom(fields, 1), identityFrom(fields, 5)};
        if (fields.size() == 9 && entry.payload.exists() && entry.copy.exists())
            m_earlier.insert(QString::fromUtf8(fields.first()), entry);
    }
}

bool KeptStoreCopies::linkUnchanged(const QString &name, const QString &payload, const QString &earlierCopy, const QString &local)
{
    const auto earlier = m_earlier.constFind(name);
    if (earlier == m_earlier.cend() || FileIdentity::of(payload) != earlier->payload
        || FileIdentity::of(earlierCopy) != earlier->copy || !linkInPlaceOf(earlierCopy, local))
        return false;
    m_now.insert(name, *earlier);
    return true;
}

void KeptStoreCopies::remember(const QString &name, const QString &payload, const QString &copy)
{
    const Entry entry{FileIdentity::of(payload), FileIdentity::of(copy)};
    if (entry.payload.exists() && entry.copy.exists())
        m_now.insert(name, entry);
}

void KeptStoreCopies::save() const
{
    QByteArray text;
    for (auto it = m_now.cbegin(); it != m_now.cend(); ++it) {
        // A name the record cannot hold on one line is copied every time.
        if (!it.key().contains(QLatin1Char(' ')) && !it.key().contains(QLatin1Char('\n')))
            text += it.key().toUtf8() + ' ' + identityText(it->payload) + ' ' + identityText(it->copy) + '\n';
    }
    QSaveFile file(m_path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        qWarning() << "the record of the store's copies could not be written:" << fileWriteReason(file);
        QFile::remove(m_path);
    }
}
