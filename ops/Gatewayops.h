// Gateway operations: connect, identify, read, write, disconnect and the
// firmware upgrade, over the cable or a modem call. The window and the
// command-line tool drive them through the same code; what they show and ask
// goes through TOperationUI.
#pragma once
#include "Compare.h"
#include "Cuttransfers.h"
#include "Parameters.h"

#include <QString>
#include <QStringList>
#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CCOMTermExp;
class CCOMTerminal;
class CLanguage;
class CParameters;

enum class TIcon { Information, Warning, Error, Question };
// The answer Enter gives: questions that overwrite or reflash a gateway default to No.
enum class TDefaultAnswer { Yes, No };

// What the last operation came to. The command line turns each into an exit
// status of its own, so the values and their meaning stay as they are.
enum class TOutcome {
    Done = 0,       // finished as asked
    Declined = 1,   // a question not agreed to, a choice cancelled, or old firmware
                    // met by an operation that does not upgrade
    Damaged = 2,    // the gateway's data damaged or not confirmed: a block bad three
                    // times, a write not acknowledged or read back different,
                    // a wrong hardware letter, firmware not taken or a firmware
                    // block refused too often
    BadInput = 3,   // an input file with wrong content (firmware size, version or checksum)
    FileError = 4,  // an input file that cannot be opened
    Link = 5,       // a link failure; LinkCode holds its CE_ code
};

// The questions that a script may agree to one by one (korvanext-cli --agree
// names them); the others are answered by --yes alone.
enum class TQuestion {
    NotAsShown,          // write: the gateway would not hold the file as it is
    OtherSerial,         // write: the configuration came from another gateway
    SupervisionNumbers,  // write, apply: the remote supervision numbers change
    NewerFirmware,       // upgrade: the file's version is newer than the gateway's
    SameFirmware,        // upgrade: the same version again
    OlderFirmware,       // upgrade: the file's version is older than the gateway's
};

class TOperationUI {
public:
    virtual ~TOperationUI() = default;
    // Progress window: shown with a text and optionally a bar, or removed.
    virtual void ShowProgress(bool show, int textNumber, bool withBar) = 0;
    virtual void SetProgressLabel(const QString& text) = 0;
    virtual void SetProgressMax(int max) = 0;
    virtual void SetProgressPos(int pos) = 0;
    virtual void SetCancelVisible(bool visible) = 0;
    virtual bool Cancelled() const = 0;
    // Message boxes; the caption is text 0.
    virtual void Message(const QString& text, TIcon icon) = 0;
    // Every question here is asked before something is replaced: Enter answers No.
    virtual bool Ask(const QString& text, TIcon icon, TDefaultAnswer preset = TDefaultAnswer::No) = 0;
    // A question of a kind the command line agrees to by name; the window asks it as any other.
    virtual bool AskQuestion(TQuestion, const QString& text, TIcon icon, TDefaultAnswer preset)
    {
        return Ask(text, icon, preset);
    }
    // Firmware file choice among several files (full paths, sorted by name);
    // the chosen path, or empty when cancelled. The window also offers any other file.
    virtual QString ChooseFirmware(const QStringList& paths) = 0;
    // Lets the screen catch up (repaint, pending events).
    virtual void ProcessEvents() {}
    // A break came while a block is in flight: the operation stops once it is whole.
    virtual void Stopping(const QString& text) { SetProgressLabel(text); }
    // A break that nobody is there to follow up came during a write: the write
    // goes on until every block is new and read back.
    virtual void FinishingWrite() {}
    // A break came during the firmware transfer: the image is sent whole first.
    virtual void FinishingFirmware(int /*secondsLeft*/) {}
    // A line under the bar that stays while the operation runs (empty: none).
    virtual void SetProgressNotice(const QString&) {}
};

class TWriteBar;
struct TBlockPlan;
struct TDesiredState;
struct TApplyRun;

class CGatewayOps {
public:
    CGatewayOps(CParameters& parameters, CCOMTerminal& terminal, const CLanguage& language, TOperationUI& ui);

    // User operations.
    void ConnectModem();     // connect (modem)
    void HangUpModem();      // disconnect (modem)
    bool ReadFromGateway();  // read from gateway; true when the configuration was read
    bool WriteToGateway();   // write to gateway; true when it was written and verified
    bool UpgradeFirmware();  // firmware upgrade, stand-alone
    // The stand-alone upgrade after its question has been agreed to.
    bool UpgradeAgreed();
    // Identification only: "B", "C", "D" and "F" into the registry's four
    // identification keys, then "A" on the cable; nothing else changes.
    bool Identify();

