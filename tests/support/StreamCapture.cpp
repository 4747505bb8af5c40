#include "StreamCapture.h"

#include <cstdio>
#include <unistd.h>

StreamCapture::StreamCapture(int fd, const QByteArray &input)
    : m_fd(fd)
{
    std::fflush(nullptr);
    m_file.open();
    m_file.write(input);
    m_file.flush();
    m_file.seek(0);
    m_saved = dup(fd);
    dup2(m_file.handle(), fd);
}

StreamCapture::~StreamCapture()
{
    std::fflush(nullptr);
    dup2(m_saved, m_fd);
    close(m_saved);
}

QByteArray StreamCapture::text()
{
    std::fflush(nullptr);
    QFile reader(m_file.fileName());
    reader.open(QIODevice::ReadOnly);
    return reader.readAll();
}
