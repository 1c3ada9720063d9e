#include "Gatewayops.h"
#include "Opsdetail.h"

#include "Catalogue.h"
#include "Commonutils.h"
#include "Terminal.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Keptcopies.h"
#include "Language.h"
#include "Netport.h"
#include "Parameters.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <map>
#include <sys/stat.h>
#include <utility>

using namespace ImageLayout;
using namespace OpsDetail;

namespace {
const int kTextCutEarlier = 462;
const int kTextOldFirmware = 174;
const int kTextUpgradeCutEarlier = 650;
const int kTextUpgradeCutAsk = 651;
// Longer than block 2 takes to leave at 19200 baud.
const int kDrainMs = 6000;
const int kTextReadingIdent = 652, kTextReadingBlock1 = 653, kTextReadingBlock2 = 654;
// The read's bar in bytes: each identification reply is a letter and a short
// text (at most this long), then the two blocks' replies.
const int kIdentReply = 16, kIdentCommands = 4, kBlock1Reply = 2049, kBlock2Reply = 8193;
}  // namespace

CGatewayOps::CGatewayOps(CParameters& parameters, CCOMTerminal& terminal, const CLanguage& language, TOperationUI& ui)
    : m_Parameters(parameters), m_Terminal(terminal), m_Language(language), m_UI(ui)
{}

QString CGatewayOps::Text(int n) const { return m_Language.Text(n); }

// The reply time-out of the link: 20 s over a modem call, 1 s on the cable.
void CGatewayOps::LinkTimeout() { m_Terminal.m_Timeout = ModemConnected ? 20000 : 1000; }

// The group that owns the device: the one a user must belong to for using it.
static QString DeviceGroup(const std::string& device)
{
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0) return {};
    std::vector<char> buffer(4096);
    group g{};
    group* found = nullptr;
    if (getgrgid_r(st.st_gid, &g, buffer.data(), buffer.size(), &found) != 0 || !found)
        return QString::number(st.st_gid);
    return QString::fromLocal8Bit(found->gr_name);
}

// A terminal server's port: its failures name the host and the cause, never a cable.
static QString NetworkFailureText(const CCOMTermExp& e, const std::function<QString(int)>& text)
{
    QString message =
        Substitute(text(620), {QString::fromStdString(e.Device), QString::fromLocal8Bit(e.Detail.c_str())});
    static const std::map<TNetFailure, int> hints = {{nfRefused, 621},  {nfHostNotFound, 622},  {nfUnreachable, 623},
                                                     {nfTimedOut, 624}, {nfNoComPort, 625},     {nfClosed, 626},
                                                     {nfBadName, 627},  {nfLookupTimedOut, 631}};
    const auto hint = hints.find(e.NetFailure);
    if (hint != hints.end()) message += "\n" + text(hint->second);
    return message;
}

bool CGatewayOps::UpgradeCutEarlier() const
{
    return !ModemConnected && CutUpgrades.Contains(TComm::DevicePath(ComPort));
}

bool CGatewayOps::NetworkLink() const { return !ModemConnected && IsNetworkPort(ComPort); }

QString CGatewayOps::OpenFailureText(const CCOMTermExp& e) const
{
    if (e.NetFailure != nfNone) return NetworkFailureText(e, [this](int n) { return Text(n); });
    QString message = Text(125);
    if (e.Device.empty()) return message;
    message += "\n\n" + Substitute(Text(315), {QString::fromLocal8Bit(e.Device.c_str()),
                                               QString::fromLocal8Bit(e.Detail.c_str())});
    QString hint;
    switch (e.SystemError) {
    case EACCES:
    case EPERM: {
        // Where the device cannot even be looked at, the usual owner of serial ports.
        const QString group = DeviceGroup(e.Device);
        hint = Substitute(Text(316), {group.isEmpty() ? QString("dialout") : group});
        break;
    }
    case EBUSY: hint = Text(317); break;
    case ENOTTY:
    case EISDIR: hint = Text(318); break;
    case ENOENT:
    case ENXIO:
    case ENODEV: hint = Text(319); break;
    default: break;
    }
    if (!hint.isEmpty()) message += "\n" + hint;
    return message;
}

