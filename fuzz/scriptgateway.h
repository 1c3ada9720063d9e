// A scripted gateway for the fuzz targets of the gateway operations.
//
// The far end is an in-process line in virtual time: the tool's waits run out
// at once when nothing more will come. It cuts what the tool sends into
// commands (a letter, or a letter with its block) and answers each with the
// next entry of the script: the correct answer, or a damaged, cut, lengthened,
// late, flooding or foreign one, silence, or a lost line. Once the script is
// used up the user cancels and declines.
//
// It watches what the link promises: no wait outlasts twice the longest wait
// the link allows at the moment, Cancel ends an operation within its bound, and
// the tool never holds more received bytes than its buffer.
#pragma once
#include "Dialing.h"
#include "Gatewayops.h"
#include "Globals.h"
#include "Parameters.h"
#include "Virtualclock.h"
#include "fuzzsupport.h"

#include <QObject>
#include <QStringList>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CCOMTerminal;

// KVX_FUZZ_TRACE=1 tells what the tool did with one input (for writing seeds).
extern const bool g_FuzzTrace;

std::string ByteString(const uint8_t* p, size_t n);
bool Block1Ok(const std::string& data);  // 2048 bytes with a sound checksum
bool Block2Ok(const std::string& data);  // 8192 bytes with a sound checksum
// Whether two registries agree on the values that live in the image (all but
// the identification strings).
bool SameImageValues(const CParameters& a, const CParameters& b);

// What one operation left on the gateway's side.
struct TRecord {
    std::map<char, std::string> lastReply;  // by command letter
    std::string validBlock1, validBlock2;   // data of the last sound "e" and "E" replies
    std::string block1BeforeWrite;          // the last sound "e" data before the first "g"
    bool sawWrite = false;
    std::string written1, written2;  // last "g" block and last complete "G" block
    bool acked1 = false, acked2 = false;
    std::string readBack1, readBack2;     // "e" and "E" data served after them
    std::map<int, std::string> firmware;  // firmware blocks by address, last one sent
    std::string deviceReply;              // the reply to "O"
    int firmwareCommands = 0;             // "K" and "O"
};

class TScriptGateway : public TVirtualPeer {
public:
    // The name the tool opens the gateway's line by.
    static constexpr const char* kPortName = "fuzz-gateway";
    TLocalLine line;
    CCOMTerminal* term = nullptr;
    bool modem = false;
    bool clean = true;  // every answer so far was taken in exactly: the record is what the tool saw
    bool exhausted = false;
    TRecord rec;

    std::vector<uint8_t> image;
    std::string version = "3.15";
    char hwLetter = 'C';
    std::string deviceData;

    void Start(TFuzzInput& script, const std::vector<uint8_t>& base);
    // Each operation starts with a command letter.
    void NewOperation();
    // Lets go of what the last input left.
    void Forget();
    // One pass of a wait: take in what the tool sent, answer, hand the answer over.
    bool Step() override;
    long long Due() const override { return m_Late.empty() ? LLONG_MAX : m_LateAt; }
    // The longest the tool may wait after its last command, now.
    long long Bound() const;
    // Each move of the virtual time: the bounds of the waits and of Cancel.
    void Watch(long long now);
    // Fails with the reason and what was said on the line so far.
    [[noreturn]] void Finding(const char* what) const;

private:
    enum class TState { Idle, Block1, Block2, Firmware, Device };
    void Feed(uint8_t b);
    std::string Correct(char cmd) const;
    std::string Scripted(char cmd);
    static bool Fits(char cmd, const std::string& a);
    void Answer(char cmd);
    void Record(char cmd, const std::string& a);

