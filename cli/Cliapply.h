// korvanext-cli apply: a desired state read and checked offline, then brought
// to the gateway with only what differs written.
#pragma once
#include "Desiredstate.h"

#include <QJsonObject>
#include <QString>
#include <functional>

class CGatewayOps;

struct TApplyOptions {
    QString path;
    bool replaced = false;  // --state replaced
    bool check = false;     // --check
    bool diff = false;      // --diff
    bool json = false;
    bool keepCopy = true;  // not --no-backup
};

class TApplyCommand {
public:
    // Reads and checks the state before any port is opened: 0, or the exit
    // status after saying why not.
    int Prepare(const TApplyOptions& options);
    // On a gateway; `failed` gives the exit status of an operation that did not succeed.
    int Run(CGatewayOps& ops, QJsonObject& report, const std::function<int()>& failed);

private:
    TApplyOptions m_Options;
    TDesiredState m_State;
};
