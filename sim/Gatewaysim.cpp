#include "Gatewaysim.h"

#include "Common/Imagelayout.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

using namespace ImageLayout;

namespace {

long long NowUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000LL + ts.tv_nsec / 1000;
}

// The gateway's own arithmetic, written apart from the tool's on purpose.
uint16_t SumChecksum(const uint8_t* p, size_t n)
{
    unsigned s = 0;
    while (n--) s += *p++;
    return uint16_t(~s);
}

bool BlockOk(const uint8_t* block, size_t size)
{
    return SumChecksum(block, size - 2) == (block[size - 2] | block[size - 1] << 8);
}

void SealBlock(uint8_t* block, size_t size)
{
    const uint16_t s = SumChecksum(block, size - 2);
    block[size - 2] = uint8_t(s & 0xFF);
    block[size - 1] = uint8_t(s >> 8);
}

}  // namespace

std::vector<uint8_t> CGatewaySim::DefaultImage()
{
    std::vector<uint8_t> img(ImageSize, 0);
    // Factory settings as the gateway's firmware lays them out.
    const std::pair<int, uint8_t> bytes[] = {
        {1, 5},       {2, 5},       {32, 3},      {33, 3},  {34, 3},   {35, 3},     {36, 50},
        {153, 1},     {208, 20},    {209, 10},    {210, 5}, {256, 1},  {257, 15},   {258, 5},
        {260, 15},    {261, 15},    {262, 0},     {273, 4}, {274, 58}, {791, 0x30},  // minimum credit "0" in ASCII
        {2038, 0x4A}, {2039, 0x72}, {2040, 0x90},                                    // service password 40729
    };
    for (const auto& [addr, value] : bytes) img[size_t(addr)] = value;
    for (int addr : {4, 6, 8, 10, 13, 15, 289, 291, 294, 296}) {  // 425 Hz tones
        img[size_t(addr)] = 425 & 0xFF;
        img[size_t(addr + 1)] = 425 >> 8;
    }
    SealBlock(img.data() + Block1Start, Block1Size);
    SealBlock(img.data() + Block2Start, Block2Size);
    return img;
}

CGatewaySim::CGatewaySim(TSimOptions options) : m_Options(std::move(options))
{
    m_Version = m_Options.version;
    m_BadChecksum = m_Options.badChecksum;
    m_SilentAfter = m_Options.silentAfter;
    m_RefuseWrite = m_Options.refuseWrite;
    m_BadFirmwareAck = m_Options.badFirmwareAck;
    m_RefuseEachBlock = m_Options.refuseEachBlock;
    m_KeepFirmware = m_Options.keepFirmware;
    m_CorruptStores = m_Options.corruptStores;
    m_StoreDelayMs = m_Options.storeDelayMs;
    m_BlockAbandonMs = m_Options.blockAbandonMs;
    m_Call = m_Options.call;
    m_CallDirection = m_Options.callDirection;
    m_CallNumber = m_Options.callNumber;
    m_Signal = m_Options.signal;
    m_Firmware.assign(FirmwareSize, 0xFF);
    m_DeviceData.resize(DeviceDataSize);
    for (int i = 0; i < DeviceDataSize; ++i) m_DeviceData[size_t(i)] = uint8_t(0x30 + i % 64);
}

CGatewaySim::~CGatewaySim() { Stop(); }

void CGatewaySim::Log(const std::string& text) const
{
    if (!m_Options.quiet) std::fprintf(stderr, "gatewaysim: %s\n", text.c_str());
}

