// The GSM module's signal, asked with AT+CSQ over the cable: one query for
// the monitor and the command line's `signal` alike.
#pragma once
#include <QString>

class CCOMTerminal;

struct TSignalReading {
    bool answered = false;  // OK; false: the module said ERROR
    int csq = -1;           // the module's value, -1 when the reply holds none
    // 0..31 (and 32) are levels; 99 is the module's "no measurement".
    bool Measured() const { return csq >= 0 && csq <= 32; }
    int Dbm() const { return 2 * csq - 113; }
};

// Sends AT+CSQ on a terminal already at the module's speed. A reply without a
// readable value is answered but unmeasured; link failures throw CCOMTermExp.
TSignalReading QuerySignal(CCOMTerminal& terminal);

// The module talks at 57600 baud, which a raw network port (socket://HOST:PORT)
// cannot set: for such a port the rfc2217:// name of the same server port, which
// can; empty for every other port. Known from the name alone, before anything is opened.
QString SignalPortInstead(const QString& port);
