// Network serial ports: socket://HOST:PORT (raw TCP) and rfc2217://HOST:PORT
// (telnet with the COM-PORT-OPTION), HOST a name, an IPv4 or a bracketed IPv6
// address, as terminal servers offer a serial line.
#pragma once
#include "Transport.h"

#include <QString>
#include <memory>
#include <string>

struct TNetworkAddress {
    bool comPort = false;  // rfc2217://
    std::string host;      // without brackets
    std::string port;
    // HOST:PORT as messages name it, an IPv6 address in brackets.
    std::string Name() const;
};

// Whether the port text names a network port (then it is no device path).
bool IsNetworkPort(const QString& text);
// The port text as messages may show it: a password in it (user:password@,
// which no port takes) replaced by "***".
QString ShownPortText(const QString& text);
// Splits a network port text; false when it is not a valid one.
bool ParseNetworkPort(const QString& text, TNetworkAddress& address);

// Connects and, for rfc2217://, negotiates binary mode and the line settings,
// within timeoutMs in all. A failure raises ECommError naming HOST:PORT.
std::unique_ptr<TTransport> OpenNetworkPort(const QString& text, const TLineSettings& line, int timeoutMs);