void CGatewayOps::ShowLinkError(const CCOMTermExp& e)
{
    // A raw write that failed because the line went is a line lost.
    const uint8_t code = e.Code == CE_SEND_ERROR ? m_Terminal.SendFailure() : e.Code;
    SetOutcome(TOutcome::Link, code);
    if (std::exchange(m_LinkErrorSaid, false)) return;
    const bool network = NetworkLink();
    QString message;
    switch (code) {
    case CE_USER: return;
    case CE_OPEN_ERROR: message = OpenFailureText(e); break;
    case CE_CONNECTION_TIMEOUT:
    case CE_PARSING_ERROR:
        message = network ? Substitute(Text(628), {ComPort, LinkErrorName(code)})
                          : Substitute(Text(110), {LinkErrorName(code)});
        break;
    case CE_NOT_CONNECTED:
    case CE_SEND_ERROR:
        message = network ? Substitute(Text(630), {ComPort, LinkErrorName(code)})
                          : Substitute(Text(109), {LinkErrorName(code)});
        break;
    default: message = Substitute(Text(109), {QString::number(e.Code)}); break;
    }
    // A gateway without working firmware may well be why the link failed.
    if (code != CE_OPEN_ERROR && UpgradeCutEarlier()) message = message.left(800) + "\n" + Text(kTextUpgradeCutEarlier);
    if (!message.isEmpty()) m_UI.Message(message.left(1000), TIcon::Error);
}

void CGatewayOps::SetLinkState(bool connected, bool callActive)
{
    ModemConnected = connected;
    ModemCallActive = callActive;
    if (UpdateLinkControls) UpdateLinkControls();
}

void CGatewayOps::LinkFailed(const CCOMTermExp& e)
{
    if (!ModemConnected) {
        CloseGatewayLink();
    } else if (e.Code == CE_NOT_CONNECTED || e.Code == CE_SEND_ERROR) {
        // The call is gone: end it here too, so the window shows the link down.
        m_Terminal.HangUp();
        SetLinkState(false, m_Terminal.m_CallActive);
    }
}

// ---------------------------------------------------------------- modem connection

void CGatewayOps::ConnectModem()
{
    if (!IsModem) return;
    DialRequested = true;
    if (UpdateLinkControls) UpdateLinkControls();
    m_Terminal.Dial(ModemId, ModemNumber);
    DialRequested = false;
    if (UpdateLinkControls) UpdateLinkControls();
    if (!ModemConnected) {
        // A modem behind a terminal server that could not be reached: said as a gateway's port is.
        if (const CCOMTermExp* failure = m_Terminal.DialFailure()) ShowLinkError(*failure);
        return;
    }
    try {
        m_UI.ShowProgress(true, 256, true);
        m_Terminal.m_Timeout = 20000;
        m_Terminal.m_Terminator = 0;
        m_UI.SetProgressMax(3);
        m_UI.SetProgressPos(0);
        m_Terminal.SendAndWait("U", "X", "Y");
        m_UI.SetProgressPos(1);
        m_Terminal.SendAndWait("X", "U", "X");
        m_UI.SetProgressPos(2);
        GatewayIdent.fill(0);
        if (m_Terminal.SendAndWait("Z", "\"", "Y") == 1) {
            m_Terminal.SendAndWaitNth("", "\"", 2);
            const int n = std::min(m_Terminal.m_Count, 99);
            std::memcpy(GatewayIdent.data(), m_Terminal.m_Buffer.data(), size_t(n));
            GatewayIdent[size_t(n)] = 0;
        }
        ModemConnected = true;
        Remove();
        if (UpdateLinkControls) UpdateLinkControls();
        SetOutcome(TOutcome::Done);
        m_UI.Message(Text(257), TIcon::Information);
    } catch (const CCOMTermExp& e) {
        Remove();
        ShowLinkError(e);
        m_Terminal.HangUp();
    }
}

void CGatewayOps::HangUpModem()
{
    if (IsModem && ModemConnected) m_Terminal.HangUp();
}

// ---------------------------------------------------------------- identification

// The port as the user named it, with the device it stands for when they differ.
QString CGatewayOps::PortName() const
{
    const QString device = TComm::DevicePath(ComPort);
    return device == ComPort ? ComPort : QString("%1 (%2)").arg(ComPort, device);
}

