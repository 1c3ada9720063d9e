#include "fuzzsupport.h"

#include "Imagelayout.h"
#include "Parameters.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <termios.h>
#include <unistd.h>

void FuzzInitApp(int* argc, char*** argv)
{
    // Settings and scratch files stay out of the user's home.
    static QTemporaryDir home;
    setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    setenv("XDG_DOCUMENTS_DIR", (home.path() + "/Documents").toLocal8Bit().constData(), 1);
    // Millions of "Connection timeout" lines would only slow the search down.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr, "%s\n", qPrintable(text));
            std::abort();
        }
    });
    static std::unique_ptr<QCoreApplication> app(new QCoreApplication(*argc, *argv));
}

void FuzzFail(const char* what)
{
    std::fprintf(stderr, "\nfinding: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

std::string TFuzzInput::Text(size_t max) { return Bytes(std::min<size_t>(Byte(), max)); }

std::string TFuzzInput::Bytes(size_t n)
{
    n = std::min(n, Left());
    std::string s(reinterpret_cast<const char*>(m_Data + m_Pos), n);
    m_Pos += n;
    return s;
}

static void MakeRaw(int fd)
{
    termios t{};
    if (tcgetattr(fd, &t) != 0) return;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    tcsetattr(fd, TCSANOW, &t);
}

TFuzzLine::~TFuzzLine() { Hangup(); }

bool TFuzzLine::Open()
{
    Hangup();
    m_Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    char name[128] = {};
    if (m_Master < 0 || grantpt(m_Master) != 0 || unlockpt(m_Master) != 0 ||
        ptsname_r(m_Master, name, sizeof name) != 0) {
        Hangup();
        return false;
    }
    m_Path = name;
    // The line settings belong to the device side; set them once so that an
    // adopted descriptor (a modem call) is raw as well.
    const int device = OpenDevice();
    if (device < 0) {
        Hangup();
        return false;
    }
    ::close(device);
    m_Out.clear();
    return true;
}

int TFuzzLine::OpenDevice() const
{
    if (m_Master < 0) return -1;
    const int fd = ::open(m_Path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) MakeRaw(fd);
    return fd;
}

std::string TFuzzLine::Read()
{
    std::string got;
    if (m_Master < 0) return got;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_Master, buf, sizeof buf);
        if (n > 0) {
            got.append(buf, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // EAGAIN: nothing more now; EIO: the device side is closed at the moment.
        return got;
    }
}

void TFuzzLine::Write(const std::string& bytes)
{
    m_Out += bytes;
    Flush();
}

void TFuzzLine::Flush()
{
    while (m_Master >= 0 && !m_Out.empty()) {
        const ssize_t n = ::write(m_Master, m_Out.data(), m_Out.size());
        if (n > 0) {
            m_Out.erase(0, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return;
    }
}

void TFuzzLine::Hangup()
{
    if (m_Master >= 0) ::close(m_Master);
    m_Master = -1;
    m_Out.clear();
}

KVX_NOT_FUZZED bool Normalised(const CParameters& p, bool outsideImageOnly)
{
    for (const auto& [key, rc] : p.Entries()) {
        if (outsideImageOnly && rc.Par->m_Address >= 0) continue;
        for (const std::string& v : rc.Values)
            if (rc.Par->Normalize(v) != v) return false;
    }
    return true;
}

namespace {
KVX_NOT_FUZZED uint64_t Mix(uint64_t h, uint64_t x)
{
    h ^= x + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h * 0xff51afd7ed558ccdULL;
}
}  // namespace

KVX_NOT_FUZZED TValuesDigest DigestValues(const CParameters& p)
{
    // A hash of each setting's values, in order, folded into both digests.
    const std::hash<std::string> hash;
    TValuesDigest d;
    for (const auto& [key, rc] : p.Entries()) {
        uint64_t e = hash(key);
        for (const std::string& v : rc.Values) e = Mix(e, hash(v) ^ v.size());
        d.all = Mix(d.all, e);
        if (rc.Par->m_Address >= 0) d.image = Mix(d.image, e);
    }
    return d;
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KVX_HEAP_HOOKS 1
#endif
#endif

#ifdef KVX_HEAP_HOOKS
#include <sanitizer/allocator_interface.h>

#include <atomic>

namespace {
std::atomic<long long> g_Live{0}, g_Peak{0}, g_Mark{0};

void OnMalloc(const volatile void*, size_t size)
{
    const long long live = g_Live.fetch_add((long long)size, std::memory_order_relaxed) + (long long)size;
    long long peak = g_Peak.load(std::memory_order_relaxed);
    while (live > peak && !g_Peak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {}
}

void OnFree(const volatile void* p)
{
    g_Live.fetch_sub((long long)__sanitizer_get_allocated_size(const_cast<const void*>(p)), std::memory_order_relaxed);
}
}  // namespace

void MarkHeap()
{
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
    (void)installed;
    g_Mark = g_Live.load();
    g_Peak = g_Mark.load();
}

size_t HeapPeakAboveMark() { return size_t(std::max(0LL, g_Peak.load() - g_Mark.load())); }
#else
void MarkHeap() {}
size_t HeapPeakAboveMark() { return 0; }
#endif

QString FuzzScratch()
{
    static const std::unique_ptr<QTemporaryDir> dir = [] {
        const QString shm = "/dev/shm";
        auto d = QDir(shm).exists() ? std::make_unique<QTemporaryDir>(shm + "/kvxfuzz-XXXXXX")
                                    : std::make_unique<QTemporaryDir>();
        if (!d->isValid()) d = std::make_unique<QTemporaryDir>();
        return d;
    }();
    return dir->path() + "/";
}

bool FuzzWriteFile(const QString& path, const std::string& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    return f.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size());
}
