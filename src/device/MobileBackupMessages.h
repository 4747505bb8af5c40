#pragma once

#include "device/Export.h"
#include "plist/CFType.h"

#include <QString>

#include <functional>

class MobileBackupFolder;
class MobileBackupLink;

// The computer's answers to what the phone asks during a backup or restore (every DLMessage
// but the request's end and Disconnect): files sent to the phone and received from it, folder
// listings, new folders, moves, removals, copies, the free space, and a status for anything
// else, so that the phone never waits for an answer that does not come. Every name goes
// through the folder's check first; an unsafe one raises and stops the run.
class PARLEWICK_DEVICE_EXPORT MobileBackupMessages
{
public:
    struct Counters
    {
        double percent = -1;         // the phone's own overall progress, -1 before it said
        qint64 bytesReceived = 0;    // file bytes that came from the phone
        qint64 bytesAnnounced = 0;   // the sizes its uploads announced
        qint64 bytesSent = 0;        // file bytes that went to the phone
        int filesReceived = 0;
        int filesSent = 0;
    };

    MobileBackupMessages(MobileBackupLink &link, MobileBackupFolder &folder);

    // Runs between files and blocks (the cancel check, progress); it may throw.
    void setTick(std::function<void()> tick) { m_tick = std::move(tick); }
    // Runs once before the first message that changes the folder.
    void setBeforeFirstChange(std::function<void()> hook) { m_beforeFirstChange = std::move(hook); }

    void handle(const CFType &message);

    const Counters &counters() const { return m_counters; }
    bool changedFolder() const { return m_changed; }
    // The first file that could not be written here (a full disk), empty when none.
    QString writeProblem() const { return m_writeProblem; }

    static constexpr qint64 NotSupported = -1;
    static constexpr qint64 MultiStatus = -13;
    // The phone's code for errno.
    static int deviceError(int errnoValue);

private:
    void sendFiles(const CFType &message);
    void receiveFiles(const CFType &message);
    void listFolder(const CFType &message);
    void makeFolder(const CFType &message);
    void moveItems(const CFType &message);
    void removeItems(const CFType &message);
    void copyItem(const CFType &message);
    void freeSpace();

    bool sendFile(const QString &name, CFType *errors);
    // One file of an upload after its names; false when the phone ended the upload instead.
    bool receiveFile(const QString &name);
    void skipBytes(qint64 length);
    void noteProgress(const CFType &message, int index);
    void changing();
    void tick()
    {
        if (m_tick)
            m_tick();
    }
    void sendErrnoStatus(int error);

    MobileBackupLink &m_link;
    MobileBackupFolder &m_folder;
    std::function<void()> m_tick;
    std::function<void()> m_beforeFirstChange;
    Counters m_counters;
    bool m_changed = false;
    QString m_writeProblem;
    QByteArray m_chunk;
};
