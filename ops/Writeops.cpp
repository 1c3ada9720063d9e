// The write: the configuration to the gateway, verified block by block, with a kept copy first.
#include "Gatewayops.h"
#include "Opsdetail.h"

#include "Catalogue.h"
#include "Commonutils.h"
#include "Terminal.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Keptcopies.h"
#include "Language.h"
#include "Parameters.h"
#include "Writecheck.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <set>
#include <sys/stat.h>
#include <utility>

using namespace ImageLayout;
using namespace OpsDetail;

namespace {
// Texts of the write's questions and messages.
const int kTextGatewayChanged = 404;
const int kTextOtherSerial = 405;
const int kTextNoCopy = 407;
const int kTextStopping = 456;
const int kTextStoppedAfterBlock1 = 457;
const int kTextStoppedAfterBlock2 = 458;
const int kTextStoppedBeforeBlocks = 459;
const int kTextCutInBlock1 = 460;
const int kTextCutInBlock2 = 461;
const int kTextNotAsShown = 480;
const int kTextWriteAnyway = 484;

// The bytes of both blocks as the line carries them (2048 to 4095 never travel).
bool SameTransferred(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    if (a.size() != size_t(ImageSize) || b.size() != size_t(ImageSize)) return false;
    return std::equal(a.begin(), a.begin() + Block1Size, b.begin()) &&
           std::equal(a.begin() + Block2Start, a.end(), b.begin() + Block2Start);
}
}  // namespace

// The write's phases after the identification, in their order.
enum TWritePhase { kPreRead, kBlock1, kCheck1, kBlock2, kCheck2, kWritePhases };

// The write's one bar: each phase weighted by the bytes it moves, named by its
// own label, and never moving backwards (a retried block leaves it standing).
class TWriteBar {
public:
    TWriteBar(TOperationUI& ui, CCOMTerminal& terminal, bool wholePreRead) : m_UI(ui), m_Terminal(terminal)
    {
        const int bytes[kWritePhases] = {wholePreRead ? 2049 + 8193 : 2049, 1 + Block1Size, 2049, 1 + Block2Size, 8193};
        int at = 0;
        for (int p = 0; p < kWritePhases; ++p) {
            m_Start[p] = at;
            m_Bytes[p] = bytes[p];
            at += bytes[p];
        }
        m_UI.SetProgressMax(at);
        m_UI.SetProgressPos(0);
    }
    ~TWriteBar() { m_Terminal.m_OnReceive = nullptr; }
    TWriteBar(const TWriteBar&) = delete;
    TWriteBar& operator=(const TWriteBar&) = delete;

    // Enters a phase; the replies of a reading phase move the bar as they come.
    void Begin(TWritePhase phase, const QString& label)
    {
        m_Phase = phase;
        m_Done = m_Last = 0;
        m_UI.SetProgressLabel(label);
        Move(0);
        const bool reading = phase == kPreRead || phase == kCheck1 || phase == kCheck2;
        m_Terminal.m_OnReceive = reading ? std::function<void(int)>([this](int count) { Received(count); }) : nullptr;
    }
    void Sent(int bytes) { Move(m_Done += bytes); }
    void Finish() { Move(m_Bytes[m_Phase]); }

private:
    void Received(int count)
    {
        // A new reply counts from 0 again; retried replies add up.
        m_Done += count >= m_Last ? count - m_Last : count;
        m_Last = count;
        Move(m_Done);
    }
    void Move(int done)
    {
        const int bytes = m_Bytes[m_Phase];
        const int pos = m_Start[m_Phase] + int(static_cast<long long>(bytes) * std::min(done, bytes) / bytes);
        if (pos <= m_Pos) return;
        m_Pos = pos;
        m_UI.SetProgressPos(pos);
    }

    TOperationUI& m_UI;
    CCOMTerminal& m_Terminal;
    int m_Start[kWritePhases] = {};
    int m_Bytes[kWritePhases] = {};
    TWritePhase m_Phase = kPreRead;
    int m_Done = 0, m_Last = 0, m_Pos = 0;
};

// The gateway's breath after a block or piece. A Cancel pressed meanwhile
// takes effect once the block is whole.
void CGatewayOps::Pause() { PauseWithEvents(200); }

void CGatewayOps::StopIfAsked()
{
    if (m_Terminal.WriteFinishes()) {
        // Also when it came between two waits, where no wait held it.
        WriteBreakHeld();
        return;
    }
    if (m_Terminal.m_BreakHeld || m_Terminal.m_Interrupt || m_UI.Cancelled()) throw CCOMTermExp(CE_USER);
}

