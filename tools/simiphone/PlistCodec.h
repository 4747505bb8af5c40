#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QVariant>

// Property lists as Qt values: dictionaries are QVariantMap, arrays QVariantList, strings QString,
// data QByteArray, integers qint64/quint64, reals double, booleans bool, dates QDateTime (UTC).
// The simulated phone speaks XML on the wire and accepts XML or binary from its peers.
class PlistCodec
{
public:
    static QByteArray toXml(const QVariant &value);
    // Null QVariant when the bytes are not a property list.
    static QVariant parse(const QByteArray &bytes);
    static QVariantMap readFile(const QString &path);                    // empty map when absent or broken
    static bool writeFile(const QString &path, const QVariant &value);   // atomic replace
    // For the received log: data becomes base64 text, dates ISO text.
    static QJsonValue toJson(const QVariant &value);
};
