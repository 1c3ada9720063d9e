// The AT command lines the simulated gateway answers: those of the Hayes modem
// in front of it, and those of its GSM module at 57600 baud.
#include "Gatewaysim.h"

#include <cctype>

namespace {

std::string Upper(std::string s)
{
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

void CGatewaySim::ModemLine(const std::string& raw, long long now)
{
    const std::string line = Upper(raw);
    if (line.rfind("AT", 0) != 0) return;
    const std::string cmd = line.substr(2);
    if (cmd.rfind("D", 0) == 0) {
        m_ConnectAt = now + m_Options.connectDelayMs * 1000LL;
        Log("dialled " + raw.substr(3));
        return;
    }
    if (cmd == "H" || cmd == "H0") {
        HangUpCall(false);
        Send("\r\nOK\r\n");
        return;
    }
    if (cmd == "O" || cmd == "O0") {
        m_ModemConnected = true;
        m_LastDataAt = now;
        Send("\r\nCONNECT 9600\r\n");
        return;
    }
    if (cmd == "I" || cmd == "I0") {
        Send("\r\nKX simulated modem\r\n\r\nOK\r\n");
        return;
    }
    Send("\r\nOK\r\n");  // ATZ, AT&F, ATE0, init strings: accepted
}

void CGatewaySim::HangUpCall(bool report)
{
    m_ModemConnected = false;
    m_State = TState::Idle;
    if (report) Send("\r\nNO CARRIER\r\n");
}

void CGatewaySim::AtLine(const std::string& raw)
{
    const std::string line = Upper(raw);
    int commands = ++m_Commands;
    std::unique_lock<std::mutex> l(m_Mutex);
    if (m_AtLog.size() >= 1024) m_AtLog.erase(m_AtLog.begin(), m_AtLog.begin() + 256);
    m_AtLog.push_back(line);
    if (m_SilentAfter >= 0 && commands > m_SilentAfter) return;
    if (m_Options.atErrors.count(line)) {
        Send("\r\nERROR\r\n");
        return;
    }
    auto ok = [&](const std::string& body) { Send(body.empty() ? "\r\nOK\r\n" : "\r\n" + body + "\r\n\r\nOK\r\n"); };
    if (line == "AT" || line == "ATE0" || line == "ATE1" || line == "ATZ") ok("");
    else if (line == "AT+GMI" || line == "AT+CGMI") ok("KORVA");
    else if (line == "AT+GMM" || line == "AT+CGMM") ok("GM-900");
    else if (line == "AT+GMR" || line == "AT+CGMR") ok("Revision 12.01");
    else if (line == "AT+GSN" || line == "AT+CGSN") ok("356938035643809");
    else if (line == "AT+CIMI") ok("230019876543210");
    else if (line == "AT+CSCA?") ok("+CSCA: \"+420603052000\",145");
    else if (line == "AT+COPS=3,0") {
        m_OperatorFormat = 0;
        ok("");
    } else if (line == "AT+COPS=3,2") {
        m_OperatorFormat = 2;
        ok("");
    } else if (line == "AT+COPS?") ok(m_OperatorFormat == 2 ? "+COPS: 0,2,\"23001\"" : "+COPS: 0,0,\"SIMNET CZ\"");
    else if (line == "AT+CLCC") {
        if (m_Call) ok("+CLCC: 1," + std::to_string(m_CallDirection) + ",0,0,0,\"" + m_CallNumber + "\",145");
        else ok("");
    } else if (line == "AT+CSQ") ok("+CSQ: " + std::to_string(m_Signal) + ",99");
    else Send("\r\nERROR\r\n");
}
