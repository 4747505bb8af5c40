#pragma once

#include <QList>
#include <QString>

#include <atomic>
#include <exception>
#include <thread>
#include <utility>

// Copies the plain files of folders on a thread of its own, so that creating many small files
// (the emoji pictures beside an HTML export) overlaps the work that follows. Files already in
// a target folder are kept; a file that cannot be copied is left out.
class PlainFileCopy
{
public:
    using Folders = QList<std::pair<QString, QString>>;   // (from, to), both existing folders

    explicit PlainFileCopy(const Folders &folders);   // starts copying
    ~PlainFileCopy();                                 // stops after the file in hand and waits
    PlainFileCopy(const PlainFileCopy &) = delete;
    PlainFileCopy &operator=(const PlainFileCopy &) = delete;

    // Waits until every file is copied; raises what the copy raised.
    void wait();

    // The same copy on the calling thread; stops early once *stop is set.
    static void copyPlainFiles(const QString &from, const QString &to, const std::atomic<bool> *stop = nullptr);

private:
    std::atomic<bool> m_stop{false};
    std::exception_ptr m_error;
    std::thread m_thread;
};
