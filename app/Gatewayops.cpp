#include "Gatewayops.h"

#include "Catalogue.h"
#include "Commonutils.h"
#include "Comterminal.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Keptcopies.h"
#include "Language.h"
#include "Parametry.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <sys/stat.h>

using namespace ImageLayout;

namespace {
// Texts of the write's questions and messages.
const int kTextGatewayChanged = 404;
const int kTextOtherSerial = 405;
const int kTextInterrupted = 406;
const int kTextNoCopy = 407;
constexpr int kBar = CGatewayOps::BarStep;

// Lets the progress bar follow the bytes of the replies that come in while it
// lives: from one mark at the first byte to the next at the `expected`th.
class TFollowBytes {
public:
    TFollowBytes(CCOMTerminal& terminal, TOperationUI& ui, int from, int to, int expected) : m_Terminal(terminal)
    {
        if (from < 0 || to < from || expected <= 0) return;
        terminal.m_OnReceive = [&ui, from, to, expected](int count) {
            ui.SetProgressPos(from + int(static_cast<long long>(to - from) * std::min(count, expected) / expected));
        };
    }
    ~TFollowBytes() { m_Terminal.m_OnReceive = nullptr; }
    TFollowBytes(const TFollowBytes&) = delete;
    TFollowBytes& operator=(const TFollowBytes&) = delete;

private:
    CCOMTerminal& m_Terminal;
};

// The bytes of both blocks as the line carries them (2048 to 4095 never travel).
bool SameTransferred(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    if (a.size() != size_t(ImageSize) || b.size() != size_t(ImageSize)) return false;
    return std::equal(a.begin(), a.begin() + Block1Size, b.begin()) &&
           std::equal(a.begin() + Block2Start, a.end(), b.begin() + Block2Start);
}
}  // namespace

CGatewayOps::CGatewayOps(CParameters& parameters, CCOMTerminal& terminal, const CLanguage& language, TOperationUI& ui)
    : m_Parameters(parameters), m_Terminal(terminal), m_Language(language), m_UI(ui)
{
}

QString CGatewayOps::Text(int n) const { return m_Language.Text(n); }

// The reply time-out of the link: 20 s over a modem call, 1 s on the cable.
void CGatewayOps::LinkTimeout() { m_Terminal.m_Timeout = ModemConnected ? 20000 : 1000; }

// The group that owns the device: the one a user must belong to for using it.
static QString DeviceGroup(const std::string& device)
{
    struct stat st{};
    if (::stat(device.c_str(), &st) != 0) return {};
    std::vector<char> buffer(4096);
    group g{};
    group* found = nullptr;
    if (getgrgid_r(st.st_gid, &g, buffer.data(), buffer.size(), &found) != 0 || !found) return QString::number(st.st_gid);
    return QString::fromLocal8Bit(found->gr_name);
}