    TFuzzInput* m_Script = nullptr;
    TState m_State = TState::Idle;
    std::string m_Collect;
    int m_Piece = 0;
    std::string m_Late;  // an answer held back until m_LateAt
    long long m_LateAt = 0;
    int m_LateEvery = 0;           // a dripping answer: one byte each this many ms
    long long m_LastExchange = 0;  // when the tool last sent a byte
    long long m_WaitBound = 0;     // the largest Bound() since then (a call may end meanwhile)
    long long m_CancelledAt = -1;  // when the script ran out (the user's Cancel)
    long long m_StartedAt = 0;
    std::string m_Transcript;  // the commands and answers, for a finding
};

// A telephony service whose calls connect at once to the scripted gateway.
class TFuzzTelephony : public CTelephony {
public:
    TLocalLine* line = nullptr;
    enum TOutcome { Connects, Busy, NoChannel } outcome = Connects;

    std::vector<TLineDevice> Devices() override;
    bool OpenLine(unsigned id, TCallback callback) override;
    bool MakeCall(const QString& number) override;
    int TakeCallHandle() override { return -1; }
    std::unique_ptr<TTransport> TakeCallLine() override;
    void Drop() override;
    void Deallocate() override {}
    void CloseLine() override {}

private:
    void Report(unsigned state, unsigned mode);
    TCallback m_Callback;
    QObject m_Context;
};

// The user: answers from the input, then cancels and declines.
class TFuzzUI : public TOperationUI {
public:
    TFuzzInput* answers = nullptr;
    const TScriptGateway* gateway = nullptr;
    QStringList files;  // every firmware file written, for a choice outside the folder
    std::vector<std::pair<QString, TDefaultAnswer>> asked;  // the questions, with the answer Enter gives

    void ShowProgress(bool, int, bool) override {}
    void SetProgressLabel(const QString&) override {}
    void SetProgressMax(int) override {}
    void SetProgressPos(int) override {}
    void SetCancelVisible(bool) override {}
    bool Cancelled() const override { return gateway->exhausted; }
    void Message(const QString& text, TIcon icon) override;
    bool Ask(const QString& text, TIcon icon, TDefaultAnswer preset = TDefaultAnswer::Yes) override;
    QString ChooseFirmware(const QStringList& paths) override;
    void ProcessEvents() override;

private:
};

// The program's objects and the gateway, made once per process.
struct TGatewayWorld {
    TGatewayWorld();
    ~TGatewayWorld();
    std::unique_ptr<TGlobalObjects> globals;
    TFuzzTelephony* telephony = nullptr;
    TScriptGateway gateway;
    TFuzzUI ui;
    std::vector<uint8_t> gatewayImage;     // the image the gateway starts with
    CParameters::TSnapshot gatewayValues;  // the same as registry values
    std::unique_ptr<CParameters> scratch;  // for decoding what the gateway sent
    QString folder;                        // firmware files beside the program
    TVirtualClock clock;
};

// One execution: the line, the link mode, the answers, and the operations.
// Ends the link as the program would at its end.
class TGatewaySession {
public:
    // Header byte: bit 0 a modem call, bit 1 the registry holds the gateway's
    // configuration, bits 2 and 3 PIN and password changed here, bit 4 a new
    // PIN in the registry, bit 5 a copy kept before a write. Gateway byte: its version and hardware letter, and
    // how the call ends. Then the answers to the questions, then the script.
    TGatewaySession(TGatewayWorld& world, TFuzzInput& in, uint8_t header, uint8_t gatewayByte);
    ~TGatewaySession();
    TGatewaySession(const TGatewaySession&) = delete;
    TGatewaySession& operator=(const TGatewaySession&) = delete;

    // Dials on a modem link and checks the identification record.
    void Connect();
    // Fails when the input made the tool hold more heap than kHeapCap (MarkHeap
    // before the session).
    void CheckHeap() const;
    // The operations hold up to about 1.2 MB (registries, images, a firmware
    // file); more is a buffer growing with what the peer sends.
    static constexpr size_t kHeapCap = 4 << 20;

    TGatewayWorld& world;
    TScriptGateway& gateway;
    std::string answerBytes;
    TFuzzInput answers;
    CGatewayOps ops;
};