bool CGatewaySim::Start(std::string* error)
{
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        Stop();
        return false;
    };
    // Nothing is made, not even the image file, for a link that would replace something.
    if (!m_Options.linkPath.empty() && !LinkPathFree(m_Options.linkPath, error)) return false;
    m_Image = DefaultImage();
    if (!m_Options.imagePath.empty()) {
        std::ifstream f(m_Options.imagePath, std::ios::binary);
        std::vector<uint8_t> stored((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        if (stored.size() == size_t(ImageSize)) m_Image = stored;
        else Persist();
    }
    m_Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_Master < 0 || grantpt(m_Master) != 0 || unlockpt(m_Master) != 0) return fail("pseudo-terminal");
    char name[128] = {};
    if (ptsname_r(m_Master, name, sizeof name) != 0) return fail("pseudo-terminal name");
    m_SlavePath = name;
    // Holding the other end open keeps the line alive while the tool closes and reopens it.
    m_Slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_Slave < 0) return fail(name);
    termios t{};
    tcgetattr(m_Slave, &t);
    cfmakeraw(&t);
    cfsetspeed(&t, B19200);
    tcsetattr(m_Slave, TCSANOW, &t);
    fcntl(m_Master, F_SETFL, fcntl(m_Master, F_GETFL) | O_NONBLOCK);
    if (pipe2(m_Wake, O_CLOEXEC | O_NONBLOCK) != 0) return fail("pipe");
    if (!m_Options.linkPath.empty()) {
        ::unlink(m_Options.linkPath.c_str());
        if (symlink(name, m_Options.linkPath.c_str()) != 0) return fail(m_Options.linkPath);
        m_LinkMade = true;
    }
    m_Stop = false;
    m_Running = true;
    m_Thread = std::thread(&CGatewaySim::Run, this);
    Log(std::string("listening on ") + name);
    return true;
}

void CGatewaySim::Stop()
{
    m_Stop = true;
    if (m_Wake[1] >= 0) (void)!::write(m_Wake[1], "x", 1);
    if (m_Thread.joinable()) m_Thread.join();
    for (int* fd : {&m_Master, &m_Slave, &m_Wake[0], &m_Wake[1]}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    // Only our own link goes, and only while it still leads to our pseudo-terminal.
    if (m_LinkMade) {
        char target[PATH_MAX] = {};
        const ssize_t n = ::readlink(m_Options.linkPath.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, size_t(n)) == m_SlavePath) ::unlink(m_Options.linkPath.c_str());
        m_LinkMade = false;
    }
    m_Running = false;
}

void CGatewaySim::Kill() { Stop(); }

bool CGatewaySim::LinkPathFree(const std::string& path, std::string* why)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT) return true;
        if (why) *why = path + ": " + std::strerror(errno);
        return false;
    }
    const char* what = S_ISDIR(st.st_mode) ? "a folder" : S_ISREG(st.st_mode) ? "a file" : "something else";
    if (S_ISLNK(st.st_mode)) {
        char target[PATH_MAX] = {};
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, size_t(n)).rfind("/dev/pts/", 0) == 0) return true;
        what = "a link to something other than a pseudo-terminal";
    }
    if (why) *why = "'" + path + "' is " + what + "; it is left as it is (choose another --link path)";
    return false;
}

bool CGatewaySim::AtSpeed57600() const
{
    termios t{};
    if (m_Slave < 0 || tcgetattr(m_Slave, &t) != 0) return false;
    return cfgetospeed(&t) == B57600;
}

void CGatewaySim::Send(const std::string& bytes) { Send(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()); }

void CGatewaySim::Send(const uint8_t* data, size_t size)
{
    if (m_OutPos == m_Out.size()) {
        // The line was idle: the first byte starts now.
        m_Out.clear();
        m_OutPos = 0;
        m_OutReadyUs = std::max(m_OutReadyUs, NowUs());
    }
    m_Out.insert(m_Out.end(), data, data + size);
}

