#include "Uucplock.h"
#include "clirun.h"
#include "loopback.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// A pseudo-terminal of the test's own: a real device below /dev/pts.
struct TPty {
    TPty()
    {
        fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd >= 0 && ::grantpt(fd) == 0 && ::unlockpt(fd) == 0) path = QString::fromLocal8Bit(::ptsname(fd));
    }
    ~TPty()
    {
        if (fd >= 0) ::close(fd);
    }
    int fd = -1;
    QString path;
};

void Put(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// A loopback TCP port that takes connections and never says a word.
struct TSilentServer {
    TSilentServer()
    {
        const TLoopbackSocket listener = LoopbackSocket();
        fd = listener.fd;
        if (listener.port) url = QString("socket://127.0.0.1:%1").arg(listener.port);
    }
    ~TSilentServer()
    {
        for (int c : clients) ::close(c);
        ::close(fd);
    }
    // The next connection within ms, false when none came.
    bool Accept(int ms)
    {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, ms) != 1) return false;
        const int c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) return false;
        clients.push_back(c);
        return true;
    }
    // Whether the client of connection n hung up within ms.
    bool HungUp(size_t n, int ms)
    {
        pollfd p{clients.at(n), POLLIN, 0};
        char byte;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            if (::poll(&p, 1, 50) == 1 && ::recv(clients[n], &byte, 1, MSG_DONTWAIT) == 0) return true;
        return false;
    }
    int fd = -1;
    QString url;
    std::vector<int> clients;
};
}  // namespace

TEST(LocksUucpLock, ADeviceIsSeenUnderEveryNameAndLockedUnderItsOwn)
{
    TPty first, second;
    ASSERT_FALSE(first.path.isEmpty());
    ASSERT_FALSE(second.path.isEmpty());
    QTemporaryDir locks, links;
    const QString n = QFileInfo(first.path).fileName(), m = QFileInfo(second.path).fileName();
    const QString byId = links.filePath("usb-KVX_Gateway_0001-if00-port0");
    ASSERT_TRUE(QFile::link(first.path, byId));

    // Opened through a link or by its own path, the device is looked up by its
    // real name, its base name and the names of the links to it.
    const QStringList names = UucpLockNames(byId, {links.path()});
    EXPECT_EQ(names.front(), "LCK..pts_" + n);
    EXPECT_TRUE(names.contains("LCK.." + n));
    EXPECT_TRUE(names.contains("LCK..usb-KVX_Gateway_0001-if00-port0"));
    EXPECT_TRUE(UucpLockNames(first.path, {links.path()}).contains("LCK..usb-KVX_Gateway_0001-if00-port0"));
    EXPECT_FALSE(UucpLockNames(second.path, {links.path()}).contains("LCK..usb-KVX_Gateway_0001-if00-port0"));

    pid_t holder = 0;
    for (const QString& held : {"LCK.." + n, "LCK..pts_" + n}) {
        Put(locks.filePath(held), "         1\n");  // init, alive
        TUucpLock lock({locks.path()});
        EXPECT_FALSE(lock.Acquire(byId, holder)) << qPrintable(held);
        EXPECT_EQ(holder, 1);
        EXPECT_EQ(UucpLockOwner(byId, {locks.path()}), 1);
        ASSERT_TRUE(QFile::remove(locks.filePath(held)));
    }

    // A fleet: another session holds the first pty under its real name. A link
    // named like it but leading to the second pty is another device: free, and
    // locked under that device's own name.
    Put(locks.filePath("LCK..pts_" + n), "1\n");
    const QString alias = links.filePath(n);
    ASSERT_TRUE(QFile::link(second.path, alias));
    TUucpLock lock({locks.path()});
    ASSERT_TRUE(lock.Acquire(alias, holder));
    EXPECT_EQ(lock.File(), locks.filePath("LCK..pts_" + m));
    EXPECT_FALSE(QFileInfo::exists(locks.filePath("LCK.." + m)));  // no base name another device could share
    TUucpLock other({locks.path()});
    EXPECT_FALSE(other.Acquire(first.path, holder));
    EXPECT_EQ(holder, 1);
}

