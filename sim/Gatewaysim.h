// A gateway on a pseudo-terminal: answers the configuration protocol, the
// firmware transfer and the GSM module's AT commands as a real gateway does,
// with optional line-rate pacing and injected faults. Runs on a thread of its own.
#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct TSimOptions {
    std::string imagePath;  // persistent configuration image; created from defaults
    std::string linkPath;   // symlink to the pseudo-terminal, made at start
    int throttleBaud = 0;   // paces both directions to this line rate (0: as fast as possible)
    // Identification
    char hwLetter = 'C';
    std::string version = "3.15";
    std::string serial = "KX2-004711";
    std::string operLock;  // empty: not locked
    // Faults
    int badChecksum = 0;        // the first N block reads carry a wrong checksum
    int silentAfter = -1;       // after N commands nothing is answered any more
    bool refuseWrite = false;   // image pieces are refused with "Y"
    bool dropMidBlock = false;  // the line goes dead in the middle of the first block read
    int badFirmwareAck = 0;     // the first N firmware blocks are acknowledged with a wrong CRC (-1: all)
    int refuseEachBlock = 0;    // every firmware block is acknowledged wrongly N times, then taken
    bool keepFirmware = false;  // every firmware block is acknowledged, but the old firmware stays
    int corruptStores = 0;      // the first N written blocks are stored with one byte changed
    int storeDelayMs = 0;       // time the gateway takes to store a written block before it answers
    int blockAbandonMs = 5000;  // a block left incomplete for this long of line silence is dropped (0: waits for ever)
    std::set<std::string> atErrors;  // AT commands answered with ERROR
    // GSM module
    int signal = 17;  // +CSQ value (0..31, 99 unknown)
    bool call = false;
    int callDirection = 1;  // 0 made by the module, 1 incoming
    std::string callNumber = "+420777123456";
    // Modem front end: a Hayes modem in front of the gateway
    bool modem = false;
    std::string dialResult = "CONNECT";  // or BUSY, NO CARRIER, NO ANSWER, NO DIALTONE
    int connectDelayMs = 300;
    bool quiet = true;  // no log lines on stderr
};

class CGatewaySim {
public:
    explicit CGatewaySim(TSimOptions options = {});
    ~CGatewaySim();
    CGatewaySim(const CGatewaySim&) = delete;
    CGatewaySim& operator=(const CGatewaySim&) = delete;

    bool Start(std::string* error = nullptr);
    void Stop();
    // Ends the line at once, as a cable pulled out or the gateway switched off.
    void Kill();
    const std::string& SlavePath() const { return m_SlavePath; }
    // Whether PATH may become the link to the pseudo-terminal: free, or a
    // link to a pseudo-terminal that an earlier run left. Anything else is the
    // user's and is never replaced; why says what is there.
    static bool LinkPathFree(const std::string& path, std::string* why = nullptr);
    bool Running() const { return m_Running; }

    // State, for tests and the demo (thread-safe).
    std::vector<uint8_t> Image() const;
    void SetImage(const std::vector<uint8_t>& image);
    std::vector<uint8_t> Firmware() const;
    std::string Version() const;
    void SetCall(bool active, int direction, const std::string& number);
    void SetSignal(int csq);
    // badChecksum, silentAfter, refuseWrite, badFirmwareAck, refuseEachBlock, keepFirmware,
    // corruptStores, storeDelayMs, blockAbandonMs, noCarrierAfter (a modem call drops after N more commands)
    void SetOption(const std::string& name, int value);
    int Commands() const { return m_Commands; }
    int ImageWrites() const { return m_ImageWrites; }
    // Configuration blocks dropped because the rest never came.
    int BlocksAbandoned() const { return m_BlocksAbandoned; }
    // Block reads asked for ("e" and "E"), counted from the start.
    int Block1Reads() const { return m_Block1Reads; }
    int Block2Reads() const { return m_Block2Reads; }
    // A block write has begun: the "g" or "G" command arrived.
    int WriteCommands() const { return m_WriteCommands; }
    int FirmwareBlocks() const { return m_FirmwareBlocks; }
    // The configuration command letters received, in order (the last 4096).
    std::string CommandLog() const;
    // The AT command lines the module received, in order (the last 1024).
    std::vector<std::string> AtLog() const;
    bool InCall() const { return m_ModemConnected; }
    // Line statistics: bytes received and sent, and the simulator thread's own CPU time.
    long long BytesIn() const { return m_BytesIn; }
    long long BytesOut() const { return m_BytesOut; }
    double CpuSeconds() const { return m_CpuNs / 1e9; }

