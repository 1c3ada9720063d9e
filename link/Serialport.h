// The serial port: a character device (or the data channel of a modem call)
// with its line settings, reads and writes, and an event thread that waits for
// port events and hands each one to the user-interface thread.
#pragma once
#include "Syncobjects.h"
#include "Transport.h"
#include "Uucplock.h"

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

class QObject;

enum TBaudrate {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200
};
enum TParity { paNone, paOdd, paEven, paMark, paSpace };
enum TStopbits { sb10, sb15, sb20 };
enum TDatabits { da4, da5, da6, da7, da8 };
enum TFlowControl { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
enum TCommOption { coParityCheck = 1, coDsrSensitivity = 2, coIgnoreXOff = 4, coErrorChar = 8, coNullStrip = 16 };

// Event-mask bits, as the platform's serial API numbers them.
enum TCommEventType : unsigned {
    evRxChar = 0x0001,
    evRxFlag = 0x0002,
    evTxEmpty = 0x0004,
    evCts = 0x0008,
    evDsr = 0x0010,
    evRlsd = 0x0020,
    evBreak = 0x0040,
    evError = 0x0080,
    evRing = 0x0100,
    evAll = 0x01FF
};
// Line-error flag passed to OnError when the device went away (hang-up, unplugged).
constexpr unsigned CE_LINELOST = 0x8000;

int BaudRateValue(TBaudrate rate);

class ECommError : public std::runtime_error {
public:
    ECommError(const std::string& text, int errorCode, int systemError = 0);
    int ErrorCode;
    std::string Text;  // the failure text without the code
    // The system's reason (an errno value), also where ErrorCode is the
    // component's own -1: a device that is not a terminal gives ENOTTY.
    int SystemError;
    std::string Device;               // the device path (HOST:PORT for a network port), for failures of Open
    TNetFailure NetFailure = nfNone;  // why a network port failed
    std::string Detail;               // the reason in words where the system's error number does not say it
};

class TComm;

// A serial device found on this machine.
struct TSerialDevice {
    QString path;    // what to open: the stable /dev/serial/by-id link when there is one
    QString device;  // the kernel's device, e.g. /dev/ttyUSB0
    QString name;    // readable: vendor and model, the by-id name, or the kernel's name
};

// Where the system describes its devices; tests lay out folders of their own.
struct TDeviceRoots {
    QString dev = "/dev";
    QString sys = "/sys";
    QString run = "/run";
};

class TCommEventChars {
public:
    explicit TCommEventChars(TComm* owner) : m_Owner(owner) {}
    char XonChar = 17;
    char XoffChar = 19;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;
    void SetChar(int index, char c);  // 1..5 in the order above
    void Assign(const TCommEventChars& other);

private:
    TComm* m_Owner;
};

class TComm {
public:
    TComm();
    ~TComm();
    TComm(const TComm&) = delete;
    TComm& operator=(const TComm&) = delete;

    void Open();
    void OpenTAPI(int handle);  // adopts a descriptor handed over by the telephony layer
    // Adopts a line that is no descriptor of its own (a modem behind a terminal server).
    void OpenTAPI(std::unique_ptr<TTransport> line);
    void Close();
    void CloseTAPI() { Close(); }
    bool Enabled() const { return m_Handle >= 0; }
    // The port is a network connection (a terminal server's), not a device.
    bool Network() const { return m_Transport && m_Transport->Network(); }
    int Handle() const { return m_Handle; }

    int Write(const void* buffer, int count);
    int Read(void* buffer, int count);
    int InQueCount() const;
    int OutQueCount() const;
    void PurgeIn();
    void PurgeOut();
    // Waits until every byte written has left, at most timeoutMs (0: only looks);
    // nothing is discarded. False when some remain.
    bool Drain(int timeoutMs);
    void SetDTRState(bool on);
    void SetRTSState(bool on);
    bool GetModemState(int index) const;  // 1 CTS, 2 DSR, 3 ring, 4 carrier detect
    void Lock() { m_Lock.Acquire(); }
    void Unlock() { m_Lock.Release(); }

    // Maps "Com1".."Com8" to the platform's first eight serial devices; any
    // other name is taken as a device path.
    static QString DevicePath(const QString& name);
    // Serial devices of this machine, listed from what the system says about
    // them (sysfs, /dev/serial/by-id, udev's data) without opening any.
    static std::vector<TSerialDevice> ListSerialDevices(const TDeviceRoots& roots = {});

    QString DeviceName() const { return m_DeviceName; }
    void SetDeviceName(const QString& name);
    void SetMonitorEvents(unsigned events);
    void SetReadBufSize(int size);
    void SetWriteBufSize(int size);
    TBaudrate BaudRate() const { return m_BaudRate; }
    void SetBaudRate(TBaudrate rate);
    void SetParity(TParity parity);
    void SetStopbits(TStopbits bits);
    void SetDatabits(TDatabits bits);
    void SetOptions(unsigned options);
    void SetFlowControl(TFlowControl flow);
    TCommEventChars& EventChars() { return m_EventChars; }
    void ApplySettings();  // writes the line settings when open

    int ReadTimeout = 1000;
    // Bound of connecting to a network port, and of its server's confirmations.
    int ConnectTimeout = 10000;
    int WriteTimeout = 1000;

    std::function<void(TComm*)> OnRlsd;  // carrier detect changed
    std::function<void(TComm*, unsigned errors)> OnError;
    std::function<void(TComm*, int count)> OnRxChar;

private:
    void OpenDevice();
    void Adopt(std::unique_ptr<TTransport> transport, bool applySettings);
    TLineSettings Line() const;
    void StartThread();
    void StopThread();
    void EventLoop(int fd, int wakeFd, unsigned generation);
    void Dispatch(unsigned mask, unsigned generation);
    void SetModemLine(unsigned long request, int bit);

    std::unique_ptr<TTransport> m_Transport;
    int m_Handle = -1;           // the transport's, for the event thread and the device's line settings
    bool m_Exclusive = false;    // the tty lock is ours to give back
    TUucpLock m_UucpLock;        // the lock file other programs sharing ports look at
    TSessionLock m_SessionLock;  // a network port's line, against other sessions of this program
    QString m_DeviceName = "Com2";
    TSimpleEvent m_Event;
    mutable TCriticalSection m_Lock;
    int m_ReadBufSize = 4096;
    int m_WriteBufSize = 2048;
    unsigned m_MonitorEvents = evAll;
    TBaudrate m_BaudRate = br9600;
    TParity m_Parity = paNone;
    TStopbits m_Stopbits = sb10;
    TDatabits m_Databits = da8;
    TCommEventChars m_EventChars{this};
    unsigned m_Options = 0;
    TFlowControl m_FlowControl = fcDefault;

    // Event thread and its hand-over to the user-interface thread.
    std::unique_ptr<QObject> m_Context;
    std::thread m_Thread;
    int m_WakePipe[2] = {-1, -1};
    std::mutex m_HandMutex;
    std::condition_variable m_HandCond;
    bool m_Handled = true;
    std::atomic<bool> m_Stop{false};
    std::atomic<unsigned> m_Generation{0};
};