void CGatewaySim::Run()
{
    const long long byteUs = m_Options.throttleBaud > 0 ? 10000000LL / m_Options.throttleBaud : 0;
    uint8_t chunk[4096];
    while (!m_Stop) {
        const long long now = NowUs();
        // Sleep until the next byte may leave or arrive, or the modem answers.
        long long wakeAt = -1;
        auto earliest = [&](long long t) { wakeAt = wakeAt < 0 ? t : std::min(wakeAt, t); };
        // Paced output leaves in bursts of up to a UART FIFO's 16 bytes, as a real port delivers it.
        if (m_OutPos < m_Out.size())
            earliest(byteUs ? m_OutReadyUs + byteUs * long(std::min<size_t>(15, m_Out.size() - m_OutPos - 1)) : now);
        if (m_InPos < m_In.size()) earliest(m_In[m_InPos].second);
        if (m_ConnectAt >= 0) earliest(m_ConnectAt);
        const long long abandonUs = BlockAbandonUs();
        if (abandonUs > 0) earliest(m_BlockByteAt + abandonUs);
        const int timeoutMs = wakeAt < 0 ? -1 : int(std::max(0LL, (wakeAt - now + 999) / 1000));
        pollfd fds[2] = {{m_Wake[0], POLLIN, 0}, {m_Master, POLLIN, 0}};
        if (m_OutPos < m_Out.size() && !byteUs) fds[1].events |= POLLOUT;
        if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR) break;
        if (m_Stop) break;
        const long long t = NowUs();

        if (fds[1].revents & POLLIN) {
            const ssize_t n = ::read(m_Master, chunk, sizeof chunk);
            if (n > 0) m_BytesIn += n;
            for (ssize_t i = 0; i < n; ++i) {
                long long arrival = t;
                if (byteUs) {
                    arrival = std::max(m_InReadyUs, t) + byteUs;
                    m_InReadyUs = arrival;
                }
                m_In.emplace_back(chunk[i], arrival);
            }
        }
        while (m_InPos < m_In.size() && m_In[m_InPos].second <= t && !m_DropPending) Feed(m_In[m_InPos++].first, t);
        if (m_InPos == m_In.size()) {
            m_In.clear();
            m_InPos = 0;
        }
        // A real gateway gives up a block whose rest does not come, so that a
        // writer that went away cannot leave it deaf for ever.
        if (abandonUs > 0 && m_InPos == m_In.size() && t >= m_BlockByteAt + abandonUs) {
            std::lock_guard<std::mutex> g(m_Mutex);
            m_State = TState::Idle;
            ++m_BlocksAbandoned;
            Log("incomplete block abandoned");
        }
        if (m_ConnectAt >= 0 && t >= m_ConnectAt) {
            m_ConnectAt = -1;
            const std::string result = m_Options.dialResult;
            if (result == "CONNECT") {
                Send("\r\nCONNECT 9600\r\n");
                m_ModemConnected = true;
                m_LastDataAt = t;
            } else {
                Send("\r\n" + result + "\r\n");
            }
        }

        // Output, paced to the line when asked.
        if (m_OutPos < m_Out.size()) {
            size_t allowed = m_Out.size() - m_OutPos;
            if (byteUs) {
                allowed = t >= m_OutReadyUs ? std::min<size_t>(allowed, size_t((t - m_OutReadyUs) / byteUs + 1)) : 0;
            }
            if (allowed) {
                // Counted before the write: the peer may read the bytes and ask for
                // the count before this thread runs again.
                m_BytesOut += (long long)allowed;
                const ssize_t n = ::write(m_Master, m_Out.data() + m_OutPos, allowed);
                m_BytesOut -= (long long)allowed - std::max<ssize_t>(n, 0);
                if (n > 0) {
                    m_OutPos += size_t(n);
                    if (byteUs) m_OutReadyUs += n * byteUs;
                }
            }
        }
        timespec cpu{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
        m_CpuNs = cpu.tv_sec * 1000000000LL + cpu.tv_nsec;
        if (m_DropPending && m_OutPos == m_Out.size()) {
            Log("dropping the line");
            ::close(m_Master);
            m_Master = -1;
            ::close(m_Slave);
            m_Slave = -1;
            break;
        }
    }
}

void CGatewaySim::Feed(uint8_t byte, long long now)
{
    if (m_Options.modem) {
        if (!m_ModemConnected) {
            if (m_ConnectAt >= 0) {  // any key aborts dialling
                m_ConnectAt = -1;
                Send("\r\nNO CARRIER\r\n");
                return;
            }
            if (byte == '\r') {
                ModemLine(m_AtLine, now);
                m_AtLine.clear();
            } else if (byte != '\n' && m_AtLine.size() < 256) {
                m_AtLine += char(byte);
            }
            return;
        }
        // Escape sequence: "+++" after a second of silence returns to command mode.
        if (byte == '+' && (!m_PlusRun.empty() || now - m_LastDataAt >= 900000)) {
            m_PlusRun += '+';
            if (m_PlusRun == "+++") {
                m_PlusRun.clear();
                m_ModemConnected = false;  // command mode; the call stays until ATH
                Send("\r\nOK\r\n");
                m_AtLine.clear();
                return;
            }
        } else {
            m_PlusRun.clear();
        }
        m_LastDataAt = now;
        ConfigByte(byte);
        return;
    }
    if (AtSpeed57600() && m_State == TState::Idle) {
        if (byte == '\r') {
            const std::string line = m_AtLine;
            m_AtLine.clear();
            if (!line.empty()) AtLine(line);
        } else if (byte != '\n' && m_AtLine.size() < 512) {
            m_AtLine += char(byte);
        }
        return;
    }
    ConfigByte(byte);
}