TEST(Locks, OneKeyPerServerLineHeldByItsProcessUntilReleased)
{
    // One server's line, however the URL is spelt; a different port is another line.
    const QString key = NetworkLockKey("rfc2217://Rack7.example:3001");
    EXPECT_FALSE(key.isEmpty());
    EXPECT_EQ(NetworkLockKey("socket://rack7.EXAMPLE:3001/"), key);
    EXPECT_NE(NetworkLockKey("rfc2217://rack7.example:3002"), key);
    EXPECT_NE(NetworkLockKey("rfc2217://[2001:db8::7]:3001"), NetworkLockKey("rfc2217://[2001:db8::8]:3001"));
    EXPECT_EQ(NetworkLockKey("/dev/ttyUSB0"), QString());

    QTemporaryDir folder;
    TSessionLock lock(folder.path());
    pid_t holder = 0;
    ASSERT_TRUE(lock.Acquire(key, 0, holder));
    EXPECT_TRUE(lock.Held());
    const QStringList files = QDir(folder.path()).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    QFile f(folder.filePath(files.front()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().trimmed().toInt(), ::getpid());  // for another session's refusal to name
    f.close();
    TSessionLock second(folder.path());  // this process's own lock does not keep it out
    EXPECT_TRUE(second.Acquire(key, 0, holder));
    EXPECT_FALSE(second.Held());
    lock.Release();
    EXPECT_FALSE(QFileInfo::exists(folder.filePath(files.front())));  // no file left behind once let go
    EXPECT_TRUE(second.Acquire(key, 0, holder));
    EXPECT_TRUE(second.Held());
    second.Release();
    EXPECT_TRUE(QDir(folder.path()).entryList(QDir::Files).isEmpty());
}

// Two command lines on one terminal server's port: the second waits within its
// --wait and is refused naming the first, never connecting meanwhile; one that
// waits long enough connects once the first has hung up.
TEST(Locks, ASecondCommandLineOnANetworkPortWaitsThenIsRefused)
{
    TSilentServer server;
    ASSERT_FALSE(server.url.isEmpty());
    TCliRunner cli;
    QTemporaryDir runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    auto first = cli.Start({"identify", "--port", server.url, "--wait", "8"}, env);
    ASSERT_TRUE(server.Accept(5000));

    QString out, err;
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(RunCli({"identify", "--port", server.url, "--wait", "1"}, cli.dir.path(), out, err, env, 10000), 15);
    EXPECT_GE(t.elapsed(), 900);
    EXPECT_LT(t.elapsed(), 4000);
    EXPECT_TRUE(err.contains("in use by another session of this program")) << qPrintable(err);
    EXPECT_TRUE(err.contains(QString("process %1").arg(first->processId()))) << qPrintable(err);
    EXPECT_FALSE(server.Accept(0));

    auto third = cli.Start({"identify", "--port", server.url, "--wait", "8"}, env);
    EXPECT_FALSE(server.Accept(300));
    ::kill(pid_t(first->processId()), SIGTERM);
    ASSERT_TRUE(server.HungUp(0, 5000));
    // Only after the first let go; the third, waiting on the file the first
    // removed, takes the one at the path.
    EXPECT_TRUE(server.Accept(5000));
    cli.Finish(std::move(first));
    auto fourth = cli.Start({"identify", "--port", server.url, "--wait", "8"}, env);
    EXPECT_FALSE(server.Accept(300));  // the third holds the line
    ::kill(pid_t(third->processId()), SIGTERM);
    cli.Finish(std::move(third));
    EXPECT_TRUE(server.Accept(5000));
    ::kill(pid_t(fourth->processId()), SIGTERM);
    cli.Finish(std::move(fourth));
    // No lock file stays behind.
    EXPECT_TRUE(QDir(runtime.path() + "/korvanext").entryList(QDir::Files).isEmpty());
}
