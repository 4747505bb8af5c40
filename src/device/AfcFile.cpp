#include "device/AfcFile.h"

#include "device/AfcChannel.h"

#include <QDebug>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kReadBlock = 65536;
constexpr int kWriteBlock = 32768;

}   // namespace

AfcFile::~AfcFile()
{
    close();
}

void AfcFile::attach(const std::shared_ptr<AfcChannel> &channel, quint64 handle)
{
    close();
    m_channel = channel;
    m_handle = handle;
}

int AfcFile::read(char *buffer, int length)
{
    if (length <= 0)
        return 0;
    if (!m_channel)
        return -1;
    int total = 0;
    try {
        while (total < length) {
            const int block = std::min(length - total, kReadBlock);
            const QByteArray answer =
                m_channel->request(AfcChannel::FileRead, AfcChannel::word(m_handle) + AfcChannel::word(quint64(block)));
            if (answer.isEmpty())
                break;
            // Never more than was asked for, whatever the phone sends.
            const int got = int(std::min<qsizetype>(answer.size(), block));
            std::memcpy(buffer + total, answer.constData(), size_t(got));
            total += got;
        }
    } catch (const std::exception &e) {
        qDebug() << "AfcFile::read:" << e.what();
        return -1;
    }
    return total;
}

int AfcFile::write(const char *data, int length)
{
    if (!m_channel)
        return -1;
    int total = 0;
    try {
        while (total < length) {
            const int block = std::min(length - total, kWriteBlock);
            m_channel->sendRequest(AfcChannel::FileWrite, AfcChannel::word(m_handle), data + total, block);
            m_channel->receiveAnswer();
            total += block;
        }
    } catch (const std::exception &e) {
        qDebug() << "AfcFile::write:" << e.what();
        return -1;
    }
    return total;
}

qint64 AfcFile::lock(quint64 operation)
{
    if (!m_channel)
        return -1;
    try {
        quint64 status = 0;
        m_channel->request(AfcChannel::FileLock, AfcChannel::word(m_handle) + AfcChannel::word(operation), &status);
        return qint64(status);
    } catch (const std::exception &e) {
        qDebug() << "AfcFile::lock:" << e.what();
        return -1;
    }
}

void AfcFile::close()
{
    if (m_channel && m_handle != 0) {
        try {
            m_channel->request(AfcChannel::FileClose, AfcChannel::word(m_handle));
        } catch (const std::exception &e) {
            qDebug() << "AfcFile::close:" << e.what();
        }
    }
    m_channel.reset();
    m_handle = 0;
}
