#include "Telnetcodec.h"

std::string TTelnetCodec::Start()
{
    std::string s;
    auto offer = [&](uint8_t verb, uint8_t option) {
        (verb == WILL ? m_Us : m_Him)[option] = TSide::WantYes;
        s += char(IAC);
        s += char(verb);
        s += char(option);
    };
    offer(WILL, OptBinary);
    offer(DO, OptBinary);
    offer(WILL, OptSga);
    offer(DO, OptSga);
    if (m_ComPort) offer(WILL, OptComPort);
    return s;
}

bool TTelnetCodec::Ready() const
{
    return m_Us[OptBinary] == TSide::Yes && m_Him[OptBinary] == TSide::Yes &&
           (!m_ComPort || m_Us[OptComPort] == TSide::Yes);
}

// Options we do ourselves, and those we let the server do. An echo is never
// wanted: it would mix our own bytes into the gateway's replies.
bool TTelnetCodec::WeWant(uint8_t option) const
{
    return option == OptBinary || option == OptSga || (m_ComPort && option == OptComPort);
}
bool TTelnetCodec::HeMay(uint8_t option) const { return option == OptBinary || option == OptSga; }

void TTelnetCodec::Reply(uint8_t verb, uint8_t option)
{
    if (m_Replies.size() + 3 > MaxReplies) return;
    m_Replies += char(IAC);
    m_Replies += char(verb);
    m_Replies += char(option);
}

// Answers only changes of state, so that two parties never loop on an option.
void TTelnetCodec::Verb(uint8_t verb, uint8_t option)
{
    const bool essential = option == OptBinary || (m_ComPort && option == OptComPort);
    switch (verb) {
    case WILL:
        if (HeMay(option)) {
            if (m_Him[option] == TSide::No) Reply(DO, option);
            m_Him[option] = TSide::Yes;
        } else if (!m_Declined[option]) {
            m_Declined[option] = true;
            Reply(DONT, option);
        }
        break;
    case WONT:
        if (m_Him[option] == TSide::Yes) Reply(DONT, option);
        if (m_Him[option] != TSide::No && option == OptBinary) m_Refused = true;
        m_Him[option] = TSide::No;
        break;
    case DO:
        if (WeWant(option)) {
            if (m_Us[option] == TSide::No) Reply(WILL, option);
            m_Us[option] = TSide::Yes;
        } else if (!m_Declined[option]) {
            m_Declined[option] = true;
            Reply(WONT, option);
        }
        break;
    case DONT:
        if (m_Us[option] == TSide::Yes) Reply(WONT, option);
        if (m_Us[option] != TSide::No && essential) m_Refused = true;
        m_Us[option] = TSide::No;
        break;
    default: break;
    }
}

void TTelnetCodec::EndSub()
{
    const bool whole = !m_SubTooLong;
    m_SubTooLong = false;
    if (!whole) {
        ++m_Dropped;
        m_Sub.clear();
        return;
    }
    if (m_Sub.size() >= 2 && uint8_t(m_Sub[0]) == OptComPort) {
        const unsigned code = uint8_t(m_Sub[1]);
        if (code >= 100 && code - 100 < m_Acks.size()) {
            ++m_Acks[code - 100];
            if (code == 100u + SetBaudrate && m_Sub.size() == 6) {
                const auto* v = reinterpret_cast<const uint8_t*>(m_Sub.data() + 2);
                m_AckedBaud = uint32_t(v[0]) << 24 | uint32_t(v[1]) << 16 | uint32_t(v[2]) << 8 | v[3];
            }
        }
    }
    // Line and modem state notices and everything else carry nothing we use.
    m_Sub.clear();
}

void TTelnetCodec::AfterIac(uint8_t b, uint8_t* out, size_t& d)
{
    m_State = TState::Data;
    if (b == IAC) {
        out[d++] = b;
    } else if (b >= WILL) {
        m_Verb = b;
        m_State = TState::Verb;
    } else if (b == SB) {
        m_Sub.clear();
        m_SubTooLong = false;
        m_State = TState::Sub;
    }
    // NOP, go-ahead, data mark and the like carry nothing.
}

size_t TTelnetCodec::Decode(const uint8_t* in, size_t n, uint8_t* out)
{
    size_t d = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t b = in[i];
        switch (m_State) {
        case TState::Data:
            if (b == IAC) m_State = TState::Iac;
            else out[d++] = b;
            break;
        case TState::Iac: AfterIac(b, out, d); break;
        case TState::Verb:
            Verb(m_Verb, b);
            m_State = TState::Data;
            break;
        case TState::Sub:
            if (b == IAC) m_State = TState::SubIac;
            else if (m_Sub.size() < MaxSubnegotiation) m_Sub += char(b);
            else m_SubTooLong = true;
            break;
        case TState::SubIac:
            if (b == IAC) {
                if (m_Sub.size() < MaxSubnegotiation) m_Sub += char(b);
                else m_SubTooLong = true;
                m_State = TState::Sub;
            } else if (b == SE) {
                EndSub();
                m_State = TState::Data;
            } else {
                // A command inside a subnegotiation ends it unfinished; the
                // command itself still counts.
                m_SubTooLong = true;
                EndSub();
                AfterIac(b, out, d);
            }
            break;
        }
    }
    return d;
}

std::string TTelnetCodec::TakeReplies()
{
    std::string r;
    r.swap(m_Replies);
    return r;
}

void TTelnetCodec::Escape(const uint8_t* in, size_t n, std::string& out)
{
    out.reserve(out.size() + n + n / 16);
    for (size_t i = 0; i < n; ++i) {
        out += char(in[i]);
        if (in[i] == IAC) out += char(IAC);
    }
}

std::string TTelnetCodec::ComPortCommand(uint8_t code, const std::string& value)
{
    std::string s{char(IAC), char(SB), char(OptComPort), char(code)};
    Escape(reinterpret_cast<const uint8_t*>(value.data()), value.size(), s);
    s += char(IAC);
    s += char(SE);
    return s;
}
