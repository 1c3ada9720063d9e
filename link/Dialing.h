// Modem connection as the terminal sees it: the telephony service that places
// a data call (Hayesmodem.h has the one for a Hayes-compatible modem) and the
// view that shows the dialling progress (a dialog in the window).
#pragma once
#include "Serialport.h"
#include "Transport.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

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
};

// Where the dialling progress is shown: the dialog in the program, the
// terminal's error output in the command-line tool.
class TDialingView {
public:
    virtual ~TDialingView() = default;
    virtual void Prepare() = 0;  // centre, captions, show without blocking, clear
    virtual void Hide() = 0;
    virtual void Add(const QString& message) = 0;
    virtual void RunModal() = 0;  // until CloseModal or the user's button
    virtual void CloseModal() = 0;
    virtual bool Active() const = 0;  // false once the user pressed the button
    virtual void CallEnded() {}       // the call went idle (a view without a user closes here)
};

// The Hayes modem layer over the system's serial devices.
std::unique_ptr<CTelephony> CreateDefaultTelephony();
