// The firmware upgrade, stand-alone or met by an identification.
#include "Gatewayops.h"
#include "Opsdetail.h"

#include "Catalogue.h"
#include "Commonutils.h"
#include "Firmwareversion.h"
#include "Terminal.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Keptcopies.h"
#include "Language.h"
#include "Parameters.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <optional>
#include <sys/stat.h>
#include <QLoggingCategory>

// Silent unless asked for (QT_LOGGING_RULES="korvanext.upgrade.debug=true").
Q_LOGGING_CATEGORY(lcUpgrade, "korvanext.upgrade", QtWarningMsg)

using namespace ImageLayout;
using namespace OpsDetail;

static constexpr int kTextDamagedFlashed = 659;

static QString Hex32(uint32_t value) { return QString("0x%1").arg(value, 8, 16, QChar('0')); }

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
    m_LinkErrorSaid = false;
    FinishedAfterBreak = false;
    FirmwareVersion.clear();
    FirmwareBefore.clear();
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
        m_UI.Message(Substitute("%s\n\n%s\n%s", {Text(117), QDir::toNativeSeparators(path), status.Reason}),
                     TIcon::Error);
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
    FirmwareVersion = QString::fromLatin1(fileVersion, int(strnlen(fileVersion, 12)));
    // A damaged file is never flashed unasked: once the device data block is in,
    // the checksum is made anew over whatever the file holds.
    const uint32_t stored = FirmwareStoredSum(m_Firmware.data()), sum = FirmwareSum(m_Firmware.data());
    if (stored != sum) {
        const QString damaged = Substitute(Text(420), {QDir::toNativeSeparators(path), Hex32(stored), Hex32(sum)});
        const bool send = DamagedFirmware == TDamagedFirmware::Send ||
                          (DamagedFirmware == TDamagedFirmware::Ask &&
                           m_UI.Ask(damaged + "\n\n" + Text(421), TIcon::Warning, TDefaultAnswer::No));
        if (!send) {
            SetOutcome(DamagedFirmware == TDamagedFirmware::Refuse ? TOutcome::BadInput : TOutcome::Declined);
            if (DamagedFirmware == TDamagedFirmware::Refuse) m_UI.Message(damaged, TIcon::Error);
            Remove();
            return false;
        }
        if (DamagedFirmware == TDamagedFirmware::Send) m_UI.Message(damaged, TIcon::Warning);
    }
    m_Terminal.m_Timeout = UpgradeWait(m_Terminal.m_Timeout);
    m_Terminal.SendAndWait("C");
    char gateway[101] = {};
    std::memcpy(gateway, m_Terminal.m_Buffer.data(), size_t(std::min(m_Terminal.m_Count, 100)));
    FirmwareBefore = QString::fromLatin1(gateway + 1, int(strnlen(gateway + 1, 99)));
    const int order = CompareFirmwareVersions(FirmwareBefore.toStdString(), FirmwareVersion.toStdString());
    // Whatever the versions, the user sees what is about to be flashed and agrees.
    const QString named = Substitute(Text(322), {QDir::toNativeSeparators(path), FirmwareVersion, FirmwareBefore});
    // Enter must not reflash the gateway.
    const TQuestion question = order < 0    ? TQuestion::NewerFirmware
                               : order == 0 ? TQuestion::SameFirmware
                                            : TQuestion::OlderFirmware;
    if (!m_UI.AskQuestion(question,
                          Text(order < 0    ? 321
                               : order == 0 ? 119
                                            : 120) +
                              "\n\n" + named,
                          TIcon::Question, TDefaultAnswer::No)) {
        if (standalone) Remove();
        SetOutcome(TOutcome::Declined);
        return false;
    }
    return SendFirmware(standalone);
}

// The time the blocks from `block` on take: at the line's byte time, or as
// the blocks so far went when the gateway is slower than its line.
static int SecondsLeft(int block, qint64 elapsedMs, int baud)
{
    const int left = FirmwareBlocks - block;
    const long long bytes = static_cast<long long>(left) * (3 + FirmwareBlock + 7);
    long long ms = bytes * 10 * 1000 / (baud > 0 ? baud : 19200);
    if (block > 0) ms = std::max(ms, elapsedMs * left / block);
    return int((ms + 999) / 1000);
}