bool CGatewayOps::OpenGatewayLink(bool checkVersion)
{
    m_IdentHw.clear();
    m_IdentSw.clear();
    GatewayVersion.clear();
    if (!ModemConnected) {
        try {
            m_Terminal.Connect(ComPort, 19200);
        } catch (const CCOMTermExp& e) {
            ShowLinkError(e);
            return false;
        }
    }
    m_Terminal.m_Terminator = 0;
    if (!ModemConnected) m_Terminal.m_Timeout = 1000;
    const long long waitStart = NowMs();
    bool hinted = false;
    bool upgrade = false;
    // Bytes that came but were no answer: a device that talks, but not as the
    // gateway does (a GPS receiver, a console), is told as such, not waited for.
    long long strayBytes = 0;
    bool heard = false;  // the far end answered once
    auto notAGateway = [this] {
        SetOutcome(TOutcome::Damaged);
        Remove();
        m_UI.Message(Substitute(Text(633), {ModemConnected ? ModemNumber : PortName()}), TIcon::Error);
        return false;
    };
    while (!m_UI.Cancelled()) {
        try {
            if (!ModemConnected) {
                m_Terminal.SendAndWait("U", "X", "Y");
                heard = true;
                m_Terminal.SendAndWait("X", "U", "X");
                GatewayLinkOpen = true;
                CutTransfers.Clear(TComm::DevicePath(ComPort));
            }
            m_Terminal.SendAndWait("B");
            // Judged by what this reply brought: a reply of its zero byte alone
            // leaves older bytes behind it in the buffer.
            m_IdentHw = ReplyText(1);
            if (m_IdentHw != "C") {
                SetOutcome(TOutcome::Damaged);
                m_UI.Message(Text(176), TIcon::Error);
                return false;
            }
            if (checkVersion) {
                m_Terminal.SendAndWait("C");
                m_IdentSw = ReplyText(99);
                GatewayVersion = QString::fromLatin1(m_IdentSw.c_str());
                // Firmware whose upgrade broke off is no better than old firmware, whatever it reports.
                const bool cut = UpgradeCutEarlier();
                if (FirmwareCurrent() && !cut) return true;
                if (!OfferUpgrade) {
                    // This operation must not flash: old or incomplete firmware ends it.
                    SetOutcome(TOutcome::Declined);
                    return false;
                }
                if (!m_UI.Ask(cut ? Substitute(Text(kTextUpgradeCutAsk), {GatewayVersion}) : Text(kTextOldFirmware),
                              TIcon::Error)) {
                    SetOutcome(TOutcome::Declined);
                    return false;
                }
                m_IdentSw.clear();  // the upgrade changes it
                upgrade = true;
            } else {
                return true;
            }
        } catch (const CCOMTermExp& e) {
            // A break ends the operation; its caller sends "A" and closes.
            if (e.Code == CE_USER) throw;
            if (e.Code == CE_CONNECTION_TIMEOUT || e.Overflow) strayBytes += m_Terminal.m_Count;
            // Twice the longest reply at most may be left over from a transfer cut earlier.
            if (e.Overflow || strayBytes >= CCOMTerminal::BufferSize) return notAGateway();
            if (e.Code == CE_CONNECTION_TIMEOUT && !hinted) hinted = NoAnswer();
            // A gateway that does not answer is asked again until the user cancels
            // or the wait's bound has passed; a line that is gone is not.
            if (e.Code == CE_NOT_CONNECTED || e.Code == CE_SEND_ERROR) {
                if (ModemConnected) throw;
                // A terminal server that hangs up before anything answered turns
                // every client away (its port busy, or no line behind it): said
                // as such, not taken for a silent gateway.
                TNetworkAddress address;
                if (!heard && NetworkLink() && ParseNetworkPort(ComPort, address)) {
                    CCOMTermExp closed(CE_OPEN_ERROR);
                    closed.Device = address.Name();
                    closed.NetFailure = nfClosed;
                    closed.Detail = "The server closed the connection";
                    GatewayLinkOpen = false;
                    ShowLinkError(closed);
                    return false;
                }
                try {
                    m_Terminal.Connect(ComPort, 19200);
                    m_Terminal.m_Terminator = 0;
                    m_Terminal.m_Timeout = 1000;
                    PauseWithEvents(200);
                } catch (const CCOMTermExp& again) {
                    GatewayLinkOpen = false;
                    ShowLinkError(again);
                    return false;
                }
            }
        }
        // Outside the retries of the identification: a failed upgrade is never started again unasked.
        if (upgrade) return Upgrade(false);
        if (AnswerWaitMs > 0 && NowMs() - waitStart >= AnswerWaitMs) {
            if (strayBytes > 0) return notAGateway();
            SetOutcome(TOutcome::Link, CE_CONNECTION_TIMEOUT);
            Remove();
            QString message =
                Substitute(Text(NetworkLink() ? 629 : 320),
                           {ModemConnected ? ModemNumber : PortName(), QString::number((AnswerWaitMs + 999) / 1000)});
            if (!ModemConnected && CutTransfers.Contains(TComm::DevicePath(ComPort)))
                message += "\n" + Text(kTextCutEarlier);
            if (UpgradeCutEarlier()) message += "\n" + Text(kTextUpgradeCutEarlier);
            m_UI.Message(message, TIcon::Error);
            return false;
        }
    }
    SetOutcome(TOutcome::Link, CE_USER);
    return false;
}