QString CGatewayOps::OpenFailureText(const CCOMTermExp& e) const
{
    QString message = Text(125);
    if (e.Device.empty()) return message;
    message += "\n\n" + Substitute(Text(315), {QString::fromLocal8Bit(e.Device.c_str()), QString::fromLocal8Bit(e.Detail.c_str())});
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
    SetOutcome(TOutcome::Link, e.Code);
    QString message;
    switch (e.Code) {
    case CE_USER: return;
    case CE_OPEN_ERROR: message = OpenFailureText(e); break;
    case CE_CONNECTION_TIMEOUT:
    case CE_PARSING_ERROR: message = Substitute(Text(110), {LinkErrorName(e.Code)}); break;
    case CE_NOT_CONNECTED:
    case CE_SEND_ERROR: message = Substitute(Text(109), {LinkErrorName(e.Code)}); break;
    default: message = Substitute(Text(109), {QString::number(e.Code)}); break;
    }
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

void CGatewayOps::SpeedButton6Click()
{
    if (!IsModem) return;
    DialRequested = true;
    if (UpdateLinkControls) UpdateLinkControls();
    m_Terminal.Dial(ModemId, ModemNumber);
    DialRequested = false;
    if (UpdateLinkControls) UpdateLinkControls();
    if (!ModemConnected) return;
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

void CGatewayOps::SpeedButton8Click()
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
    QElapsedTimer waited;
    waited.start();
    while (!m_UI.Cancelled()) {
        try {
            if (!ModemConnected) {
                m_Terminal.SendAndWait("U", "X", "Y");
                m_Terminal.SendAndWait("X", "U", "X");
                GatewayLinkOpen = true;
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
                if (FirmwareCurrent()) return true;
                if (!OfferUpgrade) {
                    // This operation must not flash: old firmware ends it.
                    SetOutcome(TOutcome::Declined);
                    return false;
                }
                if (!m_UI.Ask(Text(174), TIcon::Error)) {
                    SetOutcome(TOutcome::Declined);
                    return false;
                }
                m_IdentSw.clear();  // the upgrade changes it
                return Upgrade(false);
            }
            return true;
        } catch (const CCOMTermExp& e) {
            // A break ends the operation; its caller sends "A" and closes.
            if (e.Code == CE_USER) throw;
            // A gateway that does not answer is asked again until the user cancels
            // or the wait's bound has passed; a line that is gone is not.
            if (e.Code == CE_NOT_CONNECTED || e.Code == CE_SEND_ERROR) {
                if (ModemConnected) throw;
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
        if (AnswerWaitMs > 0 && waited.elapsed() >= AnswerWaitMs) {
            SetOutcome(TOutcome::Link, CE_CONNECTION_TIMEOUT);
            Remove();
            m_UI.Message(Substitute(Text(320), {ModemConnected ? ModemNumber : PortName(),
                                                QString::number((AnswerWaitMs + 999) / 1000)}),
                         TIcon::Error);
            return false;
        }
    }
    SetOutcome(TOutcome::Link, CE_USER);
    return false;
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
            // "B" and "C" were answered by the identification step; an upgrade
            // run from it changed the version, which is then asked again.
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
        m_Terminal.Connect(ComPort, 19200);
        m_Terminal.m_Terminator = 0;
        const char a = 'A';
        m_Terminal.m_Comm.Write(&a, 1);
        PauseWithEvents(100);
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
    const int total = withBlock2 ? 2049 + 8193 : 2049;
    const int middle = barFrom < 0 ? -1 : barFrom + (barTo - barFrom) * 2049 / total;
    bool valid = false;
    {
        const TFollowBytes follow(m_Terminal, m_UI, barFrom, middle, 2049);
        for (int attempt = 0; attempt < 3 && !valid; ++attempt) {
            m_Terminal.SendAndWaitCount("e", 2049);
            std::memcpy(buffer, m_Terminal.m_Buffer.data(), size_t(std::min(m_Terminal.m_Count, 2049)));
            valid = Block1Valid(buffer + 1);
        }
    }
    if (!valid) return false;
    if (!withBlock2) return true;
    valid = false;
    const TFollowBytes follow(m_Terminal, m_UI, middle, barTo, 8193);
    for (int attempt = 0; attempt < 3 && !valid; ++attempt) {
        m_Terminal.SendAndWaitCount("E", 8193);
        std::memcpy(buffer + Block2Start, m_Terminal.m_Buffer.data(), size_t(std::min(m_Terminal.m_Count, 8193)));
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
    int mark = 0;
    for (const auto& id : idents) {
        into.SetValue(id.key, 0, Ident(id.command));
        if (withBar) m_UI.SetProgressPos(++mark * kBar);
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
            m_UI.SetProgressMax(5 * kBar);
            m_UI.SetProgressPos(0);
            m_UI.SetProgressLabel(Text(107));
            m_UI.ProcessEvents();
            ReadIdentification(into, true);
            std::vector<uint8_t> buffer(1 + ImageSize, 0);
            if (!ReadImage(buffer.data(), true, 4 * kBar, 5 * kBar)) {
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

bool CGatewayOps::EzRgnBtn2Click()
{
    // Read into a registry of its own: a read that fails leaves the window's as it was.
    CParameters read;
    BuildCatalogue(read);
    std::vector<uint8_t> image;
    const bool done = ReadGateway(read, image);
    if (done) {
        m_Parameters.Restore(read.Snapshot());
        PinChanged = PasswordChanged = false;
        m_UI.Message(Text(112), TIcon::Information);
    }
    if (LoadPage) LoadPage();
    Remove();
    return done;
}

// ---------------------------------------------------------------- write

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

// ---------------------------------------------------------------- firmware upgrade

QStringList CGatewayOps::FirmwareFiles() const
{
    QDir dir(FirmwareFolder);
    QStringList found;
    const auto entries = dir.entryInfoList({"Korvanext*.Bin"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& f : entries)
        if (f.size() == FirmwareSize) found << f.absoluteFilePath();
    return found;
}

bool CGatewayOps::Upgrade(bool standalone)
{
    if (standalone) {
        m_UI.ShowProgress(true, ModemConnected ? 274 : 104, true);
        if (!OpenGatewayLink(false)) {
            Remove();
            return false;
        }
    }
    QString path;
    if (!FirmwareFile.isEmpty()) {
        path = FirmwareFile;
        FirmwareFile.clear();
    } else {
        const QStringList files = FirmwareFiles();
        const QString fallback = QDir(FirmwareFolder).filePath("Korvanext.Bin");
        if (files.size() == 1) {
            path = files.front();
        } else if (files.isEmpty()) {
            // Nothing beside the program: let the user pick a file elsewhere, else try the default name.
            path = QFileInfo::exists(fallback) ? fallback : m_UI.ChooseFirmware({});
            if (path.isEmpty()) path = fallback;
        } else {
            path = m_UI.ChooseFirmware(files);
        }
        if (path.isEmpty()) {
            Remove();
            SetOutcome(TOutcome::Declined);
            return false;
        }
    }
    // Only a regular file is read, and never more than an image holds: a device or
    // a FIFO chosen by mistake neither blocks nor fills the memory.
    QByteArray bytes;
    TFileStatus status;
    if (!ReadFileBounded(path, FirmwareSize, bytes, &status) && status.Kind != TFileStatus::TooLarge) {
        SetOutcome(TOutcome::FileError);
        m_UI.Message(Substitute("%s\n\n%s\n%s", {Text(117), QDir::toNativeSeparators(path), status.Reason}), TIcon::Error);
        Remove();
        return false;
    }
    m_Firmware.assign(FirmwareSize, 0);
    if (bytes.size() != FirmwareSize) {
        SetOutcome(TOutcome::BadInput);
        m_UI.Message(Text(175), TIcon::Error);
        Remove();
        return false;
    }
    std::memcpy(m_Firmware.data(), bytes.constData(), FirmwareSize);
    const char* fileVersion = reinterpret_cast<const char*>(m_Firmware.data() + FirmwareVersionAddr);
    if (!(fileVersion[0] == '3' && fileVersion[1] == '.')) {
        SetOutcome(TOutcome::BadInput);
        m_UI.Message(Text(241), TIcon::Error);
        Remove();
        return false;
    }
    m_Terminal.SendAndWait("C");
    char gateway[101] = {};
    std::memcpy(gateway, m_Terminal.m_Buffer.data(), size_t(std::min(m_Terminal.m_Count, 100)));
    const int order = std::memcmp(gateway + 1, fileVersion, 5);
    // Whatever the versions, the user sees what is about to be flashed and agrees.
    const QString named = Substitute(Text(322), {QDir::toNativeSeparators(path),
                                                  QString::fromLatin1(fileVersion, int(strnlen(fileVersion, 12))),
                                                  QString::fromLatin1(gateway + 1, int(strnlen(gateway + 1, 99)))});
    if (!m_UI.Ask(Text(order < 0 ? 321 : order == 0 ? 119 : 120) + "\n\n" + named, TIcon::Question)) {
        if (standalone) Remove();
        SetOutcome(TOutcome::Declined);
        return false;
    }
    m_UI.SetProgressMax(60);
    m_UI.SetProgressPos(0);
    m_UI.SetCancelVisible(false);
    bool transferStarted = false;
    try {
        uint8_t* device = m_Firmware.data() + DeviceDataAddr;
        if (std::all_of(device, device + DeviceDataSize, [](uint8_t b) { return b == 0; })) {
            m_Terminal.m_Count = 0;
            const uint8_t ask[3] = {'O', 0xEE, 0x00};
            if (m_Terminal.m_Comm.Write(ask, 3) != 3) throw CCOMTermExp(CE_SEND_ERROR);
            m_Terminal.SendAndWaitCount("", 259);
            std::memcpy(device, m_Terminal.m_Buffer.data() + 3, DeviceDataSize);
            uint32_t sum = 0;
            for (int i = 0; i < FirmwareChecksumAddr; ++i) sum += m_Firmware[size_t(i)];
            for (int i = 0; i < 4; ++i) m_Firmware[size_t(FirmwareChecksumAddr + i)] = uint8_t(sum >> (8 * i));
        }
        int failures = 0;
        for (int b = 0; b < FirmwareBlocks; ++b) {
            m_UI.SetProgressLabel(Substitute("%s %i / %i", {Text(122), QString::number(b), QString::number(FirmwareBlocks)}));
            m_UI.ProcessEvents();
            const uint8_t* block = m_Firmware.data() + b * FirmwareBlock;
            const uint32_t crc = Crc32(block, FirmwareBlock);
            for (;;) {
                // A gateway that keeps refusing must not hold off a break or Cancel:
                // each wait clears m_Abort, so the flags are looked at here.
                if (m_Terminal.m_Interrupt || m_UI.Cancelled()) throw CCOMTermExp(CE_USER);
                transferStarted = true;
                m_Terminal.m_Count = 0;
                const int address = b * FirmwareBlock;
                const uint8_t head[3] = {'K', uint8_t(address >> 8), uint8_t(address)};
                for (uint8_t c : head)
                    if (m_Terminal.m_Comm.Write(&c, 1) != 1) throw CCOMTermExp(CE_SEND_ERROR);
                for (int i = 0; i < FirmwareBlock; ++i)
                    if (m_Terminal.m_Comm.Write(block + i, 1) != 1) throw CCOMTermExp(CE_SEND_ERROR);
                m_UI.SetProgressPos(2 * b);
                m_Terminal.m_Timeout = 20000;
                m_Terminal.SendAndWaitCount("", 7);
                const uint8_t* r = m_Terminal.m_Buffer.data();
                const uint32_t got = uint32_t(r[3] | r[4] << 8 | r[5] << 16 | uint32_t(r[6]) << 24);
                if (r[0] == 'K' && r[1] == head[1] && r[2] == head[2] && got == crc) {
                    m_UI.SetProgressPos(2 * b + 1);
                    break;
                }
                if (++failures >= 10) m_UI.SetCancelVisible(true);
            }
        }
    } catch (const CCOMTermExp&) {
        m_UI.SetCancelVisible(true);
        if (transferStarted) {
            // Part of the new firmware is in the gateway: say so, whatever broke the transfer.
            Remove();
            m_UI.Message(Text(124), TIcon::Error);
        }
        throw;
    }
    m_UI.SetCancelVisible(true);
    if (standalone) {
        Remove();
        m_UI.Message(Text(123), TIcon::Information);
    }
    return true;
}

bool CGatewayOps::EzRgnBtn1Click()
{
    SetOutcome(TOutcome::Done);
    if (!m_UI.Ask(Text(116), TIcon::Question)) {
        SetOutcome(TOutcome::Declined);
        return false;
    }
    return UpgradeFirmware();
}

bool CGatewayOps::UpgradeFirmware()
{
    SetOutcome(TOutcome::Done);
    bool done = false;
    try {
        done = Upgrade(true);
        CloseGatewayLink();
    } catch (const CCOMTermExp& e) {
        qDebug("Upgrade exception");
        Remove();
        ShowLinkError(e);
        LinkFailed(e);
    }
    if (!ModemConnected && !GatewayLinkOpen) m_Terminal.Close();
    return done;
}