long long CGatewaySim::BlockAbandonUs() const
{
    if (m_State != TState::BlockG1 && m_State != TState::BlockG2) return 0;
    std::lock_guard<std::mutex> g(m_Mutex);
    return m_BlockAbandonMs * 1000LL;
}

void CGatewaySim::ConfigByte(uint8_t byte)
{
    std::unique_lock<std::mutex> l(m_Mutex);
    m_BlockByteAt = NowUs();
    switch (m_State) {
    case TState::Idle: break;
    case TState::BlockG1:
        m_Collect.push_back(byte);
        if (m_Collect.size() == size_t(Block1Size)) {
            m_State = TState::Idle;
            if (m_RefuseWrite || !BlockOk(m_Collect.data(), m_Collect.size())) {
                Send("Y");
                return;
            }
            StoreBlock(l, Block1Start);
        }
        return;
    case TState::BlockG2:
        m_Collect.push_back(byte);
        if (m_Collect.size() == size_t((m_Piece + 1) * Block2Piece)) {
            ++m_Piece;
            if (m_RefuseWrite) {
                m_State = TState::Idle;
                Send("Y");
                return;
            }
            if (m_Piece < 4) {
                Send("X");
                return;
            }
            m_State = TState::Idle;
            if (!BlockOk(m_Collect.data(), m_Collect.size())) {
                Send("Y");
                return;
            }
            StoreBlock(l, Block2Start);
        }
        return;
    case TState::AddrO:
        m_Collect.push_back(byte);
        if (m_Collect.size() == 2) {
            m_State = TState::Idle;
            if (m_Collect[0] == 0xEE && m_Collect[1] == 0x00) {
                Send(std::string("O\xEE\x00", 3));
                Send(m_DeviceData.data(), m_DeviceData.size());
            }
        }
        return;
    case TState::BlockK:
        m_Collect.push_back(byte);
        if (m_Collect.size() == size_t(2 + FirmwareBlock)) ReceiveFirmwareBlock();
        return;
    }

    // A command letter.
    if (byte && std::strchr("UXZBCDFeEgGOKA", byte)) {
        if (m_CommandLog.size() >= 4096) m_CommandLog.erase(0, 1024);
        m_CommandLog += char(byte);
    }
    const int commands = ++m_Commands;
    if (m_SilentAfter >= 0 && commands > m_SilentAfter) return;
    if (m_Options.modem && m_NoCarrierAfter >= 0 && commands > m_NoCarrierAfter) {
        m_NoCarrierAfter = -1;
        HangUpCall(true);
        return;
    }
    auto text = [&](char first, const std::string& body) {
        std::string reply(1, first);
        reply += body;
        reply += '\0';
        Send(reply);
    };
    auto block = [&](char first, int start, int size) {
        std::vector<uint8_t> reply(size_t(size) + 1);
        reply[0] = uint8_t(first);
        std::copy(m_Image.begin() + start, m_Image.begin() + start + size, reply.begin() + 1);
        if (m_BadChecksum > 0) {
            --m_BadChecksum;
            reply.back() ^= 0xFF;
        }
        if (m_Options.dropMidBlock) {
            reply.resize(reply.size() / 2);
            m_DropPending = true;
        }
        Send(reply.data(), reply.size());
    };
    switch (byte) {
    case 'U': Send("X"); break;
    case 'X': Send("U"); break;
    case 'Z':
        Send("\"KX2 gateway " + m_Version + ";356938035643809;SIMNET CZ; (23001);" + std::to_string(m_Signal) + "\"");
        break;
    case 'B': text('B', std::string(1, m_Options.hwLetter) + "2"); break;
    case 'C': text('C', m_Version); break;
    case 'D': text('D', m_Options.serial); break;
    case 'F': text('F', m_Options.operLock); break;
    case 'e':
        ++m_Block1Reads;
        block('e', Block1Start, Block1Size);
        break;
    case 'E':
        ++m_Block2Reads;
        block('E', Block2Start, Block2Size);
        break;
    case 'g':
        ++m_WriteCommands;
        m_State = TState::BlockG1;
        m_Collect.clear();
        break;
    case 'G':
        ++m_WriteCommands;
        m_State = TState::BlockG2;
        m_Collect.clear();
        m_Piece = 0;
        break;
    case 'O':
        m_State = TState::AddrO;
        m_Collect.clear();
        break;
    case 'K':
        m_State = TState::BlockK;
        m_Collect.clear();
        break;
    case 'A': Log("configuration mode left"); break;
    default: --m_Commands; break;  // not a command: line noise
    }
}

