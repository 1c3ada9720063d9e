// One command on one gateway: the program's objects and the gateway
// operations set up from the command line, and how the command ends.
#pragma once
#include "Cliconsole.h"
#include "Clioptions.h"
#include "Gatewayops.h"
#include "Globals.h"

#include <QJsonObject>
#include <QString>
#include <functional>

// The program's objects and the gateway operations, set up for one command on one gateway.
class TSession {
public:
    explicit TSession(const TOptions& o);
    ~TSession();
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    // Ends the link: "A" to a greeted gateway, the port closed, a call hung up.
    void Release();
    // Dials when a modem is asked for; false when no call came up.
    bool Connect();
    QString Where() const { return ops.IsModem ? "the modem call to " + ops.ModemNumber : ops.PortName(); }
    bool Interrupted() const;

    // The exit status of an operation that did not succeed, with its one line
    // where the operation did not print one itself.
    int Exit(const QString& command);
    int Say(int code, const QString& line)
    {
        m_Ui.Error(line);
        return code;
    }
    // A file that cannot be written once the gateway was read: said as every
    // error of the session is, so that --json carries it too.
    int CannotWrite(const QString& path, const QString& why);
    // The command's fields and the port for the JSON document, and the error it ended with.
    void AddToReport(QJsonObject report, int code) const;

private:
    TGlobalObjects m_Globals;
    TConsoleUI m_Ui;

public:
    CGatewayOps ops;

private:
    TConsoleDialingView m_Dialing;
};

// Runs one gateway operation; report collects the JSON fields, the text
// output is printed by the operation itself.
using TLinkRun = std::function<int(TSession&, const TOptions&, QJsonObject& report)>;

// Runs the command on the gateway of the link options, or on each of several
// at once. `beforeLink` runs before any port is opened or call placed; false
// ends the command there.
int WithLink(const QString& command, TOptions& o, const TLinkRun& run,
             const std::function<bool(TSession&)>& beforeLink = nullptr);
