// The telnet side of a network serial port: option negotiation, the
// COM-PORT-OPTION (RFC 2217) subnegotiations and the doubling of 0xFF in data.
// No input/output here: the transport feeds it what the socket brought and
// sends what it asks for, so a hostile server's bytes can be tried alone.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class TTelnetCodec {
public:
    enum : uint8_t { SE = 240, SB = 250, WILL = 251, WONT = 252, DO = 253, DONT = 254, IAC = 255 };
    enum : uint8_t { OptBinary = 0, OptEcho = 1, OptSga = 3, OptComPort = 44 };
    // COM-PORT-OPTION commands of the client; the server answers with code + 100.
    enum : uint8_t { SetBaudrate = 1, SetDatasize = 2, SetParity = 3, SetStopsize = 4, SetControl = 5, PurgeData = 12 };
    // A subnegotiation longer than this is none we asked for: it is dropped.
    static constexpr size_t MaxSubnegotiation = 64;
    // Replies waiting to be sent are bounded: a server cannot make us store without end.
    static constexpr size_t MaxReplies = 4096;

    explicit TTelnetCodec(bool comPort = true) : m_ComPort(comPort) {}

    // The client's opening offers: binary both ways, the COM-PORT-OPTION, no go-ahead.
    std::string Start();
    // Takes n received bytes; writes the data among them to out (room for n)
    // and returns how many. Negotiation answers gather for TakeReplies.
    size_t Decode(const uint8_t* in, size_t n, uint8_t* out);
    std::string TakeReplies();
    // Data as it goes on the line: every 0xFF doubled.
    static void Escape(const uint8_t* in, size_t n, std::string& out);
    // One COM-PORT-OPTION command with its value, escaped.
    static std::string ComPortCommand(uint8_t code, const std::string& value);

    // Both sides send binary, and the server took the COM-PORT-OPTION.
    bool Ready() const;
    // The server declined binary transmission or the COM-PORT-OPTION.
    bool Refused() const { return m_Refused; }
    // Answers the server gave to each COM-PORT-OPTION command (index: the client's code).
    unsigned Acks(uint8_t code) const { return code < m_Acks.size() ? m_Acks[code] : 0; }
    uint32_t AckedBaud() const { return m_AckedBaud; }
    unsigned Dropped() const { return m_Dropped; }

private:
    enum class TState { Data, Iac, Verb, Sub, SubIac };
    enum class TSide : uint8_t { No, WantYes, Yes };
    void Verb(uint8_t verb, uint8_t option);
    void Reply(uint8_t verb, uint8_t option);
    void EndSub();
    void AfterIac(uint8_t b, uint8_t* out, size_t& d);
    bool WeWant(uint8_t option) const;
    bool HeMay(uint8_t option) const;

    bool m_ComPort;
    TState m_State = TState::Data;
    uint8_t m_Verb = 0;
    std::string m_Sub;
    bool m_SubTooLong = false;
    std::string m_Replies;
    std::array<TSide, 256> m_Us{};       // options we do
    std::array<TSide, 256> m_Him{};      // options the server does
    std::array<bool, 256> m_Declined{};  // offers we declined once, not again
    std::array<unsigned, 13> m_Acks{};
    uint32_t m_AckedBaud = 0;
    unsigned m_Dropped = 0;
    bool m_Refused = false;
};
