// Modem connection: the telephony layer that places a data call through a
// modem, and the dialling dialog that shows its progress.
#pragma once
#include <QString>
#include <functional>
#include <memory>
#include <vector>

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
    virtual void Drop() = 0;
    virtual void Deallocate() = 0;
    virtual void CloseLine() = 0;
    virtual void ConfigDialog(QWidget* owner, unsigned id) = 0;
};

std::unique_ptr<CTelephony> CreateDefaultTelephony();