    bool OpenGatewayLink(bool checkVersion);
    void CloseGatewayLink();
    // At the end of a session: "A" to a greeted gateway, a modem call hung up.
    void EndSession();
    // Reads block 1 (and block 2) with checksum check and retries. With bar marks
    // given, the progress bar follows the bytes from the first mark to the second.
    bool ReadImage(uint8_t* buffer, bool withBlock2, int barFrom = -1, int barTo = -1);
    // Block 2 alone into its place in `buffer` (reply layout), checked and tried up to three times.
    bool ReadBlock2(uint8_t* buffer, int barFrom = -1, int barTo = -1);
    // Reads the gateway's identification and whole configuration into `into` (a
    // registry built from the catalogue) and `image` (12288 bytes; those that never
    // travel are zero), leaving the window's registry alone. A cable link stays
    // open, as after a read. False when it failed; the reason has been shown.
    bool ReadGateway(CParameters& into, std::vector<uint8_t>& image);
    // Writes the gateway's own configuration with only the chosen values of `source`
    // put in. `compared`, when not empty, is the gateway image the choice was made
    // against: a gateway that holds something else by now is left as it is. On
    // success `written` receives the image the gateway now holds.
    bool WriteSelected(const CParameters& source, const std::vector<TSettingRef>& chosen,
                       const std::vector<uint8_t>& compared, std::vector<uint8_t>* written = nullptr);
    // Asks now what the next write would ask once linked (what the gateway would
    // hold other than `source` says), so that a refusal costs no modem call; an
    // agreement stands for that write.
    bool AgreeBeforeLink(const CParameters& source, const std::vector<TSettingRef>* chosen);
    // Brings the gateway to a desired state: reads the blocks it needs, writes
    // only those that differ (verified), keeping a copy first (Applyops.cpp).
    bool Apply(const TDesiredState& state, TApplyRun& run);
    void ShowLinkError(const CCOMTermExp& e);
    // The link is a terminal server's network port, not a cable.
    bool NetworkLink() const;
    // Text 125 with the device, the system's reason and what to do about it.
    QString OpenFailureText(const CCOMTermExp& e) const;
    void SetLinkState(bool connected, bool callActive);
    bool Upgrade(bool standalone);
    // The firmware image files of the program folder (name pattern and size checked).
    QStringList FirmwareFiles() const;

    // Hooks of the window: the shown page, the link controls.
    std::function<void()> StorePage;
    std::function<void()> LoadPage;
    std::function<void()> UpdateLinkControls;

    // Link state.
    QString ComPort = "Com1";
    bool IsModem = false;
    QString ModemNumber;
    QString ModemId;
    bool ModemConnected = false;
    bool ModemCallActive = false;
    bool DialRequested = false;
    bool GatewayLinkOpen = false;
    bool PinChanged = false;
    bool PasswordChanged = false;
    std::array<char, 100> GatewayIdent{};
    bool MonitorBusy = false;         // a monitor polling loop runs (one for the whole program)
    QString FirmwareFolder;           // where firmware images are looked for (program folder)
    QString FirmwareFile;             // a file chosen outside the folder, used once
    std::vector<uint8_t> m_Firmware;  // the image of the running upgrade
    // A firmware file whose bytes do not add up to its own checksum is asked
    // about (No by default), refused, or sent (the command line's --force-damaged).
    enum class TDamagedFirmware { Ask, Refuse, Send };
    TDamagedFirmware DamagedFirmware = TDamagedFirmware::Ask;
    // Refusals of one block in a row that end an upgrade; 0: none do. Also where
    // no one can press Cancel (the command line); the window offers Cancel from
    // the tenth failure as well.
    int MaxBlockRefusals = 20;
    // The version of the last upgrade's file, and the gateway's before it.
    QString FirmwareVersion, FirmwareBefore;
    // How long the identification asks a silent gateway again, in ms; 0: until
    // the user cancels (the window), the command line bounds it.
    int AnswerWaitMs = 0;
    // False where an operation must not flash: old firmware then ends it as
    // declined instead of offering the upgrade.
    bool OfferUpgrade = true;
    // The firmware version the last identification found ("C" reply).
    QString GatewayVersion;
    // Whether it is firmware this program configures (3.x); older needs an upgrade.
    bool FirmwareCurrent() const { return GatewayVersion.startsWith("3."); }
    // The serial number the last write found ("D" reply), when it asked.
    QString GatewaySerial;
    // Whether the gateway held, before the last write, every byte the write gave
    // it: known where the write read both blocks first (a copy kept, or --only).
    enum class THeldBefore { Unknown, Same, Other };
    THeldBefore HeldBefore = THeldBefore::Unknown;
    // The port as the user named it, and its device when that differs.
    QString PortName() const;

    // What the file the configuration to write came from left out; the write
    // names what is still at its default.
    CParameters::TFileGaps SourceGaps;

    // Before a write replaces the gateway's configuration, keep a copy of it.
    bool KeepCopies = true;
    // The refusal when the copy cannot be kept, where the window's wording (the
    // settings) does not fit: the folder and the reason go in.
    std::function<QString(const QString& folder, const QString& reason)> NoCopyMessage;
    QString CopiesFolder;  // where the copies go (empty: the user's data folder)
    QString LastCopy;      // the copy kept (or found already kept) by the last write

