#include "workers/PlainFileCopy.h"

#include <QDir>
#include <QFile>

PlainFileCopy::PlainFileCopy(const Folders &folders)
    : m_thread([this, folders] {
        try {
            for (const auto &[from, to] : folders)
                copyPlainFiles(from, to, &m_stop);
        } catch (...) {
            m_error = std::current_exception();
        }
    })
{
}

PlainFileCopy::~PlainFileCopy()
{
    if (m_thread.joinable()) {
        m_stop = true;
        m_thread.join();
    }
}

void PlainFileCopy::wait()
{
    if (m_thread.joinable())
        m_thread.join();
    if (m_error)
        std::rethrow_exception(std::exchange(m_error, nullptr));
}

// Written directly rather than with QFile::copy, whose temporary file and sync per file made
// the copy of the emoji pictures take seconds; NewOnly keeps a file that is already there.
void PlainFileCopy::copyPlainFiles(const QString &from, const QString &to, const std::atomic<bool> *stop)
{
    const QDir source(from);
    const QDir target(to);
    for (const QString &name : source.entryList(QDir::Files | QDir::Hidden)) {
        if (stop && *stop)
            return;
        QFile in(source.filePath(name));
        QFile out(target.filePath(name));
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            continue;
        const QByteArray bytes = in.readAll();
        if (out.write(bytes) != bytes.size() || !out.flush()) {
            out.close();
            out.remove();   // no half picture
        }
    }
}
