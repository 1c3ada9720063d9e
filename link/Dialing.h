// Modem connection: the telephony layer that places a data call through a
// Hayes-compatible modem, and the dialling dialog that shows its progress.
#pragma once
#include "Serialport.h"
#include "Transport.h"
#include "Uucplock.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QListWidget;
class QPushButton;
class QSocketNotifier;
class QTimer;
class QWidget;

// Call states and line messages, numbered as the telephony service numbers them.
enum : unsigned {
    LINE_CALLSTATE = 2,
    LINE_CLOSE = 3,
    LINECALLSTATE_IDLE = 0x1,
    LINECALLSTATE_DIALING = 0x10,
    LINECALLSTATE_PROCEEDING = 0x40,
    LINECALLSTATE_CONNECTED = 0x100,
    LINECALLSTATE_DISCONNECTED = 0x4000,
    LINEDISCONNECTMODE_NORMAL = 0x1,
    LINEDISCONNECTMODE_BUSY = 0x20,
    LINEDISCONNECTMODE_NOANSWER = 0x40,
    LINEDISCONNECTMODE_NODIALTONE = 0x1000,
    LINEDISCONNECTMODE_UNAVAIL = 0x8000,
    LINEBEARERMODE_VOICE = 0x1,
    LINEMEDIAMODE_DATAMODEM = 0x10,
};

struct TLineDevice {
    QString name;
    unsigned id = 0;
    unsigned bearerModes = 0;
    unsigned mediaModes = 0;
    QString path;  // the serial device of the modem
};

// What the terminal expects of a telephony service. Callbacks arrive on the
// user-interface thread, through its event loop.
class CTelephony {
public:
    using TCallback = std::function<void(unsigned message, unsigned param1, unsigned param2)>;
    virtual ~CTelephony() = default;
    virtual std::vector<TLineDevice> Devices() = 0;
    virtual bool OpenLine(unsigned id, TCallback callback) = 0;
    virtual bool MakeCall(const QString& number) = 0;
    // The data channel of the connected call, handed over to the serial port; -1 when none.
    virtual int TakeCallHandle() = 0;
    // The connected call's line where it is no descriptor to hand over (a modem
    // behind a terminal server), lent to the serial port; null when none.
    virtual std::unique_ptr<TTransport> TakeCallLine() { return nullptr; }
    // Why the last OpenLine failed, where a reason is known; null otherwise.
    virtual const ECommError* LineFailure() const { return nullptr; }
    virtual void Drop() = 0;
    virtual void Deallocate() = 0;
    virtual void CloseLine() = 0;
    virtual void ConfigDialog(QWidget* owner, unsigned id) = 0;
};

// What asking a serial port for a modem found.
struct TModemProbe {
    enum TResult { Answers, NoAnswer, InUse, CannotOpen };
    QString name;
    QString path;
    TResult result = NoAnswer;
    QString detail;  // why a port was not asked or could not be opened
};

// A Hayes-compatible modem on a serial device: reset and init string, ATD,
// result codes as call states, hang-up by DTR drop or "+++" and "ATH".
class CHayesTelephony : public CTelephony {
public:
    // The serial devices of this machine (listed, never opened; systemDevices
    // false leaves them out), then any given here (a name and a device path).
    explicit CHayesTelephony(std::vector<std::pair<QString, QString>> extra = {}, bool systemDevices = true);
    ~CHayesTelephony() override;
    std::vector<TLineDevice> Devices() override;
    bool OpenLine(unsigned id, TCallback callback) override;
    bool MakeCall(const QString& number) override;
    int TakeCallHandle() override;
    std::unique_ptr<TTransport> TakeCallLine() override;
    const ECommError* LineFailure() const override { return m_Failure ? &*m_Failure : nullptr; }
    void Drop() override;
    void Deallocate() override {}
    void CloseLine() override;
    void ConfigDialog(QWidget* owner, unsigned id) override;

    QString m_InitString = "ATE0V1&D2";
    bool m_PulseDial = false;
    int m_DialTimeoutMs = 60000;
    // How long a modem behind a terminal server may take to connect.
    int m_ConnectTimeoutMs = 10000;

    // The result line a modem gave, as the call state and disconnect mode it means.
    static bool ResultState(const QString& line, unsigned& state, unsigned& mode);

    // Adds a modem that is not listed (one behind a terminal server), unless it is already.
    void AddDevice(const QString& name, const QString& path);
    // Lists the system's serial devices again (a modem may have been plugged in).
    void Rescan();
    // Asks every listed device whether a modem answers "AT", only when the
    // user asks for it: ports locked or in use by another program are left
    // alone, each port's line settings are restored afterwards, and every
    // port gets at most timeoutMs (all are asked side by side).
    std::vector<TModemProbe> ProbeDevices(int timeoutMs = 500) const;
    static TModemProbe Probe(const QString& name, const QString& path, int timeoutMs,
                             const QStringList& lockFolders = {"/run/lock", "/var/lock"});

private:
    void Report(unsigned message, unsigned p1, unsigned p2);
    void OnReadable();
    void WriteText(const QByteArray& text);
    void Finish(unsigned mode);
    bool WaitFor(const char* text, int ms);

    void List();

    std::vector<std::pair<QString, QString>> m_Extra;
    bool m_SystemDevices;
    std::vector<TLineDevice> m_Devices;
    TCallback m_Callback;
    std::unique_ptr<TTransport> m_Port;  // the modem's line while it is open
    std::optional<ECommError> m_Failure;
    TUucpLock m_Lock;  // held with the modem's line
    std::unique_ptr<QSocketNotifier> m_Notifier;
    std::unique_ptr<QTimer> m_DialTimer;
    QByteArray m_Line;
    QByteArray m_Seen;  // replies read since the last command, at most kMaxSeen bytes
    static constexpr qsizetype kMaxSeen = 4096;
    bool m_Calling = false;
    bool m_Connected = false;
    bool m_Dropping = false;
};

// Where the dialling progress is shown: the dialog in the program, the
// terminal's error output in the command-line tool.
class TDialingView {
public:
    virtual ~TDialingView() = default;
    virtual void Prepare() = 0;          // centre, captions, show without blocking, clear
    virtual void Hide() = 0;
    virtual void Add(const QString& message) = 0;
    virtual void RunModal() = 0;         // until CloseModal or the user's button
    virtual void CloseModal() = 0;
    virtual bool Active() const = 0;     // false once the user pressed the button
    virtual void CallEnded() {}          // the call went idle (a view without a user closes here)
};

class TFDialingDialog : public QDialog, public TDialingView {
    Q_OBJECT
public:
    explicit TFDialingDialog(QWidget* parent = nullptr);
    void Prepare() override;
    void Hide() override { hide(); }
    void Add(const QString& message) override;
    void RunModal() override;
    void CloseModal() override;
    bool Active() const override { return !m_Pressed; }

    QListWidget* PageList;
    QPushButton* Button1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    bool m_Pressed = false;
};

std::unique_ptr<CTelephony> CreateDefaultTelephony();
