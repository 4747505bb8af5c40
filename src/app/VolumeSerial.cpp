#include "app/VolumeSerial.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStorageInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

#ifdef Q_OS_WIN

quint32 volumeSerial(const QStorageInfo &storage)
{
    DWORD serial = 0;
    const QString root = QDir::toNativeSeparators(storage.rootPath());
    if (!GetVolumeInformationW(reinterpret_cast<LPCWSTR>(root.utf16()), nullptr, 0, &serial, nullptr, nullptr, nullptr, 0))
        return UnknownVolumeSerial;
    return quint32(serial);
}

#else

// The UUID the system lists for the storage's device, as the link name in /dev/disk/by-uuid.
QString deviceUuid(const QStorageInfo &storage)
{
    const QString device = QFileInfo(QString::fromLocal8Bit(storage.device())).canonicalFilePath();
    if (device.isEmpty())
        return QString();
    QDirIterator links(QStringLiteral("/dev/disk/by-uuid"), QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    while (links.hasNext()) {
        links.next();
        if (links.fileInfo().canonicalFilePath() == device)
            return links.fileName();
    }
    return QString();
}

quint32 volumeSerial(const QStorageInfo &storage)
{
    const QString uuid = deviceUuid(storage);
    if (!uuid.isEmpty()) {
        const quint32 fromUuid = volumeSerialFromUuid(uuid);
        if (fromUuid != UnknownVolumeSerial)
            return fromUuid;
    }
    struct stat info
    { };
    if (::stat(QFile::encodeName(storage.rootPath()).constData(), &info) == 0 && info.st_dev != 0)
        return quint32(quint64(info.st_dev) ^ (quint64(info.st_dev) >> 32));
    return UnknownVolumeSerial;
}

#endif

}   // namespace

quint32 volumeSerialFromUuid(const QString &uuid)
{
    QString hex = uuid;
    hex.remove(QLatin1Char('-'));
    // NTFS lists its 64-bit serial number, of which Windows shows the low 32 bits.
    const QString digits = hex.size() == 16 ? hex.right(8) : hex.left(8);
    bool ok = false;
    const quint32 serial = digits.toUInt(&ok, 16);
    return ok && digits.size() == 8 ? serial : UnknownVolumeSerial;
}

quint32 currentVolumeSerial()
{
    const QStorageInfo storage(QDir::currentPath());
    if (!storage.isValid())
        return UnknownVolumeSerial;
    return volumeSerial(storage);
}
