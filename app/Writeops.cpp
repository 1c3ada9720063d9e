// The write: the configuration to the gateway, verified block by block, with a kept copy first.
#include "Gatewayops.h"
#include "Opsdetail.h"

#include "Catalogue.h"
#include "Commonutils.h"
#include "Comterminal.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Keptcopies.h"
#include "Language.h"
#include "Parametry.h"
#include "Writecheck.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <set>
#include <sys/stat.h>

using namespace ImageLayout;
using namespace OpsDetail;

namespace {
// Texts of the write's questions and messages.
const int kTextGatewayChanged = 404;
const int kTextOtherSerial = 405;
const int kTextInterrupted = 406;
const int kTextNoCopy = 407;
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

// The gateway's breath after a block; a Cancel pressed meanwhile is not lost,
// though the next wait starts afresh.
void CGatewayOps::Pause()
{
    PauseWithEvents(200);
    if (m_UI.Cancelled()) throw CCOMTermExp(CE_USER);
}

bool CGatewayOps::WriteBlocks(std::vector<uint8_t>& image, bool& ok1, bool& ok2)
{
    m_UI.SetProgressLabel(Text(108));
    m_UI.ProcessEvents();
    m_UI.SetProgressMax(8 * kBar);
    m_UI.SetProgressPos(0);
    ok1 = false;
    for (int attempt = 0; attempt < 3 && !ok1; ++attempt) {
        // Every attempt gives the gateway its full time to store the block, not
        // only the first: the read-back below shortens the time-out on the cable.
        m_Terminal.m_Timeout = 20000;
        m_Terminal.m_Count = 0;
        const char g = 'g';
        if (m_Terminal.m_Comm.Write(&g, 1) != 1 || m_Terminal.m_Comm.Write(image.data(), Block1Size) != Block1Size)
            throw CCOMTermExp(CE_SEND_ERROR);
        m_UI.SetProgressPos(1 * kBar);
        Pause();
        if (m_Terminal.SendAndWait("", "X", "Y") != 1) continue;
        LinkTimeout();
        {
            const TFollowBytes follow(m_Terminal, m_UI, 1 * kBar, 2 * kBar, 2049);
            m_Terminal.SendAndWaitCount("e", 2049);
        }
        m_UI.SetProgressPos(2 * kBar);
        ok1 = m_Terminal.m_Count >= 2049 && std::memcmp(m_Terminal.m_Buffer.data() + 1, image.data(), Block1Size) == 0;
    }
    ok2 = false;
    for (int attempt = 0; ok1 && attempt < 3 && !ok2; ++attempt) {
        m_Terminal.m_Timeout = 20000;
        m_Terminal.m_Count = 0;
        const char G = 'G';
        if (m_Terminal.m_Comm.Write(&G, 1) != 1) throw CCOMTermExp(CE_SEND_ERROR);
        bool pieces = true;
        for (int k = 0; k < 4 && pieces; ++k) {
            m_Terminal.m_Count = 0;
            if (m_Terminal.m_Comm.Write(image.data() + Block2Start + k * Block2Piece, Block2Piece) != Block2Piece)
                throw CCOMTermExp(CE_SEND_ERROR);
            m_UI.SetProgressPos((k + 3) * kBar);
            Pause();
            pieces = m_Terminal.SendAndWait("", "X", "Y") == 1;
        }
        if (!pieces) continue;
        LinkTimeout();
        {
            const TFollowBytes follow(m_Terminal, m_UI, 6 * kBar, 8 * kBar, 8193);
            m_Terminal.SendAndWaitCount("E", 8193);
        }
        m_UI.SetProgressPos(8 * kBar);
        ok2 = m_Terminal.m_Count >= 8193 &&
              std::memcmp(m_Terminal.m_Buffer.data() + 1, image.data() + Block2Start, Block2Size) == 0;
    }
    return ok1 && ok2;
}

bool CGatewayOps::EzRgnBtn3Click() { return Write(m_Parameters, nullptr, {}, nullptr); }

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
    return m_UI.Ask(Text(kTextNotAsShown) + "\n\n" + WriteCheckText(m_Language, check) + "\n\n" + Text(kTextWriteAnyway),
                    TIcon::Warning, TDefaultAnswer::No);
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
    SetOutcome(TOutcome::Done);
    LastCopy.clear();
    GatewaySerial.clear();
    if (IsModem && !ModemConnected) return false;
    if (StorePage) StorePage();
    // Asked before the gateway is touched: a refusal leaves it alone.
    if (!ConfirmHeld(source, chosen)) {
        SetOutcome(TOutcome::BadInput);
        return false;
    }
    m_UI.ShowProgress(true, ModemConnected ? 107 : 104, true);
    bool done = false;
    bool sending = false;
    try {
        if (OpenGatewayLink(true)) done = WriteOnLink(source, chosen, compared, written, sending);
    } catch (const CCOMTermExp& e) {
        LinkTimeout();
        ShowLinkError(e);
        Remove();
        // Whatever broke the write, the gateway may now hold part of it: say so,
        // as a refused write does, also after the user's own break.
        if (sending) m_UI.Message(Text(kTextInterrupted), TIcon::Error);
        LinkFailed(e);
    }
    if (!ModemConnected && !GatewayLinkOpen) m_Terminal.Close();
    Remove();
    return done;
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
        !m_UI.Ask(Substitute(Text(kTextOtherSerial), {FromBytes(origin), FromBytes(serial)}), TIcon::Question)) {
        StopWrite(TOutcome::Declined);
        return false;
    }

    std::vector<uint8_t> image(ImageSize, 0);
    source.ToImage(image.data(), ImageSize);
    // One read of what the gateway holds serves the supervision numbers, the PIN
    // and password, the copy and the base of a selective write; block 2 only for
    // the last two.
    const bool whole = KeepCopies || chosen;
    m_UI.SetProgressMax(8 * kBar);
    std::vector<uint8_t> reply(1 + ImageSize, 0);
    m_Terminal.m_Count = 0;
    if (!ReadImage(reply.data(), whole, 0, 2 * kBar)) {
        StopWrite(TOutcome::Damaged);
        m_UI.Message(Text(113), TIcon::Error);
        return false;
    }
    m_UI.SetProgressPos(2 * kBar);
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
        !m_UI.Ask(Text(263), TIcon::Question)) {
        StopWrite(TOutcome::Declined);
        return false;
    }
    if (!chosen) {
        FillUsedBitmaps(source, image.data());
        if (!PinChanged) std::memcpy(image.data() + PinAddr, gateway.data() + PinAddr, SecretSize);
        if (!PasswordChanged) std::memcpy(image.data() + ServisPasswAddr, gateway.data() + ServisPasswAddr, SecretSize);
    }
    WriteChecksums(image.data());

    if (KeepCopies) {
        held.FromImage(gateway.data());
        const CKeptCopies::TResult kept = CKeptCopies(CopiesFolder).Keep(gateway, held);
        if (!kept.ok) {
            StopWrite(TOutcome::FileError);
            m_UI.Message(Substitute(Text(kTextNoCopy), {QDir::toNativeSeparators(kept.folder), kept.reason}),
                         TIcon::Error);
            return false;
        }
        LastCopy = kept.folder;
    }

    sending = true;
    bool ok1 = false, ok2 = false;
    const bool ok = WriteBlocks(image, ok1, ok2);
    StopWrite(ok ? TOutcome::Done : TOutcome::Damaged);
    if (ok) {
        if (written) *written = image;
        m_UI.Message(Text(114), TIcon::Information);
    } else {
        m_UI.Message(Text(115), TIcon::Error);
    }
    return ok;
}