    // Ports where a transfer was cut off in the middle of a block.
    CCutTransfers CutTransfers;
    // Ports where a firmware transfer broke off: the gateway's firmware is
    // incomplete until an upgrade there goes through.
    CCutTransfers CutUpgrades;
    bool UpgradeCutEarlier() const;
    // The last write, apply or upgrade held a break off and finished: the
    // gateway is whole, though the user asked to stop.
    bool FinishedAfterBreak = false;
    // The last write stopped or failed with the gateway holding part of the new
    // configuration (block 1 new and block 2 old, or a block cut off).
    bool MayHoldPart() const { return m_PartLeft; }

    // Outcome of the last operation; LinkCode is the CE_ code of a link failure.
    TOutcome Outcome = TOutcome::Done;
    uint8_t LinkCode = 0;
    void SetOutcome(TOutcome outcome, uint8_t linkCode = 0)
    {
        Outcome = outcome;
        LinkCode = outcome == TOutcome::Link ? linkCode : 0;
    }

private:
    QString Text(int n) const;
    void Remove() { m_UI.ShowProgress(false, 0, false); }
    void LinkTimeout();
    void LinkFailed(const CCOMTermExp& e);
    // A write or apply that broke off: says what the gateway holds now and notes a
    // block cut in the middle; twoBlocks: both blocks were to be sent.
    void WriteBrokeOff(const CCOMTermExp& e, bool sending, bool twoBlocks);
    // Keeps a copy of what the gateway holds before a write replaces it; false (the
    // write ended, the reason said) when it cannot be kept.
    bool KeepCopyOf(const std::vector<uint8_t>& gateway, const CParameters& held);
    bool WriteBlocks(const std::vector<uint8_t>& image, TWriteBar& bar);
    // Only the blocks asked for, each verified as WriteBlocks does.
    bool WriteChosenBlocks(const std::vector<uint8_t>& image, bool block1, bool block2);
    bool ApplyOnLink(const TDesiredState& state, TApplyRun& run, bool& sending);
    // One block, up to three times, until the gateway holds it as sent.
    bool WriteBlock(const std::vector<uint8_t>& image, TWriteBar& bar, const TBlockPlan& block);
    // Ends the write once the block in flight is whole, when a break came meanwhile.
    void StopIfAsked();
    // Said when a break is first held back during a write.
    void WriteBreakHeld();
    // Sends the blocks asked for, each verified, with breaks held as a write holds them.
    bool SendBlocks(const std::vector<uint8_t>& image, TWriteBar& bar, bool block1, bool block2);
    // What the gateway holds after a write that did not finish.
    QString LeftBehind() const;
    // A silent gateway on a port where a transfer was cut: says the likely reason (true).
    bool NoAnswer();
    // The firmware transfer proper, from the device data block to the confirming "C".
    bool SendFirmware(bool standalone);
    // A wait of the upgrade: its usual time, shortened to the bound of a silent gateway.
    int UpgradeWait(int usualMs) const { return AnswerWaitMs > 0 ? std::min(usualMs, AnswerWaitMs) : usualMs; }
    std::string ReplyText(size_t max) const;
    void Pause();
    // The value of an identification reply ("B", "C", "D", "F").
    std::string Ident(char command);
    // Fetches the four identification values into the registry; with a bar, it follows each reply's bytes.
    void ReadIdentification(CParameters& into, bool withBar);
    // The write, whole (`chosen` null) or of the chosen values only.
    bool Write(const CParameters& source, const std::vector<TSettingRef>* chosen, const std::vector<uint8_t>& compared,
               std::vector<uint8_t>* written);
    bool WriteOnLink(const CParameters& source, const std::vector<TSettingRef>* chosen,
                     const std::vector<uint8_t>& compared, std::vector<uint8_t>* written, bool& sending);
    // Ends a write that goes no further: the bar goes, a cable link is closed.
    void StopWrite(TOutcome outcome);
    // Asks before a write that would put into the gateway what the user does not
    // see (No is the default); false when not agreed.
    bool ConfirmHeld(const CParameters& source, const std::vector<TSettingRef>* chosen);

    CParameters& m_Parameters;
    CCOMTerminal& m_Terminal;
    const CLanguage& m_Language;
    TOperationUI& m_UI;
    std::string m_IdentHw, m_IdentSw;  // "B" and "C" replies of the identification step
    int m_BlocksTaken = 0;             // blocks of this write the gateway acknowledged
    int m_CutBlock = 0;                // the block in flight when the write broke off, 0: none
    bool m_PartLeft = false;
    bool m_LinkErrorSaid = false;  // the failure being raised has been told already
    bool m_HeldAgreed = false;     // the next write was agreed to before the link
    bool m_FinishingSaid = false;  // a write that finishes after a break has said so
};
