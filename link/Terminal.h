// The command terminal: sends a command to the gateway and waits, with an
// inactivity time-out, until the reply satisfies a condition. Every wait runs
// the event loop, so the user interface stays alive and Cancel works.
#pragma once
#include "Serialport.h"

#include <QString>
#include <QTimer>
#include <array>
#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

enum : uint8_t {
    CE_NOT_CONNECTED = 0,
    CE_USER = 1,
    CE_CONNECTION_TIMEOUT = 2,
    CE_PARSING_ERROR = 3,
    CE_SEND_ERROR = 4,
    CE_OPEN_ERROR = 5,
};

class CCOMTermExp : public std::exception {
public:
    explicit CCOMTermExp(uint8_t code) : Code(code) {}
    const char* what() const noexcept override;
    uint8_t Code;
    // Why the port could not be opened (CE_OPEN_ERROR): the device path, the
    // system's error number (0 when none) and its text.
    std::string Device;
    int SystemError = 0;
    std::string Detail;
    TNetFailure NetFailure = nfNone;  // why a network port could not be opened
    // CE_PARSING_ERROR: more bytes came than any answer has (the buffer is full)
    // without the one waited for: a peer that floods, or is no gateway at all.
    bool Overflow = false;
};

const char* LinkErrorName(uint8_t code);

// The value between the first start text and the end text behind it in a
// zero-terminated reply; cuts the reply at the end text. Raises CE_PARSING_ERROR
// when either is missing.
std::string ExtractText(char* reply, const char* start, const char* end);

class CTelephony;
class TDialingView;

class CCOMTerminal {
public:
    static constexpr int BufferSize = 20000;
    static constexpr int MaxDevices = 100;

    CCOMTerminal();
    ~CCOMTerminal();
    CCOMTerminal(const CCOMTerminal&) = delete;
    CCOMTerminal& operator=(const CCOMTerminal&) = delete;

    bool Connect(const QString& port, int baudRate);
    // The failure to open a port as the terminal raises it (CE_OPEN_ERROR).
    static CCOMTermExp OpenFailure(const ECommError& e, const QString& port);
    void Close();

    // Returns the number (1..10) of the first expected text found; with no
    // expected text (s1 null), waits for a reply that ends with a zero byte.
    int SendAndWait(const std::string& command, std::initializer_list<const char*> expected = {});
    int SendAndWait(const std::string& command, const char* s1, const char* s2 = nullptr, const char* s3 = nullptr)
    {
        return SendAndWait(command, {s1, s2, s3});
    }
    bool SendAndWaitCount(const std::string& command, int n);
    // Bytes as they are, without a terminator and without waiting for a reply;
    // any failure of the port raises CCOMTermExp.
    void SendRaw(const void* data, int size);
    bool SendAndWaitNth(const std::string& command, const char* text, int n);
    std::string Extract(const char* start, const char* end);

    // The received bytes as a zero-terminated string (a zero inside hides the rest).
    const char* Received();

    // Modem line (telephony layer).
    void Dial(const QString& device, const QString& number);
    void HangUp();
    int FindDevice(const QString& name) const;
    // Makes a modem named by its path known, under that name: a device path or
    // a terminal server's port. False when it is neither, or the telephony
    // layer takes no modems by path.
    bool IncludeDevice(const QString& path);
    // Why the last Dial could not reach its modem's terminal server; null otherwise.
    const CCOMTermExp* DialFailure() const { return m_DialFailure.get(); }
    void SetConnected(bool connected);
    void SetCallActive(bool active);
    CTelephony* Telephony() const { return m_Telephony.get(); }
    // Replaces the telephony layer (tests and the demo use a simulated modem).
    void SetTelephony(std::unique_ptr<CTelephony> telephony);
    void RefreshDevices();

