#include "device/AfcClient.h"

#include "app/AppError.h"
#include "device/AfcChannel.h"
#include "device/AfcFile.h"
#include "device/MobileDeviceService.h"
#include "device/ServiceMessage.h"
#include "plist/CFType.h"

#include <QDebug>
#include <QtEndian>

#include <stdexcept>

namespace {

const QString kMediaService = QStringLiteral("com.apple.afc");
const QString kContainerService = QStringLiteral("com.apple.mobile.house_arrest");

// Asks the app-container service for the app's folder; the socket then speaks AFC on it.
void vendContainer(int socket, const QString &bundleId)
{
    CFType request = CFType::newDictionary();
    request.setValue(QStringLiteral("Command"), CFType(QStringLiteral("VendContainer")));
    request.setValue(QStringLiteral("Identifier"), CFType(bundleId));
    mobiledevice_sendmsg(socket, request);
    const CFType answer = mobiledevice_recmsg(socket, request);
    // An answer that is no dictionary at all is no permission either.
    if (answer.isDictionary() && answer.value(QStringLiteral("Error")).isNull())
        return;
    const QString shown = QString::fromUtf8(answer.toPlistData(CFType::XmlFormat));
    const QString text = QStringLiteral("can not find %1.\n%2").arg(bundleId, shown);
    qDebug().noquote() << text;
    failWith(text);
}

// A name that, joined to its folder, stays one entry inside it.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(QLatin1Char('/'));
}

QString joined(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

}   // namespace

AfcClient::AfcClient(MobileDeviceHandle *device)
    : m_device(device)
{
}

AfcClient::~AfcClient()
{
    close();
}

void AfcClient::open(const QString &bundleId)
{
    close();
    const int socket = mobiledevice_start_service(m_device, bundleId.isEmpty() ? kMediaService : kContainerService);
    auto channel = std::make_shared<AfcChannel>(socket);   // closes the socket if vending fails
    if (!bundleId.isEmpty())
        vendContainer(socket, bundleId);
    m_channel = channel;
}

void AfcClient::close()
{
    if (m_channel)
        m_channel->close();
    m_channel.reset();
}

bool AfcClient::isOpen() const
{
    return m_channel && m_channel->isOpen();
}

int AfcClient::socket() const
{
    return isOpen() ? m_channel->socket() : 0;
}

AfcChannel &AfcClient::channelThrow(quint64 operation)
{
    if (!m_channel)
        failWith(QStringLiteral("send AFC header (%1) error.").arg(operation));
    return *m_channel;
}

bool AfcClient::simpleRequest(const char *what, quint64 operation, const QByteArray &payload)
{
    try {
        channelThrow(operation).request(operation, payload);
        return true;
    } catch (const std::exception &e) {
        qDebug() << "AfcClient::" << what << e.what();
        m_lastError = QString::fromUtf8(e.what());
        return false;
    }
}

bool AfcClient::makeDir(const QString &path)
{
    return simpleRequest("makeDir", AfcChannel::MakeDirectory, AfcChannel::pathArgument(path));
}

bool AfcClient::remove(const QString &path)
{
    return simpleRequest("remove", AfcChannel::RemovePath, AfcChannel::pathArgument(path));
}

bool AfcClient::rename(const QString &from, const QString &to)
{
    return simpleRequest("rename", AfcChannel::RenamePath, AfcChannel::pathArgument(from) + AfcChannel::pathArgument(to));
}

bool AfcClient::openFile(const QString &path, quint64 mode, AfcFile *file)
{
    if (!file)
        return false;
    try {
        const QByteArray answer = channelThrow(AfcChannel::FileOpen)
                                      .request(AfcChannel::FileOpen, AfcChannel::word(mode) + AfcChannel::pathArgument(path));
        const quint64 handle = answer.size() >= 8 ? qFromLittleEndian<quint64>(answer.constData()) : 0;
        if (handle == 0) {
            m_lastError = QStringLiteral("the iPhone did not open it.");
            return false;
        }
        file->attach(m_channel, handle);
        return true;
    } catch (const std::exception &e) {
        qDebug() << "AfcClient::openFile" << path << e.what();
        m_lastError = QString::fromUtf8(e.what());
        return false;
    }
}

bool AfcClient::openRead(const QString &path, AfcFile *file)
{
    return openFile(path, AfcChannel::ReadOnly, file);
}

bool AfcClient::openWrite(const QString &path, AfcFile *file)
{
    return openFile(path, AfcChannel::WriteOnlyCreateTruncate, file);
}

bool AfcClient::openReadWrite(const QString &path, AfcFile *file)
{
    return openFile(path, AfcChannel::ReadWrite, file);
}

QStringList AfcClient::listDirectoryThrow(const QString &path)
{
    const QByteArray answer =
        channelThrow(AfcChannel::ReadDirectory).request(AfcChannel::ReadDirectory, AfcChannel::pathArgument(path));
    QStringList names;
    for (const QByteArray &name : answer.split('\0')) {
        if (!name.isEmpty())
            names.append(QString::fromUtf8(name));
    }
    return names;
}

QStringList AfcClient::listDirectory(const QString &path)
{
    try {
        return listDirectoryThrow(path);
    } catch (const std::exception &e) {
        qDebug() << "AfcClient::listDirectory" << path << e.what();
        return {};
    }
}

AfcFileInfo AfcClient::fileInfo(const QString &path)
{
    quint64 status = 0;
    const QByteArray answer =
        channelThrow(AfcChannel::GetFileInfo).request(AfcChannel::GetFileInfo, AfcChannel::pathArgument(path), &status);
    if (status == AfcChannel::ObjectNotFound) {
        AfcFileInfo missing;
        missing.path = path;
        return missing;
    }
    // Any other answer is no proof of absence: taken for one, a store would be copied without its log.
    if (status != 0)
        failWith(QStringLiteral("can not read the details of %1 on the iPhone (AFC status %2).").arg(path).arg(status));
    return AfcFileInfo::fromAnswer(path, answer);
}

QList<AfcFileInfo> AfcClient::listEntriesThrow(const QString &path)
{
    QList<AfcFileInfo> entries;
    for (const QString &name : listDirectoryThrow(path)) {
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        if (!isPlainName(name)) {
            qDebug() << "AfcClient::listEntries: name skipped in" << path << name;
            continue;
        }
        // An entry gone since the listing is not-found; any other error leaves the listing short.
        const AfcFileInfo info = fileInfo(joined(path, name));
        if (info.isFile() || info.isDir())
            entries.append(info);
    }
    return entries;
}

QList<AfcFileInfo> AfcClient::listEntries(const QString &path)
{
    try {
        return listEntriesThrow(path);
    } catch (const std::exception &e) {
        qDebug() << "AfcClient::listEntries" << path << e.what();
        return {};
    }
}
