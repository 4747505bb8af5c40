#include "simiphone/ReceivedLog.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>

#include <mutex>

namespace {
std::mutex &logMutex()
{
    static std::mutex mutex;
    return mutex;
}
}   // namespace

void ReceivedLog::append(const QString &path, QJsonObject entry)
{
    entry.insert(QStringLiteral("time"), QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
    const QByteArray line = QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n';
    std::lock_guard<std::mutex> lock(logMutex());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(line);
}

QList<QJsonObject> ReceivedLog::read(const QString &path)
{
    QByteArray content;
    {
        std::lock_guard<std::mutex> lock(logMutex());
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        content = file.readAll();
    }
    QList<QJsonObject> entries;
    for (const QByteArray &line : content.split('\n')) {
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (document.isObject())
            entries.append(document.object());
    }
    return entries;
}

void ReceivedLog::clear(const QString &path)
{
    std::lock_guard<std::mutex> lock(logMutex());
    QFile::remove(path);
}
