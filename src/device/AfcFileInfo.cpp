#include "device/AfcFileInfo.h"

#include <QList>

namespace {

// QDateTime's range, well inside what a double holds exactly enough.
constexpr double kMaxMilliseconds = 8.64e15;

QDateTime fromNanoseconds(const QByteArray &text)
{
    bool ok = false;
    const qint64 nanoseconds = text.toLongLong(&ok);
    if (!ok)
        return {};
    const double milliseconds = double(nanoseconds) / 1000000.0;
    if (milliseconds > kMaxMilliseconds || milliseconds < -kMaxMilliseconds)
        return {};
    return QDateTime::fromMSecsSinceEpoch(qint64(milliseconds));
}

}   // namespace

AfcFileInfo AfcFileInfo::fromAnswer(const QString &path, const QByteArray &answer)
{
    AfcFileInfo info;
    info.path = path;
    const QList<QByteArray> fields = answer.split('\0');
    for (qsizetype i = 0; i + 1 < fields.size(); i += 2) {
        const QByteArray &key = fields.at(i);
        const QByteArray &value = fields.at(i + 1);
        if (key == "st_size")
            info.size = qMax(Q_INT64_C(0), value.toLongLong());
        else if (key == "st_mtime")
            info.modified = fromNanoseconds(value);
        else if (key == "st_ifmt")
            info.type = QString::fromUtf8(value);
    }
    return info;
}
