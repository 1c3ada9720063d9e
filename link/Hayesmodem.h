// A Hayes-compatible modem as the telephony service: the serial devices that
// may hold one, probing them, and a data call by AT commands.
#pragma once
#include "Dialing.h"
#include "Uucplock.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QSocketNotifier;
class QTimer;

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
