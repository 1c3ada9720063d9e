// A scripted gateway for the fuzz targets of the gateway operations.
//
// The far end is a pseudo-terminal. It cuts what the tool sends into commands
// (a letter, or a letter with its block) and answers each with the next entry
// of the script: the correct answer, or a damaged, cut, lengthened or foreign
// one, silence, or a lost line. A wait that nothing more will answer is broken
// as the user's Cancel would break it; once the script is used up the user
// cancels and declines, so every execution ends quickly.
#pragma once
#include "Dialing.h"
#include "Gatewayops.h"
#include "Globals.h"
#include "Parameters.h"
#include "fuzzsupport.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

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
// The values that live in the image (all but the identification strings).
std::vector<std::vector<std::string>> ImageValues(const CParameters& p);

// What one operation left on the gateway's side.
struct TRecord {
    std::map<char, std::string> lastReply;  // by command letter
    std::string validBlock1, validBlock2;   // data of the last sound "e" and "E" replies
    std::string block1BeforeWrite;          // the last sound "e" data before the first "g"
    bool sawWrite = false;
    std::string written1, written2;         // last "g" block and last complete "G" block
    bool acked1 = false, acked2 = false;
    std::string readBack1, readBack2;       // "e" and "E" data served after them
    std::map<int, std::string> firmware;    // firmware blocks by address, last one sent
    std::string deviceReply;                // the reply to "O"
    int firmwareCommands = 0;               // "K" and "O"
};

class TScriptGateway {
public:
    TFuzzLine line;
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
    // One pass: take in what the tool sent, answer, and break a hopeless wait.
    void Beat();

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
    QElapsedTimer m_Idle;
    int m_LastCount = -1;
    bool m_Silence = false;  // the last command was answered with nothing
    bool m_Owed = false;     // an answer is on its way to the tool
    int m_OwedCount = 0;
    QElapsedTimer m_OwedSince;
};

// A telephony service whose calls connect at once to the scripted gateway.
class TFuzzTelephony : public CTelephony {
public:
    TFuzzLine* line = nullptr;
    enum TOutcome { Connects, Busy, NoChannel } outcome = Connects;

    std::vector<TLineDevice> Devices() override;
    bool OpenLine(unsigned id, TCallback callback) override;
    bool MakeCall(const QString& number) override;
    int TakeCallHandle() override;
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
    std::unique_ptr<TGlobalObjects> globals;
    TFuzzTelephony* telephony = nullptr;
    TScriptGateway gateway;
    TFuzzUI ui;
    std::vector<uint8_t> gatewayImage;     // the image the gateway starts with
    CParameters::TSnapshot gatewayValues;  // the same as registry values
    std::unique_ptr<CParameters> scratch;  // for decoding what the gateway sent
    QString folder;                        // firmware files beside the program
    QTimer beat;
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

    TGatewayWorld& world;
    TScriptGateway& gateway;
    std::string answerBytes;
    TFuzzInput answers;
    CGatewayOps ops;
};
