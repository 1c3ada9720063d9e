#include "Signalquery.h"

#include "Commonutils.h"
#include "Netport.h"
#include "Terminal.h"

#include <algorithm>
#include <string>

TSignalReading QuerySignal(CCOMTerminal& terminal)
{
    TSignalReading r;
    r.answered = terminal.SendAndWait("AT+CSQ", "OK\r\n", "ERROR\r\n") == 1;
    if (!r.answered) return r;
    try {
        const std::string v = terminal.Extract("+CSQ:", ",");
        // Two digits at most; a control character means a garbled line, not a value.
        const bool garbled = std::any_of(v.begin(), v.end(), [](char c) { return static_cast<unsigned char>(c) < 32; });
        if (!v.empty() && v.size() <= 4 && !garbled) r.csq = ParseNumber(v);
    } catch (const CCOMTermExp&) {
        // No "+CSQ:" line in the reply: answered, but no value.
    }
    return r;
}

QString SignalPortInstead(const QString& port)
{
    TNetworkAddress address;
    if (!ParseNetworkPort(port, address) || address.comPort) return {};
    return "rfc2217://" + QString::fromStdString(address.Name());
}