// While a silent gateway is asked again: where this program cut a transfer off
// on the port, the gateway may be waiting for the rest of a block.
bool CGatewayOps::NoAnswer()
{
    if (ModemConnected || !CutTransfers.Contains(TComm::DevicePath(ComPort))) return false;
    m_UI.SetProgressLabel(Text(104) + "\n" + Text(kTextCutEarlier));
    return true;
}

// The zero-ended reply from position 1, at most max characters: only what this
// reply brought, since the buffer may hold older bytes beyond it.
std::string CGatewayOps::ReplyText(size_t max) const
{
    const char* reply = reinterpret_cast<const char*>(m_Terminal.m_Buffer.data());
    if (m_Terminal.m_Count < 2) return {};
    return std::string(reply + 1, strnlen(reply + 1, std::min(max, size_t(m_Terminal.m_Count - 1))));
}

bool CGatewayOps::Identify()
{
    SetOutcome(TOutcome::Done);
    if (IsModem && !ModemConnected) return false;
    bool done = false;
    m_UI.ShowProgress(true, ModemConnected ? 107 : 104, false);
    try {
        if (OpenGatewayLink(true)) {
            // "B" and "C" were answered by the identification step, or "C" by
            // the confirmation of an upgrade run from it.
            if (m_IdentSw.empty()) m_IdentSw = Ident('C');
            const std::string serial = Ident('D');
            const std::string lock = Ident('F');
            m_Parameters.SetValue("HWVer", 0, m_IdentHw);
            m_Parameters.SetValue("SWVer", 0, m_IdentSw);
            m_Parameters.SetValue("SerialNum", 0, serial);
            m_Parameters.SetValue("OperLock", 0, lock);
            done = true;
        }
    } catch (const CCOMTermExp& e) {
        Remove();
        ShowLinkError(e);
        LinkFailed(e);
    }
    // Identification only: the gateway leaves configuration mode at once.
    CloseGatewayLink();
    if (!ModemConnected && !GatewayLinkOpen) m_Terminal.Close();
    Remove();
    return done;
}

void CGatewayOps::CloseGatewayLink()
{
    if (!GatewayLinkOpen || ModemConnected) return;
    GatewayLinkOpen = false;
    try {
        // "A" goes on the session's own connection: opening the port again would
        // be a second connection to a terminal server, which may turn it away or
        // cut off whoever holds the line. Only a device whose line was lost is
        // opened again; a lost network connection leaves the gateway to time out.
        const bool open =
            m_Terminal.m_Comm.Enabled() && !m_Terminal.m_LineLost && m_Terminal.m_Comm.DeviceName() == ComPort;
        if (open) {
            // What is still queued (the end of a block) leaves first: "A" must
            // follow it, never replace it; after a second break it is dropped, as
            // closing the port would.
            if (m_Terminal.m_InterruptNow) m_Terminal.m_Comm.PurgeOut();
            else m_Terminal.DrainOutput(kDrainMs);
            // "A" is understood at the speed the session began with.
            if (m_Terminal.m_BaudRate != 19200) {
                m_Terminal.m_Comm.SetBaudRate(br19200);
                m_Terminal.m_BaudRate = 19200;
            }
        } else if (NetworkLink()) {
            throw CCOMTermExp(CE_NOT_CONNECTED);
        } else {
            m_Terminal.Connect(ComPort, 19200);
        }
        m_Terminal.m_Terminator = 0;
        const char a = 'A';
        m_Terminal.m_Comm.Write(&a, 1);
        // "A" has left once the queue is empty: no fixed pause before closing.
        m_Terminal.DrainOutput(kDrainMs);
    } catch (...) {
        // The gateway leaves configuration mode by itself after a while.
    }
    m_Terminal.Close();
}

void CGatewayOps::EndSession()
{
    CloseGatewayLink();
    if (ModemConnected || m_Terminal.m_CallActive) m_Terminal.HangUp();
}

