// The UUCP lock convention for serial ports, which other programs that share
// them (modem daemons, network serial servers) follow: a file LCK..<device>
// in the lock folder holding the owner's process number in ASCII.
#pragma once
#include <QString>
#include <QStringList>
#include <sys/types.h>

// The folders that hold the lock files, the first one written.
const QStringList& UucpLockFolders();

// The live process that holds a lock for the device, 0 when none (a lock of a
// process that is gone is stale and does not count).
pid_t UucpLockOwner(const QString& device, const QStringList& folders = UucpLockFolders());

// The name of a process, as the system shows it ("" when it cannot be seen).
QString ProcessName(pid_t pid);

// The lock of this process on one device, held from Acquire to Release (or
// destruction). Where the lock folder cannot be written the port is used
// without a lock file: the convention is kept as far as the system allows.
class TUucpLock {
public:
    explicit TUucpLock(QStringList folders = UucpLockFolders()) : m_Folders(std::move(folders)) {}
    ~TUucpLock() { Release(); }
    TUucpLock(const TUucpLock&) = delete;
    TUucpLock& operator=(const TUucpLock&) = delete;

    // false when another live process holds the device: holder names it. A
    // lock this process holds already is left to its first taker.
    bool Acquire(const QString& device, pid_t& holder);
    void Release();
    // The lock file this process wrote, empty when none.
    const QString& File() const { return m_File; }

private:
    QStringList m_Folders;
    QString m_File;
};