    // A default image as a factory-new gateway holds it.
    static std::vector<uint8_t> DefaultImage();

private:
    void Run();
    void Feed(uint8_t byte, long long now);
    void ConfigByte(uint8_t byte);
    // A whole firmware block ("K", its address and data) has arrived: acknowledged, kept.
    void ReceiveFirmwareBlock();
    void AtLine(const std::string& line);
    void ModemLine(const std::string& line, long long now);
    void Send(const std::string& bytes);
    void Send(const uint8_t* data, size_t size);
    void Log(const std::string& text) const;
    bool AtSpeed57600() const;
    void Persist();
    void HangUpCall(bool report);
    // Stores a received block and says how it went ("X"), taking the gateway's time.
    void StoreBlock(std::unique_lock<std::mutex>& lock, int start);
    // How long line silence ends a block being written, 0: never or none in progress.
    long long BlockAbandonUs() const;

    TSimOptions m_Options;
    int m_Master = -1;
    int m_Slave = -1;
    int m_Wake[2] = {-1, -1};
    std::string m_SlavePath;
    bool m_LinkMade = false;  // the link at linkPath is ours to remove
    std::thread m_Thread;
    std::atomic<bool> m_Running{false};
    std::atomic<bool> m_Stop{false};
    std::atomic<int> m_Commands{0};
    std::atomic<int> m_ImageWrites{0};
    std::atomic<int> m_Block1Reads{0};
    std::atomic<int> m_Block2Reads{0};
    std::atomic<int> m_WriteCommands{0};
    std::atomic<int> m_FirmwareBlocks{0};
    std::atomic<int> m_BlocksAbandoned{0};
    std::atomic<long long> m_BytesIn{0};
    std::atomic<long long> m_BytesOut{0};
    std::atomic<long long> m_CpuNs{0};

    mutable std::mutex m_Mutex;  // guards everything below
    std::vector<uint8_t> m_Image;
    std::vector<uint8_t> m_Firmware;
    std::vector<uint8_t> m_DeviceData;
    std::set<int> m_FirmwareSeen;
    std::string m_Version;
    std::string m_CommandLog;
    std::vector<std::string> m_AtLog;
    int m_BadChecksum = 0;
    int m_SilentAfter = -1;
    int m_NoCarrierAfter = -1;  // a modem call drops ("NO CARRIER") after this command
    bool m_RefuseWrite = false;
    int m_BadFirmwareAck = 0;
    int m_RefuseEachBlock = 0;
    bool m_KeepFirmware = false;
    std::map<int, int> m_BlockRefusals;  // firmware address -> wrong acknowledgements given
    int m_CorruptStores = 0;
    int m_StoreDelayMs = 0;
    int m_BlockAbandonMs = 5000;
    bool m_Call = false;
    int m_CallDirection = 1;
    std::string m_CallNumber;
    int m_Signal = 17;

    // Protocol state (thread only).
    enum class TState { Idle, BlockG1, BlockG2, AddrO, BlockK } m_State = TState::Idle;
    std::vector<uint8_t> m_Collect;
    int m_Piece = 0;
    long long m_BlockByteAt = 0;  // when the last byte of a block being written arrived
    std::string m_AtLine;
    int m_OperatorFormat = 0;
    // Modem front end (thread only).
    bool m_ModemConnected = false;
    long long m_ConnectAt = -1;
    std::string m_PlusRun;
    long long m_LastDataAt = 0;
    bool m_DropPending = false;

    // Line pacing (thread only).
    std::vector<uint8_t> m_Out;
    size_t m_OutPos = 0;
    long long m_OutReadyUs = 0;
    std::vector<std::pair<uint8_t, long long>> m_In;
    size_t m_InPos = 0;
    long long m_InReadyUs = 0;
};