QString CGatewayOps::LeftBehind() const
{
    if (m_CutBlock == 1) return Text(kTextCutInBlock1);
    if (m_CutBlock == 2) return Text(kTextCutInBlock2);
    if (m_BlocksTaken == 1) return Text(kTextStoppedAfterBlock1);
    if (m_BlocksTaken == 2) return Text(kTextStoppedAfterBlock2);
    return Text(kTextStoppedBeforeBlocks);
}

// How a block travels: its letter, its pieces, each acknowledged; read back with another letter.
struct TBlockPlan {
    int number;  // what LeftBehind() names
    char send, readBack;
    int start, size, pieces;
    TWritePhase sending, checking;
    int sendingText, checkingText;
};

bool CGatewayOps::WriteBlocks(const std::vector<uint8_t>& image, TWriteBar& bar)
{
    return SendBlocks(image, bar, true, true);
}

bool CGatewayOps::WriteChosenBlocks(const std::vector<uint8_t>& image, bool block1, bool block2)
{
    TWriteBar bar(m_UI, m_Terminal, false);
    return SendBlocks(image, bar, block1, block2);
}

void CGatewayOps::WriteBreakHeld()
{
    if (!m_Terminal.WriteFinishes()) m_UI.Stopping(Text(kTextStopping));
    else if (!std::exchange(m_FinishingSaid, true)) m_UI.FinishingWrite();
}

bool CGatewayOps::SendBlocks(const std::vector<uint8_t>& image, TWriteBar& bar, bool block1, bool block2)
{
    // A break during a block is said at once; the block is finished first.
    m_Terminal.m_OnBreakHeld = [this] { WriteBreakHeld(); };
    struct TForget {
        CCOMTerminal& t;
        ~TForget() { t.m_OnBreakHeld = nullptr; }
    } forget{m_Terminal};
    m_FinishingSaid = false;
    // Nothing sent yet: any break stops here.
    if (m_Terminal.m_Interrupt) throw CCOMTermExp(CE_USER);
    // A hang-up or termination would otherwise leave block 1 new and block 2 old.
    const TWriteInFlight whole(m_Terminal);
    return (!block1 || WriteBlock(image, bar, {1, 'g', 'e', 0, Block1Size, 1, kBlock1, kCheck1, 452, 453})) &&
           (!block2 ||
            WriteBlock(image, bar,
                       {2, 'G', 'E', Block2Start, Block2Size, Block2Size / Block2Piece, kBlock2, kCheck2, 454, 455}));
}

bool CGatewayOps::WriteBlock(const std::vector<uint8_t>& image, TWriteBar& bar, const TBlockPlan& block)
{
    const int piece = block.size / block.pieces;
    for (int attempt = 0; attempt < 3; ++attempt) {
        // Every attempt gives the gateway its full time to store the block, not
        // only the first: the read-back below shortens the time-out on the cable.
        m_Terminal.m_Timeout = 20000;
        bar.Begin(block.sending, Text(block.sendingText));
        bool taken = true;
        {
            const TBlockInFlight inFlight(m_Terminal);
            m_CutBlock = block.number;
            m_Terminal.m_Count = 0;
            m_Terminal.SendRaw(&block.send, 1);
            // The letter shows on the bar on its own only before several pieces.
            if (block.pieces > 1) bar.Sent(1);
            for (int k = 0; k < block.pieces && taken; ++k) {
                m_Terminal.m_Count = 0;
                m_Terminal.SendRaw(image.data() + block.start + k * piece, piece);
                bar.Sent(block.pieces > 1 ? piece : 1 + piece);
                Pause();
                taken = m_Terminal.SendAndWait("", "X", "Y") == 1;
            }
            m_CutBlock = 0;
        }
        if (taken) m_BlocksTaken = std::max(m_BlocksTaken, block.number);
        StopIfAsked();
        if (!taken) continue;
        LinkTimeout();
        bar.Begin(block.checking, Text(block.checkingText));
        const int reply = 1 + block.size;
        m_Terminal.SendAndWaitCount(std::string(1, block.readBack), reply);
        bar.Finish();
        if (m_Terminal.m_Count >= reply &&
            std::memcmp(m_Terminal.m_Buffer.data() + 1, image.data() + block.start, size_t(block.size)) == 0)
            return true;
    }
    return false;
}

