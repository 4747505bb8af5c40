#pragma once

#include <QByteArray>
#include <QTemporaryFile>

// Points a standard file descriptor (stdin, stdout, stderr) at a temporary file while it
// lives, so tests can read what code printed, or hand it an input that is not a terminal.
class StreamCapture
{
public:
    explicit StreamCapture(int fd, const QByteArray &input = QByteArray());
    ~StreamCapture();
    StreamCapture(const StreamCapture &) = delete;
    StreamCapture &operator=(const StreamCapture &) = delete;

    QByteArray text();   // everything written so far

private:
    int m_fd;
    int m_saved;
    QTemporaryFile m_file;
};