    TComm m_Comm;
    QTimer m_Timer;
    bool m_Abort = false;
    // An interrupt (a signal, or the program ending): set from a signal handler,
    // where only a lock-free atomic may be touched. Unlike m_Abort no wait
    // clears it, so one that arrives between two waits still ends the next;
    // whoever set it clears it.
    std::atomic<bool> m_Interrupt{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "a signal handler sets m_Interrupt");
    // A second interrupt: breaks every wait, also one with a block in flight.
    std::atomic<bool> m_InterruptNow{false};
    // Set with a first interrupt that nobody is there to follow up (a hang-up,
    // a termination): a write under way (TWriteInFlight) finishes all its blocks.
    std::atomic<bool> m_InterruptFinishes{false};
    // A first interrupt of that kind came: the write in flight goes on.
    bool WriteFinishes() const { return m_Interrupt && m_InterruptFinishes && !m_InterruptNow && !m_Abort; }
    // While a block is in flight (see TBlockInFlight) a break is held back and
    // noted here; the operation looks at it once the block is whole.
    bool m_BreakHeld = false;
    // Told once when a break is first held back.
    std::function<void()> m_OnBreakHeld;
    bool BlockInFlight() const { return m_HoldBreaks > 0; }
    // Waits, serving events, until every byte written has left the port (never
    // discarding any); bounded by timeoutMs and ended by m_InterruptNow. True
    // when all has gone.
    bool DrainOutput(int timeoutMs);
    // The bound of one wait, from when the command has gone: arriving bytes do not
    // extend it (a device that drips bytes would hold the wait for ever), only
    // the line time of a reply of known length is added to it.
    int m_Timeout = 1000;
    std::array<uint8_t, BufferSize + 1> m_Buffer{};
    int m_Count = 0;
    char m_Terminator = 13;
    std::vector<QString> m_DeviceNames;
    std::vector<unsigned> m_DeviceIds;
    int m_DeviceCount = 0;
    bool m_Connected = false;
    bool m_CallActive = false;
    std::function<void(bool connected, bool callActive)> m_OnStateChange;
    // Called with m_Count after received bytes were appended (progress of long replies).
    std::function<void(int count)> m_OnReceive;
    std::array<int, 11> m_TextIds{{264, 265, 266, 267, 268, 269, 270, 271, 272, 273, 2}};
    QString m_Number;
    int m_BaudRate = 0;
    bool m_Waiting = false;   // a wait is running (a second one would corrupt it)
    bool m_LineLost = false;  // the device went away while open
    bool m_Overflow = false;  // bytes were dropped: the buffer was full
    // What a write that failed means: the line lost, when it went, else a send failure.
    uint8_t SendFailure() const { return m_LineLost ? CE_NOT_CONNECTED : CE_SEND_ERROR; }

    // Where dialling shows its progress (the dialog; a silent one when none is set).
    TDialingView* m_View = nullptr;

    // The telephony service's report about the line or the call.
    void LineCallback(unsigned message, unsigned param1, unsigned param2);

private:
    friend class TBlockInFlight;
    friend class TWriteInFlight;
    int m_HoldBreaks = 0;
    int m_HoldWrite = 0;
    // Whether a break ends the running wait now; held back while a block is in flight.
    bool BreakNow();
    void AddMessage(int entry, const QString& argument = QString());
    // The dialling view that is set, or a silent one.
    TDialingView& View();
    void ReleaseCall();
    template <class Cond> int Wait(const std::string& command, Cond condition, int replyBytes = 0);
    void Send(const std::string& command);
    void OnReceive(TComm* comm, int count);
    void InstallHandlers();

    std::unique_ptr<CTelephony> m_Telephony;
    std::unique_ptr<TDialingView> m_SilentView;
    std::unique_ptr<CCOMTermExp> m_DialFailure;
};

// While it lives, a block is in flight: the gateway takes every byte that
// follows a cut block as block data and then answers nothing, so Cancel and a
// first interrupt are held back (m_BreakHeld) until it is gone.
class TBlockInFlight {
public:
    explicit TBlockInFlight(CCOMTerminal& terminal) : m_Terminal(terminal)
    {
        if (m_Terminal.m_HoldBreaks++ == 0) m_Terminal.m_BreakHeld = false;
    }
    ~TBlockInFlight() { --m_Terminal.m_HoldBreaks; }
    TBlockInFlight(const TBlockInFlight&) = delete;
    TBlockInFlight& operator=(const TBlockInFlight&) = delete;

private:
    CCOMTerminal& m_Terminal;
};

// While it lives, a write's blocks are being sent and read back: a first
// interrupt that nobody can follow up (WriteFinishes) is held back as for a
// block in flight, so that the gateway is left with every block new.
class TWriteInFlight {
public:
    explicit TWriteInFlight(CCOMTerminal& terminal) : m_Terminal(terminal) { ++m_Terminal.m_HoldWrite; }
    ~TWriteInFlight() { --m_Terminal.m_HoldWrite; }
    TWriteInFlight(const TWriteInFlight&) = delete;
    TWriteInFlight& operator=(const TWriteInFlight&) = delete;

private:
    CCOMTerminal& m_Terminal;
};
