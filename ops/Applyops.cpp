// Applying a desired state: one read of what the gateway holds, a plan, and a
// write of only the blocks that differ.
#include "Gatewayops.h"
#include "Opsdetail.h"

#include "Catalogue.h"
#include "Commonutils.h"
#include "Desiredstate.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Parameters.h"
#include "Terminal.h"

#include <cstring>

using namespace ImageLayout;

namespace {
const int kTextReadFailed = 113;
const int kTextNotWritten = 115;
const int kTextSupervision = 263;
}  // namespace

bool CGatewayOps::Apply(const TDesiredState& state, TApplyRun& run)
{
    SetOutcome(TOutcome::Done);
    FinishedAfterBreak = false;
    LastCopy.clear();
    GatewaySerial.clear();
    if (IsModem && !ModemConnected) return false;
    m_UI.ShowProgress(true, ModemConnected ? 107 : 104, true);
    bool done = false;
    bool sending = false;
    m_BlocksTaken = m_CutBlock = 0;
    m_PartLeft = false;
    try {
        if (OpenGatewayLink(true)) done = ApplyOnLink(state, run, sending);
    } catch (const CCOMTermExp& e) {
        WriteBrokeOff(e, sending, run.block1 && run.block2);
    }
    if (!ModemConnected && !GatewayLinkOpen) m_Terminal.Close();
    Remove();
    return done;
}

bool CGatewayOps::ApplyOnLink(const TDesiredState& state, TApplyRun& run, bool& sending)
{
    CParameters held;
    BuildCatalogue(held);
    // "B" and "C" were answered by the identification step a moment ago.
    held.SetValue("HWVer", 0, m_IdentHw.empty() ? Ident('B') : m_IdentHw);
    held.SetValue("SWVer", 0, m_IdentSw.empty() ? Ident('C') : m_IdentSw);
    held.SetValue("SerialNum", 0, Ident('D'));
    held.SetValue("OperLock", 0, Ident('F'));
    run.serial = GatewaySerial = FromBytes(held.GetValue("SerialNum", 0));
    run.firmware = FromBytes(held.GetValue("SWVer", 0));

    // Block 2 (the routing tables) only when the state is about it.
    bool whole = run.replaced || state.NamesBlock2(held);
    std::vector<uint8_t> reply(1 + ImageSize, 0);
    m_Terminal.m_Count = 0;
    if (!ReadImage(reply.data(), whole)) {
        StopWrite(TOutcome::Damaged);
        m_UI.Message(Text(kTextReadFailed), TIcon::Error);
        return false;
    }
    std::vector<uint8_t> gateway(reply.begin() + 1, reply.end());
    std::fill(gateway.begin() + Block1Size, gateway.begin() + Block2Start, uint8_t(0));
    if (!whole) std::fill(gateway.begin() + Block2Start, gateway.end(), uint8_t(0));
    held.FromImage(gateway.data());

    CParameters target;
    BuildCatalogue(target);
    PlanTarget(state, run.replaced, held, target);
    run.changes = PlannedChanges(held, target);
    std::vector<TSettingRef> chosen;
    for (const TDifference& d : run.changes) {
        chosen.push_back({d.key, d.index});
        const CParBasic& par = *held.Find(d.key)->Par;
        const int address = par.m_Address + d.index * par.m_Stride;
        (address < Block1Size ? run.block1 : run.block2) = true;
    }
    if (run.changes.empty() || run.checkOnly) {
        StopWrite(TOutcome::Done);
        return true;
    }

    // The copy must undo the write: a gateway read without block 2 gives it now.
    if (KeepCopies && !whole) {
        if (!ReadBlock2(reply.data())) {
            StopWrite(TOutcome::Damaged);
            m_UI.Message(Text(kTextReadFailed), TIcon::Error);
            return false;
        }
        std::copy(reply.begin() + 1 + Block2Start, reply.end(), gateway.begin() + Block2Start);
        held.FromImage(gateway.data());
    }

    // Every byte no changed setting covers stays as the gateway holds it.
    std::vector<uint8_t> image = gateway;
    ApplyChosen(image.data(), target, chosen);
    WriteChecksums(image.data());
    if (std::memcmp(image.data() + ModemNumbersStart, gateway.data() + ModemNumbersStart, ModemNumbersSize) != 0 &&
        !m_UI.AskQuestion(TQuestion::SupervisionNumbers, Text(kTextSupervision), TIcon::Question, TDefaultAnswer::No)) {
        StopWrite(TOutcome::Declined);
        return false;
    }
    if (KeepCopies && !KeepCopyOf(gateway, held)) return false;

    sending = true;
    const bool ok = WriteChosenBlocks(image, run.block1, run.block2);
    FinishedAfterBreak = ok && m_Terminal.m_Interrupt;
    m_PartLeft = !ok && run.block1 && run.block2 && m_BlocksTaken == 1;
    run.written = ok;
    StopWrite(ok ? TOutcome::Done : TOutcome::Damaged);
    if (!ok) m_UI.Message(Text(kTextNotWritten), TIcon::Error);
    return ok;
}
