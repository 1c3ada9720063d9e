// The UUCP lock convention for serial ports, which other programs that share
// them (modem daemons, network serial servers) follow: a file LCK..<device>
// in the lock folder holding the owner's process number in ASCII.
#pragma once
#include <QString>
#include <QStringList>
#include <sys/types.h>

// The folders that hold the lock files, the first one written.
const QStringList& UucpLockFolders();

// The lock names other programs may use for the device, the one this program
// writes first: for the real device behind any link, its path below /dev with
// '/' as '_' (a device directly in /dev: its base name) and its base name, and
// the same for the path as given and for each link in linkFolders to it.
QStringList UucpLockNames(const QString& device,
                          const QStringList& linkFolders = {"/dev/serial/by-id", "/dev/serial/by-path"});

// The live process that holds a lock for the device, 0 when none (a lock of a
// process that is gone is stale and does not count).
pid_t UucpLockOwner(const QString& device, const QStringList& folders = UucpLockFolders());

// The name of a process, as the system shows it ("" when it cannot be seen).
QString ProcessName(pid_t pid);
// "process N (name)", as refusals name a holder.
QString ProcessText(pid_t pid);

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

// The folder of the locks on network ports this user's sessions take:
// $XDG_RUNTIME_DIR/korvanext, else /run/lock where it can be written, else the
// temporary folder. Empty when none can be used.
QString SessionLockFolder();

// The lock key of a network port: host in lower case and port, so that the
// spellings of one server's line share a lock; empty for a text that is none.
QString NetworkLockKey(const QString& url);

// A line that has no device to lock (a network port), held by one session of
// this program at a time: an flock on a per-user file named by the key, which
// also holds the holder's process number for the refusal to name. The file
// goes when its holder lets go; a taker that then finds its file gone or
// replaced takes the new one instead.
class TSessionLock {
public:
    explicit TSessionLock(QString folder = SessionLockFolder()) : m_Folder(std::move(folder)) {}
    ~TSessionLock() { Release(); }
    TSessionLock(const TSessionLock&) = delete;
    TSessionLock& operator=(const TSessionLock&) = delete;

    // Waits up to waitMs for another process to let go; false when it did not,
    // holder then names it (0 when unknown). A lock this process holds already
    // is left to its first taker; where no lock file can be used the line is
    // used without one.
    bool Acquire(const QString& key, int waitMs, pid_t& holder);
    void Release();
    bool Held() const { return m_Fd >= 0; }

private:
    QString m_Folder;
    QByteArray m_Path;
    int m_Fd = -1;
};