bool CGatewayOps::SendFirmware(bool standalone)
{
    const char* fileVersion = reinterpret_cast<const char*>(m_Firmware.data() + FirmwareVersionAddr);
    // Only a file the user agreed to send gets here damaged; the end says so.
    const bool damaged = FirmwareStoredSum(m_Firmware.data()) != FirmwareSum(m_Firmware.data());
    m_UI.SetProgressMax(60);
    m_UI.SetProgressPos(0);
    m_UI.SetCancelVisible(false);
    bool transferStarted = false;
    bool inBlock = false;  // a block went and its answer has not come
    // From the first block on, the image is sent whole: a gateway left with part
    // of it has no working firmware. Only a second interrupt cuts it.
    std::optional<TBlockInFlight> wholeImage;
    int current = 0;  // the block being sent
    long long start = NowMs();
    int failures = 0;
    m_Terminal.m_OnBreakHeld = [&] {
        if (m_Terminal.m_Interrupt && failures < 10)
            m_UI.FinishingFirmware(SecondsLeft(current, NowMs() - start, m_Terminal.m_BaudRate));
    };
    struct TForget {
        CCOMTerminal& t;
        ~TForget() { t.m_OnBreakHeld = nullptr; }
    } forget{m_Terminal};
    const QString port = TComm::DevicePath(ComPort);
    const int blockWait = UpgradeWait(20000);
    const QString where = ModemConnected ? ModemNumber : PortName();
    auto notice = [this](const QString& text) { m_UI.SetProgressNotice(text); };
    // The notice belongs to the transfer: a read that met old firmware goes on without it.
    struct TNoticeGone {
        TOperationUI& ui;
        ~TNoticeGone() { ui.SetProgressNotice({}); }
    } gone{m_UI};
    try {
        uint8_t* device = m_Firmware.data() + DeviceDataAddr;
        if (std::all_of(device, device + DeviceDataSize, [](uint8_t b) { return b == 0; })) {
            m_Terminal.m_Count = 0;
            const uint8_t ask[3] = {'O', 0xEE, 0x00};
            m_Terminal.SendRaw(ask, 3);
            m_Terminal.SendAndWaitCount("", 259);
            std::memcpy(device, m_Terminal.m_Buffer.data() + 3, DeviceDataSize);
            const uint32_t sum = FirmwareSum(m_Firmware.data());
            for (int i = 0; i < 4; ++i) m_Firmware[size_t(FirmwareChecksumAddr + i)] = uint8_t(sum >> (8 * i));
        }
        start = NowMs();
        for (int b = 0; b < FirmwareBlocks; ++b) {
            current = b;
            m_UI.SetProgressLabel(
                Substitute("%s %i / %i", {Text(122), QString::number(b + 1), QString::number(FirmwareBlocks)}));
            if (failures < 10)
                notice(
                    Text(425) + "\n" +
                    Substitute(Text(426), {QString::number(SecondsLeft(b, NowMs() - start, m_Terminal.m_BaudRate))}));
            m_UI.ProcessEvents();
            const uint8_t* block = m_Firmware.data() + b * FirmwareBlock;
            const uint32_t crc = Crc32(block, FirmwareBlock);
            for (int refusals = 0;;) {
                // Before the first block a break stops the upgrade. After it a first one
                // waits for the whole image, unless the gateway has refused ten blocks, where
                // the window offers Cancel: an image that does not go in holds nothing off.
                // Each wait clears m_Abort, so the flags are looked at here.
                if (m_Terminal.m_InterruptNow ||
                    ((m_Terminal.m_Interrupt || m_UI.Cancelled()) && (!transferStarted || failures >= 10)))
                    throw CCOMTermExp(CE_USER);
                if (!transferStarted) wholeImage.emplace(m_Terminal);
                transferStarted = true;
                inBlock = true;
                m_Terminal.m_Count = 0;
                const int address = b * FirmwareBlock;
                const uint8_t head[3] = {'K', uint8_t(address >> 8), uint8_t(address)};
                // The loader takes the bytes as the line brings them, one after another:
                // handing them to the port together puts the same bytes on the wire
                // without a system call (and on a network port a packet) for each.
                std::vector<uint8_t> frame(head, head + 3);
                frame.insert(frame.end(), block, block + FirmwareBlock);
                m_Terminal.SendRaw(frame.data(), int(frame.size()));
                m_UI.SetProgressPos(2 * b);
                m_Terminal.m_Timeout = blockWait;
                m_Terminal.SendAndWaitCount("", 7);
                inBlock = false;
                const uint8_t* r = m_Terminal.m_Buffer.data();
                const uint32_t got = uint32_t(r[3] | r[4] << 8 | r[5] << 16 | uint32_t(r[6]) << 24);
                if (r[0] == 'K' && r[1] == head[1] && r[2] == head[2] && got == crc) {
                    m_UI.SetProgressPos(2 * b + 1);
                    break;
                }
                if (++failures >= 10) {
                    m_UI.SetCancelVisible(true);
                    notice(Substitute(Text(427), {QString::number(failures)}));
                }
                // A gateway that keeps refusing ends the upgrade, whether anyone is there to press Cancel or not.
                if (MaxBlockRefusals > 0 && ++refusals >= MaxBlockRefusals) {
                    if (!ModemConnected) CutUpgrades.Mark(port);
                    Remove();
                    SetOutcome(TOutcome::Damaged);
                    m_UI.Message(Substitute(Text(424), {QString::number(b + 1), QString::number(FirmwareBlocks),
                                                        QString::number(refusals)}),
                                 TIcon::Error);
                    return false;
                }
            }
        }
        // The gateway stays in configuration mode: what it now runs is asked, not assumed.
        m_Terminal.m_Timeout = blockWait;
        m_Terminal.SendAndWait("C");
    } catch (const CCOMTermExp& e) {
        m_UI.SetCancelVisible(true);
        if (transferStarted && !ModemConnected) {
            // The next operation on the port says that the firmware is incomplete.
            CutUpgrades.Mark(port);
            // An "A" would only join the data of the block in flight.
            if (inBlock) GatewayLinkOpen = false;
        }
        if (transferStarted) {
            // Part of the new firmware is in the gateway: say so, whatever broke the transfer.
            Remove();
            if (e.Code == CE_CONNECTION_TIMEOUT) {
                m_UI.Message(
                    Substitute(Text(320), {where, QString::number((blockWait + 999) / 1000)}) + "\n" + Text(124),
                    TIcon::Error);
                m_LinkErrorSaid = true;
            } else {
                m_UI.Message(Text(124), TIcon::Error);
            }
        }
        throw;
    }
    m_UI.SetCancelVisible(true);
    // The whole image went and the gateway answers: whatever it runs now is complete.
    if (!ModemConnected) CutUpgrades.Clear(port);
    const std::string now = ReplyText(99);
    m_IdentSw = now;
    GatewayVersion = QString::fromLatin1(now.c_str());
    // The whole version, as the comparison before the transfer: 3.20.1 kept is not 3.20.2 taken.
    if (CompareFirmwareVersions(now, std::string(fileVersion, strnlen(fileVersion, 12))) != 0) {
        Remove();
        SetOutcome(TOutcome::Damaged);
        m_UI.Message(Substitute(Text(423), {GatewayVersion, FirmwareVersion}), TIcon::Error);
        return false;
    }
    FinishedAfterBreak = m_Terminal.m_Interrupt;
    if (damaged) {
        if (standalone) Remove();
        m_UI.Message(Substitute(Text(kTextDamagedFlashed), {GatewayVersion}), TIcon::Warning);
    } else if (standalone) {
        Remove();
        m_UI.Message(Text(123) + "\n" + Substitute(Text(422), {GatewayVersion}), TIcon::Information);
    }
    return true;
}

bool CGatewayOps::UpgradeFirmware()
{
    SetOutcome(TOutcome::Done);
    if (!m_UI.Ask(Text(116), TIcon::Question)) {
        SetOutcome(TOutcome::Declined);
        return false;
    }
    return UpgradeAgreed();
}

bool CGatewayOps::UpgradeAgreed()
{
    SetOutcome(TOutcome::Done);
    bool done = false;
    try {
        done = Upgrade(true);
        CloseGatewayLink();
    } catch (const CCOMTermExp& e) {
        qCDebug(lcUpgrade, "Upgrade exception");
        Remove();
        ShowLinkError(e);
        LinkFailed(e);
    }
    if (!ModemConnected && !GatewayLinkOpen) m_Terminal.Close();
    return done;
}
