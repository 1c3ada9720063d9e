// What carries the serial port's bytes: a serial device, a raw TCP connection
// or a telnet connection with the COM-PORT-OPTION. The port and everything
// above it (terminal, operations, monitor, upgrade) see only this interface.
#pragma once
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>

#include "Clock.h"

// The line as the gateway must see it.
struct TLineSettings {
    int baud = 19200;
    int dataBits = 8;
    int parity = 0;    // TParity
    int stopBits = 0;  // TStopbits
    int flow = 0;      // TFlowControl
};

class TTransport {
public:
    virtual ~TTransport() = default;
    // What the port's event thread waits on for received bytes and hang-ups.
    virtual int Handle() const = 0;
    // False for a line that hands its events to the port itself (an in-process
    // one, see TLocalLine): the port starts no event thread for it.
    virtual bool Polled() const { return true; }
    virtual bool Network() const { return false; }
    // Bytes taken from buffer (0: the line takes none now), -1 with errno.
    virtual ssize_t Send(const uint8_t* buffer, size_t count) = 0;
    // Bytes taken by Send and still held here are handed to the system; false
    // while some remain.
    virtual bool Flush() { return true; }
    // Received data bytes (0: none now), -1 with errno; a connection the far
    // end closed gives ECONNRESET.
    virtual ssize_t Receive(uint8_t* buffer, size_t count) = 0;
    virtual int InQueue() const = 0;
    virtual int OutQueue() const = 0;
    virtual void Purge(bool in, bool out) = 0;
    // Waits until every byte given has left, at most timeoutMs; false when some remain.
    virtual bool Drain(int timeoutMs) = 0;
    // Line settings for a transport that carries them itself (a serial device's
    // are written by the port); false with errno when they were not taken.
    virtual bool Apply(const TLineSettings&) { return true; }
    // Raises or drops DTR (a modem hangs up when it drops); false with errno
    // where the line has no DTR to control.
    virtual bool SetDtr(bool)
    {
        errno = ENOTSUP;
        return false;
    }
};

// A transport on one descriptor, which it owns and closes.
class TDescriptorTransport : public TTransport {
public:
    explicit TDescriptorTransport(int fd) : m_Fd(fd) {}
    ~TDescriptorTransport() override;
    TDescriptorTransport(const TDescriptorTransport&) = delete;
    TDescriptorTransport& operator=(const TDescriptorTransport&) = delete;
    int Handle() const override { return m_Fd; }

protected:
    // The byte count an ioctl request gives (FIONREAD and the like), -1 when it fails.
    int Queue(unsigned long request) const;
    // Waits until every byte is handed over (Flush) and the system's queue
    // counted by `request` is empty, at most timeoutMs.
    bool DrainQueue(unsigned long request, int timeoutMs);
    int m_Fd;
};

// A serial device (or a modem call's data channel): the descriptor is ours and
// closes with the transport. Its line settings are written by the port.
class TDeviceTransport : public TDescriptorTransport {
public:
    using TDescriptorTransport::TDescriptorTransport;
    ssize_t Send(const uint8_t* buffer, size_t count) override;
    ssize_t Receive(uint8_t* buffer, size_t count) override;
    int InQueue() const override;
    int OutQueue() const override;
    void Purge(bool in, bool out) override;
    bool Drain(int timeoutMs) override;
    bool SetDtr(bool on) override;
};

// Another's transport lent for a while: a modem's line carries the call's data
// through the serial port, and the modem takes it back to hang up.
class TLentTransport : public TTransport {
public:
    explicit TLentTransport(TTransport& owner) : m_Owner(owner) {}
    int Handle() const override { return m_Owner.Handle(); }
    bool Polled() const override { return m_Owner.Polled(); }
    bool Network() const override { return m_Owner.Network(); }
    ssize_t Send(const uint8_t* buffer, size_t count) override { return m_Owner.Send(buffer, count); }
    bool Flush() override { return m_Owner.Flush(); }
    ssize_t Receive(uint8_t* buffer, size_t count) override { return m_Owner.Receive(buffer, count); }
    int InQueue() const override { return m_Owner.InQueue(); }
    int OutQueue() const override { return m_Owner.OutQueue(); }
    void Purge(bool in, bool out) override { m_Owner.Purge(in, out); }
    bool Drain(int timeoutMs) override { return m_Owner.Drain(timeoutMs); }
    bool Apply(const TLineSettings& line) override { return m_Owner.Apply(line); }
    bool SetDtr(bool on) override { return m_Owner.SetDtr(on); }

private:
    TTransport& m_Owner;
};

// Ports that live in this process (the scripted gateways of tests and fuzz
// targets), opened by their names instead of a device. The opener gives null
// while its line is down; a null opener removes the port.
using TLocalPortOpener = std::function<std::unique_ptr<TTransport>()>;
void SetLocalPort(const std::string& name, TLocalPortOpener open);
bool IsLocalPort(const std::string& name);
std::unique_ptr<TTransport> OpenLocalPort(const std::string& name);

// Why a network port failed, so that the message can name the cause and the fix.
enum TNetFailure {
    nfNone,
    nfBadName,         // not socket://HOST:PORT or rfc2217://HOST:PORT
    nfHostNotFound,    // the name does not resolve
    nfRefused,         // nothing listens there
    nfUnreachable,     // no route to the host or network
    nfTimedOut,        // no answer within the bound
    nfLookupTimedOut,  // the name service gave no answer within the bound
    nfNoComPort,       // a telnet server without the COM-PORT-OPTION or binary mode
    nfClosed,          // the server closed the connection
    nfOther,
};