void CGatewaySim::StoreBlock(std::unique_lock<std::mutex>& lock, int start)
{
    if (m_CorruptStores > 0) {
        --m_CorruptStores;
        m_Collect[1] ^= 0x01;  // a flaky memory cell
    }
    std::copy(m_Collect.begin(), m_Collect.end(), m_Image.begin() + start);
    ++m_ImageWrites;
    const int delay = m_StoreDelayMs;
    lock.unlock();
    Persist();
    if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    Send("X");
}

void CGatewaySim::Persist()
{
    if (m_Options.imagePath.empty()) return;
    std::vector<uint8_t> copy;
    {
        std::lock_guard<std::mutex> g(m_Mutex);
        copy = m_Image;
    }
    const std::string tmp = m_Options.imagePath + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(copy.data()), std::streamsize(copy.size()));
        if (!f) return;
    }
    std::rename(tmp.c_str(), m_Options.imagePath.c_str());
}

std::vector<uint8_t> CGatewaySim::Image() const
{
    std::lock_guard<std::mutex> g(m_Mutex);
    return m_Image;
}

void CGatewaySim::SetImage(const std::vector<uint8_t>& image)
{
    {
        std::lock_guard<std::mutex> g(m_Mutex);
        if (image.size() != size_t(ImageSize)) return;
        m_Image = image;
    }
    Persist();
}

std::vector<uint8_t> CGatewaySim::Firmware() const
{
    std::lock_guard<std::mutex> g(m_Mutex);
    return m_Firmware;
}

std::vector<std::string> CGatewaySim::AtLog() const
{
    std::lock_guard<std::mutex> l(m_Mutex);
    return m_AtLog;
}

std::string CGatewaySim::CommandLog() const
{
    std::lock_guard<std::mutex> g(m_Mutex);
    return m_CommandLog;
}

std::string CGatewaySim::Version() const
{
    std::lock_guard<std::mutex> g(m_Mutex);
    return m_Version;
}

void CGatewaySim::SetCall(bool active, int direction, const std::string& number)
{
    std::lock_guard<std::mutex> g(m_Mutex);
    m_Call = active;
    m_CallDirection = direction;
    m_CallNumber = number;
}

void CGatewaySim::SetSignal(int csq)
{
    std::lock_guard<std::mutex> g(m_Mutex);
    m_Signal = csq;
}

void CGatewaySim::SetOption(const std::string& name, int value)
{
    std::lock_guard<std::mutex> g(m_Mutex);
    if (name == "badChecksum") m_BadChecksum = value;
    else if (name == "silentAfter") m_SilentAfter = value < 0 ? -1 : m_Commands + value;
    else if (name == "noCarrierAfter") m_NoCarrierAfter = value < 0 ? -1 : m_Commands + value;
    else if (name == "refuseWrite") m_RefuseWrite = value != 0;
    else if (name == "badFirmwareAck") m_BadFirmwareAck = value;
    else if (name == "refuseEachBlock") m_RefuseEachBlock = value;
    else if (name == "keepFirmware") m_KeepFirmware = value != 0;
    else if (name == "corruptStores") m_CorruptStores = value;
    else if (name == "storeDelayMs") m_StoreDelayMs = value;
    else if (name == "blockAbandonMs") m_BlockAbandonMs = value;
}