bool CGatewayOps::WriteToGateway() { return Write(m_Parameters, nullptr, {}, nullptr); }

bool CGatewayOps::WriteSelected(const CParameters& source, const std::vector<TSettingRef>& chosen,
                                const std::vector<uint8_t>& compared, std::vector<uint8_t>* written)
{
    return Write(source, &chosen, compared, written);
}

bool CGatewayOps::ConfirmHeld(const CParameters& source, const std::vector<TSettingRef>* chosen)
{
    std::set<std::string> secrets;
    if (PinChanged) secrets.insert("PINVal");
    if (PasswordChanged) secrets.insert("ServisPassw");
    const TWriteCheck check = CheckBeforeWrite(source, SourceGaps, chosen, secrets);
    if (check.Clean()) return true;
    return m_UI.AskQuestion(
        TQuestion::NotAsShown,
        Text(kTextNotAsShown) + "\n\n" + WriteCheckText(m_Language, check) + "\n\n" + Text(kTextWriteAnyway),
        TIcon::Warning, TDefaultAnswer::No);
}

bool CGatewayOps::AgreeBeforeLink(const CParameters& source, const std::vector<TSettingRef>* chosen)
{
    m_HeldAgreed = ConfirmHeld(source, chosen);
    if (!m_HeldAgreed) SetOutcome(TOutcome::BadInput);
    return m_HeldAgreed;
}

void CGatewayOps::StopWrite(TOutcome outcome)
{
    LinkTimeout();
    Remove();
    SetOutcome(outcome);
    if (!ModemConnected) CloseGatewayLink();
}

bool CGatewayOps::Write(const CParameters& source, const std::vector<TSettingRef>* chosen,
                        const std::vector<uint8_t>& compared, std::vector<uint8_t>* written)
{
    const bool agreed = std::exchange(m_HeldAgreed, false);
    SetOutcome(TOutcome::Done);
    FinishedAfterBreak = false;
    LastCopy.clear();
    GatewaySerial.clear();
    HeldBefore = THeldBefore::Unknown;
    if (IsModem && !ModemConnected) return false;
    if (StorePage) StorePage();
    // Asked before the gateway is touched: a refusal leaves it alone.
    if (!agreed && !ConfirmHeld(source, chosen)) {
        SetOutcome(TOutcome::BadInput);
        return false;
    }
    m_UI.ShowProgress(true, ModemConnected ? 107 : 104, true);
    bool done = false;
    bool sending = false;
    m_BlocksTaken = m_CutBlock = 0;
    m_PartLeft = false;
    try {
        if (OpenGatewayLink(true)) done = WriteOnLink(source, chosen, compared, written, sending);
    } catch (const CCOMTermExp& e) {
        WriteBrokeOff(e, sending, true);
    }
    if (!ModemConnected && !GatewayLinkOpen) m_Terminal.Close();
    Remove();
    return done;
}

bool CGatewayOps::KeepCopyOf(const std::vector<uint8_t>& gateway, const CParameters& held)
{
    const CKeptCopies::TResult kept = CKeptCopies(CopiesFolder).Keep(gateway, held);
    if (!kept.ok) {
        StopWrite(TOutcome::FileError);
        const QString folder = QDir::toNativeSeparators(kept.folder);
        m_UI.Message(
            NoCopyMessage ? NoCopyMessage(folder, kept.reason) : Substitute(Text(kTextNoCopy), {folder, kept.reason}),
            TIcon::Error);
        return false;
    }
    LastCopy = kept.folder;
    return true;
}

void CGatewayOps::WriteBrokeOff(const CCOMTermExp& e, bool sending, bool twoBlocks)
{
    LinkTimeout();
    ShowLinkError(e);
    Remove();
    // Whatever broke the write, say exactly what the gateway holds now,
    // also after the user's own break.
    if (sending) {
        m_PartLeft = m_CutBlock != 0 || (twoBlocks && m_BlocksTaken == 1);
        m_UI.Message(LeftBehind(), m_PartLeft ? TIcon::Error : TIcon::Warning);
    }
    if (m_CutBlock && !ModemConnected) {
        // The gateway waits for the rest of the block: an "A" would only
        // join it, and the next no-answer names the likely reason.
        CutTransfers.Mark(TComm::DevicePath(ComPort));
        GatewayLinkOpen = false;
    }
    LinkFailed(e);
}