bool CGatewayOps::ReadImage(uint8_t* buffer, bool withBlock2, int barFrom, int barTo)
{
    const int total = withBlock2 ? kBlock1Reply + kBlock2Reply : kBlock1Reply;
    const int middle = barFrom < 0 ? -1 : barFrom + int(static_cast<long long>(barTo - barFrom) * kBlock1Reply / total);
    bool valid = false;
    {
        if (barFrom >= 0) m_UI.SetProgressLabel(Text(kTextReadingBlock1));
        const TFollowBytes follow(m_Terminal, m_UI, barFrom, middle, kBlock1Reply);
        for (int attempt = 0; attempt < 3 && !valid; ++attempt) {
            m_Terminal.SendAndWaitCount("e", kBlock1Reply);
            std::memcpy(buffer, m_Terminal.m_Buffer.data(), size_t(std::min(m_Terminal.m_Count, kBlock1Reply)));
            valid = Block1Valid(buffer + 1);
        }
    }
    if (!valid) return false;
    return !withBlock2 || ReadBlock2(buffer, middle, barTo);
}

bool CGatewayOps::ReadBlock2(uint8_t* buffer, int barFrom, int barTo)
{
    bool valid = false;
    if (barFrom >= 0) {
        m_UI.SetProgressPos(barFrom);
        m_UI.SetProgressLabel(Text(kTextReadingBlock2));
    }
    const TFollowBytes follow(m_Terminal, m_UI, barFrom, barTo, kBlock2Reply);
    for (int attempt = 0; attempt < 3 && !valid; ++attempt) {
        m_Terminal.SendAndWaitCount("E", kBlock2Reply);
        std::memcpy(buffer + Block2Start, m_Terminal.m_Buffer.data(),
                    size_t(std::min(m_Terminal.m_Count, kBlock2Reply)));
        valid = Block2Valid(buffer + 1);
    }
    return valid;
}

std::string CGatewayOps::Ident(char command)
{
    m_Terminal.SendAndWait(std::string(1, command));
    return ReplyText(command == 'B' ? 1 : 99);
}

void CGatewayOps::ReadIdentification(CParameters& into, bool withBar)
{
    const struct {
        char command;
        const char* key;
    } idents[] = {{'B', "HWVer"}, {'C', "SWVer"}, {'D', "SerialNum"}, {'F', "OperLock"}};
    int at = 0;
    for (const auto& id : idents) {
        {
            const TFollowBytes follow(m_Terminal, m_UI, withBar ? at : -1, at + kIdentReply, kIdentReply);
            into.SetValue(id.key, 0, Ident(id.command));
        }
        at += kIdentReply;
        if (withBar) m_UI.SetProgressPos(at);
    }
}

bool CGatewayOps::ReadGateway(CParameters& into, std::vector<uint8_t>& image)
{
    SetOutcome(TOutcome::Done);
    image.assign(ImageSize, 0);
    if (IsModem && !ModemConnected) return false;
    bool done = false;
    m_UI.ShowProgress(true, ModemConnected ? 107 : 104, true);
    try {
        if (OpenGatewayLink(true)) {
            const int identBytes = kIdentCommands * kIdentReply;
            m_UI.SetProgressMax(identBytes + kBlock1Reply + kBlock2Reply);
            m_UI.SetProgressPos(0);
            m_UI.SetProgressLabel(Text(kTextReadingIdent));
            m_UI.ProcessEvents();
            ReadIdentification(into, true);
            std::vector<uint8_t> buffer(1 + ImageSize, 0);
            if (!ReadImage(buffer.data(), true, identBytes, identBytes + kBlock1Reply + kBlock2Reply)) {
                Remove();
                SetOutcome(TOutcome::Damaged);
                m_UI.Message(Text(113), TIcon::Error);
            } else {
                std::memcpy(image.data(), buffer.data() + 1, ImageSize);
                // Reply byte 0 of block 2 landed on a byte that never travels.
                std::fill(image.begin() + Block1Size, image.begin() + Block2Start, uint8_t(0));
                into.FromImage(image.data());
                done = true;
            }
        }
    } catch (const CCOMTermExp& e) {
        Remove();
        ShowLinkError(e);
        LinkFailed(e);
    }
    if (!done && !ModemConnected && !GatewayLinkOpen) m_Terminal.Close();
    Remove();
    return done;
}

// ---------------------------------------------------------------- read

bool CGatewayOps::ReadFromGateway()
{
    // Read into a registry of its own: a read that fails leaves the window's as it was.
    CParameters read;
    BuildCatalogue(read);
    std::vector<uint8_t> image;
    const bool done = ReadGateway(read, image);
    if (done) {
        m_Parameters.Restore(read.Snapshot());
        PinChanged = PasswordChanged = false;
        SourceGaps = {};
        m_UI.Message(Text(112), TIcon::Information);
    }
    if (LoadPage) LoadPage();
    Remove();
    return done;
}