bool CGatewayOps::WriteOnLink(const CParameters& source, const std::vector<TSettingRef>* chosen,
                              const std::vector<uint8_t>& compared, std::vector<uint8_t>* written, bool& sending)
{
    // What the gateway is: the copy records it, and a configuration that came from
    // another gateway is written only when the user agrees.
    CParameters held;
    BuildCatalogue(held);
    const std::string origin = source.GetValue("SerialNum", 0);
    if (KeepCopies) {
        // "B" and "C" were answered by the identification step a moment ago.
        held.SetValue("HWVer", 0, m_IdentHw.empty() ? Ident('B') : m_IdentHw);
        held.SetValue("SWVer", 0, m_IdentSw.empty() ? Ident('C') : m_IdentSw);
        held.SetValue("SerialNum", 0, Ident('D'));
        held.SetValue("OperLock", 0, Ident('F'));
    } else if (!origin.empty()) {
        held.SetValue("SerialNum", 0, Ident('D'));
    }
    const std::string serial = held.GetValue("SerialNum", 0);
    GatewaySerial = FromBytes(serial);
    if (!origin.empty() && serial != origin &&
        !m_UI.AskQuestion(TQuestion::OtherSerial,
                          Substitute(Text(kTextOtherSerial), {FromBytes(origin), FromBytes(serial)}), TIcon::Question,
                          TDefaultAnswer::No)) {
        StopWrite(TOutcome::Declined);
        return false;
    }

    std::vector<uint8_t> image(ImageSize, 0);
    source.ToImage(image.data(), ImageSize);
    // One read of what the gateway holds serves the supervision numbers, the PIN
    // and password, the copy and the base of a selective write; block 2 only for
    // the last two.
    const bool whole = KeepCopies || chosen;
    TWriteBar bar(m_UI, m_Terminal, whole);
    bar.Begin(kPreRead, Text(KeepCopies ? 450 : 451));
    std::vector<uint8_t> reply(1 + ImageSize, 0);
    m_Terminal.m_Count = 0;
    if (!ReadImage(reply.data(), whole)) {
        StopWrite(TOutcome::Damaged);
        m_UI.Message(Text(113), TIcon::Error);
        return false;
    }
    bar.Finish();
    std::vector<uint8_t> gateway(reply.begin() + 1, reply.end());
    std::fill(gateway.begin() + Block1Size, gateway.begin() + Block2Start, uint8_t(0));
    if (!whole) std::fill(gateway.begin() + Block2Start, gateway.end(), uint8_t(0));

    if (chosen) {
        if (!compared.empty() && !SameTransferred(compared, gateway)) {
            StopWrite(TOutcome::Declined);
            m_UI.Message(Text(kTextGatewayChanged), TIcon::Error);
            return false;
        }
        image = gateway;
        ApplyChosen(image.data(), source, *chosen);
    }
    if (std::memcmp(image.data() + ModemNumbersStart, gateway.data() + ModemNumbersStart, ModemNumbersSize) != 0 &&
        !m_UI.AskQuestion(TQuestion::SupervisionNumbers, Text(263), TIcon::Question, TDefaultAnswer::No)) {
        StopWrite(TOutcome::Declined);
        return false;
    }
    if (!chosen) {
        FillUsedBitmaps(source, image.data());
        if (!PinChanged) std::memcpy(image.data() + PinAddr, gateway.data() + PinAddr, SecretSize);
        if (!PasswordChanged)
            std::memcpy(image.data() + ServicePasswordAddr, gateway.data() + ServicePasswordAddr, SecretSize);
    }
    WriteChecksums(image.data());
    // Block 2 is compared only where it was read: no line time is spent for the answer.
    if (!std::equal(image.begin(), image.begin() + Block1Size, gateway.begin())) HeldBefore = THeldBefore::Other;
    else if (whole) HeldBefore = SameTransferred(image, gateway) ? THeldBefore::Same : THeldBefore::Other;

    if (KeepCopies) {
        held.FromImage(gateway.data());
        if (!KeepCopyOf(gateway, held)) return false;
    }

    sending = true;
    const bool ok = WriteBlocks(image, bar);
    FinishedAfterBreak = ok && m_Terminal.m_Interrupt;
    m_PartLeft = !ok && m_BlocksTaken > 0;
    StopWrite(ok ? TOutcome::Done : TOutcome::Damaged);
    if (ok) {
        if (written) *written = image;
        m_UI.Message(Text(114), TIcon::Information);
    } else {
        m_UI.Message(Text(115), TIcon::Error);
    }
    return ok;
}
