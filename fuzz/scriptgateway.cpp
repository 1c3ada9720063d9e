#include "scriptgateway.h"

#include "Catalogue.h"
#include "Commonutils.h"
#include "Terminal.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Language.h"

#include <QCoreApplication>
#include <QDir>

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace ImageLayout;

const bool g_FuzzTrace = qEnvironmentVariableIsSet("KVX_FUZZ_TRACE");

static const uint8_t* U(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

std::string ByteString(const uint8_t* p, size_t n) { return std::string(reinterpret_cast<const char*>(p), n); }

bool Block1Ok(const std::string& data)
{
    if (data.size() != size_t(Block1Size)) return false;
    std::vector<uint8_t> img(ImageSize, 0);
    std::memcpy(img.data() + Block1Start, data.data(), Block1Size);
    return Block1Valid(img.data());
}

bool Block2Ok(const std::string& data)
{
    if (data.size() != size_t(Block2Size)) return false;
    std::vector<uint8_t> img(ImageSize, 0);
    std::memcpy(img.data() + Block2Start, data.data(), Block2Size);
    return Block2Valid(img.data());
}

static void FixChecksum(std::string& block)
{
    const uint16_t sum = BlockChecksum(U(block), block.size() - 2);
    block[block.size() - 2] = char(sum & 0xFF);
    block[block.size() - 1] = char(sum >> 8);
}

KVX_NOT_FUZZED bool SameImageValues(const CParameters& a, const CParameters& b)
{
    // Both hold the one catalogue, so their entries pair up in order.
    if (a.Entries().size() != b.Entries().size()) return false;
    auto j = b.Entries().begin();
    for (auto i = a.Entries().begin(); i != a.Entries().end(); ++i, ++j)
        if (i->second.Par->m_Address >= 0 && (i->first != j->first || i->second.Values != j->second.Values))
            return false;
    return true;
}

// ---------------------------------------------------------------- scripted gateway

void TScriptGateway::Start(TFuzzInput& script, const std::vector<uint8_t>& base)
{
    m_Script = &script;
    clean = true;
    exhausted = false;
    image = base;
    line.Reset();
    m_Late.clear();
    m_LateEvery = 0;
    m_LastExchange = m_StartedAt = NowMs();
    m_WaitBound = 0;
    m_CancelledAt = -1;
    m_Transcript.clear();
    NewOperation();
}

void TScriptGateway::Forget()
{
    rec = TRecord();
    m_Late = {};
    m_Collect = {};
    m_Transcript = {};
}

void TScriptGateway::NewOperation()
{
    rec = TRecord();
    m_State = TState::Idle;
    m_Collect.clear();
    m_LastExchange = NowMs();
    if (m_CancelledAt >= 0) m_CancelledAt = NowMs();
}

bool TScriptGateway::Step()
{
    bool did = false;
    if (!m_Late.empty() && NowMs() >= m_LateAt) {
        const size_t n = m_LateEvery > 0 ? 1 : m_Late.size();
        line.Write(m_Late.substr(0, n));
        m_Late.erase(0, n);
        m_LateAt += m_LateEvery;
        did = true;
    }
    const std::string got = line.TakeSent();
    if (!got.empty()) {
        m_LastExchange = NowMs();
        m_WaitBound = 0;
    }
    m_WaitBound = std::max(m_WaitBound, Bound());
    for (const char c : got) Feed(uint8_t(c));
    if (line.Deliver(term->m_Comm) || !got.empty()) did = true;
    if (term->m_Count > CCOMTerminal::BufferSize) Finding("the tool holds more received bytes than its buffer");
    return did;
}

long long TScriptGateway::Bound() const
{
    // The longest wait: the terminal's bound and the line time of the longest
    // reply (a modem call's rate taken as the slowest), with the pauses between.
    const int baud = term->m_CallActive ? 2400 : 19200;
    const long long wait = std::max(term->m_Timeout, 1000) + 8193LL * 10 * 1000 / baud;
    return 2 * wait + 2000;
}

void TScriptGateway::Watch(long long now)
{
    m_WaitBound = std::max(m_WaitBound, Bound());
    if (now - m_LastExchange > m_WaitBound) Finding("a wait without bound");
    // Once the user cancelled, the running operation ends within a few waits.
    if (m_CancelledAt >= 0 && now - m_CancelledAt > 4 * m_WaitBound) Finding("an operation that Cancel does not end");
}

void TScriptGateway::Finding(const char* what) const
{
    std::fprintf(stderr, "\nfinding: %s, %lld ms without a byte (bound %lld ms), timeout %d ms, call %d\nscript: %s\n",
                 what, NowMs() - m_LastExchange, m_WaitBound, term->m_Timeout, int(term->m_CallActive),
                 m_Transcript.c_str());
    FuzzFail(what);
}

void TScriptGateway::Feed(uint8_t b)
{
    switch (m_State) {
    case TState::Idle:
        switch (b) {
        case 'g':
            m_State = TState::Block1;
            m_Collect.clear();
            return;
        case 'G':
            m_State = TState::Block2;
            m_Collect.clear();
            m_Piece = 0;
            return;
        case 'K':
            m_State = TState::Firmware;
            m_Collect.clear();
            return;
        case 'O':
            m_State = TState::Device;
            m_Collect.clear();
            return;
        case 'A': return;  // leaves configuration mode; no answer
        default: Answer(char(b)); return;
        }
    case TState::Block1:
        m_Collect += char(b);
        if (m_Collect.size() < size_t(Block1Size)) return;
        m_State = TState::Idle;
        Answer('g');
        return;
    case TState::Block2:
        m_Collect += char(b);
        if (m_Collect.size() == size_t((m_Piece + 1) * Block2Piece)) Answer('G');
        return;
    case TState::Firmware:
        m_Collect += char(b);
        if (m_Collect.size() < size_t(2 + FirmwareBlock)) return;
        m_State = TState::Idle;
        Answer('K');
        return;
    case TState::Device:
        m_Collect += char(b);
        if (m_Collect.size() < 2) return;
        m_State = TState::Idle;
        Answer('O');
        return;
    }
}

static std::string TextReply(char lead, const std::string& body)
{
    return std::string(1, lead) + body + std::string(1, '\0');
}

std::string TScriptGateway::Correct(char cmd) const
{
    switch (cmd) {
    case 'U': return "X";
    case 'X': return "U";
    case 'Z': return "\"KX2 gateway " + version + ";356938035643809;SIMNET CZ; (23001);17\"";
    case 'B': return TextReply('B', std::string(1, hwLetter) + "2");
    case 'C': return TextReply('C', version);
    case 'D': return TextReply('D', "KX2-004711");
    case 'F': return TextReply('F', "");
    case 'e': return "e" + ByteString(image.data() + Block1Start, Block1Size);
    case 'E': return "E" + ByteString(image.data() + Block2Start, Block2Size);
    case 'g': return Block1Ok(m_Collect) ? "X" : "Y";
    case 'G': return m_Piece < 3 || Block2Ok(m_Collect) ? "X" : "Y";
    case 'K': {
        const uint32_t crc = Crc32(U(m_Collect) + 2, FirmwareBlock);
        std::string a = "K" + m_Collect.substr(0, 2);
        for (int i = 0; i < 4; ++i) a += char(crc >> (8 * i));
        return a;
    }
    case 'O': return std::string("O\xEE\x00", 3) + deviceData;
    default: return {};  // not a command: line noise
    }
}

std::string TScriptGateway::Scripted(char cmd)
{
    TFuzzInput& in = *m_Script;
    if (in.Empty()) {
        if (!exhausted) m_CancelledAt = NowMs();
        exhausted = true;
        return {};
    }
    std::string a = Correct(cmd);
    const int k = in.Byte() % 16;
    switch (k) {
    case 1:
        // Anything at all; nothing is silence.
        a = in.Text(255);
        break;
    case 2:
        // A text reply of another content.
        a = TextReply(cmd, in.Text(110));
        break;
    case 3:
        // An image block with damaged bytes, its checksum fitted to them or not.
        if (cmd == 'e' || cmd == 'E') {
            const uint8_t flags = in.Byte();
            std::string block = a.substr(1);
            for (int i = 0; i < (flags >> 1) % 4; ++i) {
                const size_t at = size_t(in.Word()) % block.size();
                block[at] = char(in.Byte());
            }
            if (flags & 1) FixChecksum(block);
            a = std::string(1, cmd) + block;
        }
        break;
    case 4: {
        static const char* const acks[] = {"X", "Y", "XY", "YX", "x"};
        const uint8_t ack = in.Byte() % 6;
        a = ack == 5 ? std::string(1, '\0') : std::string(acks[ack]);
        break;
    }
    case 5:
        // A firmware acknowledgement with one field wrong.
        if (cmd == 'K') {
            const uint8_t field = in.Byte() % 7;
            a[field] = char(a[field] ^ (1 + in.Byte() % 255));
        }
        break;
    case 6:
        // Cut short: the tool waits for the rest.
        if (!a.empty()) a.resize(size_t(in.Word()) % a.size());
        break;
    case 7: a += in.Text(40); break;
    case 8:
        // The line goes dead in the middle of the answer (a modem call ends).
        if (!a.empty()) a.resize(size_t(in.Word()) % a.size());
        if (modem) {
            line.Write(a);
            line.Hangup();
            clean = false;
            return {};
        }
        a.clear();
        break;
    case 9:
        if (cmd == 'Z') a = "\"" + in.Text(140) + "\"";
        break;
    case 10:
        if (cmd == 'C') {
            static const char* const versions[] = {"3.15", "2.01", "3.99", "3.", "", "3.20", "4.00", "3.2"};
            a = TextReply('C', versions[in.Byte() % 8]);
        }
        break;
    case 11:
        if (cmd == 'B') a = TextReply('B', std::string(1, char(in.Byte())) + "2");
        break;
    case 12:
    case 14:
        // Late, up to 25.5 s, around the tool's deadlines; or dripping, a byte
        // each 10 ms to 2.5 s, as a device that never stops talking.
        if (a.empty() || !m_Late.empty()) break;
        m_Late = a;
        m_LateEvery = (k == 14) ? 10 * (1 + in.Byte()) : 0;
        m_LateAt = NowMs() + (k == 12 ? 100LL * in.Byte() : m_LateEvery);
        clean = false;
        a.clear();
        break;
    case 13: {
        // A device that floods: the answer, then up to 64 KB of noise.
        const size_t kb = 1 + in.Byte() % 64;
        a += std::string(kb * 1024, char(in.Byte()));
        break;
    }
    default: break;
    }
    return a;
}

bool TScriptGateway::Fits(char cmd, const std::string& a)
{
    if (a.empty()) return true;
    const size_t quotes = size_t(std::count(a.begin(), a.end(), '"'));
    switch (cmd) {
    case 'U':
    case 'X':
    case 'g':
    case 'G': return a.size() == 1;
    case 'Z':
        if (a.find('\0') != std::string::npos) return false;
        if (quotes == 0) return a.find('Y') == std::string::npos || a.find('Y') == a.size() - 1;
        return a[0] == '"' && quotes == 2 && a.back() == '"';
    case 'B':
    case 'C':
    case 'D':
    case 'F': return a.find('\0') == std::string::npos || a.find('\0') == a.size() - 1;
    case 'e': return a.size() <= size_t(1 + Block1Size);
    case 'E': return a.size() <= size_t(1 + Block2Size);
    case 'K': return a.size() <= 7;
    case 'O': return a.size() <= size_t(3 + DeviceDataSize);
    default: return false;
    }
}

void TScriptGateway::Answer(char cmd)
{
    const std::string a = Scripted(cmd);
    if (g_FuzzTrace) std::fprintf(stderr, "'%c' -> %zu bytes%s\n", cmd, a.size(), exhausted ? " (script used up)" : "");
    if (m_Transcript.size() < 4000) {
        char entry[64];
        std::snprintf(entry, sizeof entry, "%s'%c'@%lld->%zu%s", m_Transcript.empty() ? "" : " ", cmd,
                      NowMs() - m_StartedAt, a.size(),
                      !m_Late.empty() ? "(late)"
                      : exhausted     ? "(used up)"
                                      : "");
        m_Transcript += entry;
    }
    if (!line.Up()) return;
    // Whether the tool takes in exactly this answer, so that nothing of it is
    // left for the next command and the record is what the tool saw.
    if (!Fits(cmd, a)) clean = false;
    Record(cmd, a);
    if (!a.empty()) line.Write(a);
}

void TScriptGateway::Record(char cmd, const std::string& a)
{
    rec.lastReply[cmd] = a;
    const bool accepted = a.find('X') != std::string::npos;
    switch (cmd) {
    case 'e':
        if (a.size() == size_t(1 + Block1Size) && Block1Ok(a.substr(1))) {
            rec.validBlock1 = a.substr(1);
            if (!rec.sawWrite) rec.block1BeforeWrite = rec.validBlock1;
        }
        if (rec.acked1 && rec.readBack1.empty() && a.size() > 1) rec.readBack1 = a.substr(1);
        break;
    case 'E':
        if (a.size() == size_t(1 + Block2Size) && Block2Ok(a.substr(1))) rec.validBlock2 = a.substr(1);
        if (rec.acked2 && rec.readBack2.empty() && a.size() > 1) rec.readBack2 = a.substr(1);
        break;
    case 'g':
        rec.sawWrite = true;
        rec.written1 = m_Collect;
        rec.acked1 = accepted;
        rec.readBack1.clear();
        if (accepted) std::memcpy(image.data() + Block1Start, m_Collect.data(), Block1Size);
        break;
    case 'G':
        rec.sawWrite = true;
        ++m_Piece;
        if (!accepted) {
            m_State = TState::Idle;
            rec.acked2 = false;
        } else if (m_Piece == 4) {
            m_State = TState::Idle;
            rec.written2 = m_Collect;
            rec.acked2 = true;
            rec.readBack2.clear();
            std::memcpy(image.data() + Block2Start, m_Collect.data(), Block2Size);
        }
        break;
    case 'K':
        ++rec.firmwareCommands;
        rec.firmware[uint8_t(m_Collect[0]) << 8 | uint8_t(m_Collect[1])] = m_Collect.substr(2);
        if (rec.firmware.size() == size_t(FirmwareBlocks)) {
            // A whole image with a sound checksum is what the gateway runs from now on.
            std::string all;
            for (const auto& block : rec.firmware) all += block.second;
            if (all.size() == size_t(FirmwareSize) && FirmwareSum(U(all)) == FirmwareStoredSum(U(all)))
                version =
                    std::string(all.c_str() + FirmwareVersionAddr, strnlen(all.c_str() + FirmwareVersionAddr, 12));
        }
        break;
    case 'O':
        ++rec.firmwareCommands;
        rec.deviceReply = a;
        break;
    default: break;
    }
}

// ---------------------------------------------------------------- telephony

std::vector<TLineDevice> TFuzzTelephony::Devices()
{
    return {{"Fuzz modem", 0, LINEBEARERMODE_VOICE, LINEMEDIAMODE_DATAMODEM, ""}};
}

bool TFuzzTelephony::OpenLine(unsigned id, TCallback callback)
{
    m_Callback = std::move(callback);
    return id == 0;
}

bool TFuzzTelephony::MakeCall(const QString&)
{
    Report(LINECALLSTATE_DIALING, 0);
    if (outcome == Busy) {
        Report(LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY);
        Report(LINECALLSTATE_IDLE, 0);
    } else {
        Report(LINECALLSTATE_CONNECTED, 0);
    }
    return true;
}

std::unique_ptr<TTransport> TFuzzTelephony::TakeCallLine()
{
    return outcome == NoChannel || !line ? nullptr : line->Open();
}

void TFuzzTelephony::Drop() { Report(LINECALLSTATE_IDLE, 0); }

void TFuzzTelephony::Report(unsigned state, unsigned mode)
{
    // Through the event loop, as the telephony service delivers its messages.
    TCallback cb = m_Callback;
    QTimer::singleShot(0, &m_Context, [cb, state, mode] {
        if (cb) cb(LINE_CALLSTATE, state, mode);
    });
}

// ---------------------------------------------------------------- user

void TFuzzUI::Message(const QString& text, TIcon)
{
    if (g_FuzzTrace) std::fprintf(stderr, "message: %s\n", qPrintable(text));
}

bool TFuzzUI::Ask(const QString& text, TIcon, TDefaultAnswer preset)
{
    asked.emplace_back(text, preset);
    const bool yes = answers->Empty() ? !gateway->exhausted : answers->Byte() & 1;
    if (g_FuzzTrace) std::fprintf(stderr, "question: %s -> %s\n", qPrintable(text), yes ? "yes" : "no");
    return yes;
}

QString TFuzzUI::ChooseFirmware(const QStringList& paths)
{
    const int k = answers->Byte();
    if (k % 4 == 3) return {};
    const QStringList& from = paths.isEmpty() ? files : paths;
    return from.isEmpty() ? QString() : from[k % from.size()];
}

void TFuzzUI::ProcessEvents() { QCoreApplication::processEvents(); }

// ---------------------------------------------------------------- world and session

TGatewayWorld::TGatewayWorld() : globals(std::make_unique<TGlobalObjects>()), scratch(std::make_unique<CParameters>())
{
    Language().InitEnglish(ProgramFolder());
    BuildCatalogue(Parameters());
    BuildCatalogue(*scratch);
    auto t = std::make_unique<TFuzzTelephony>();
    telephony = t.get();
    telephony->line = &gateway.line;
    Terminal().SetTelephony(std::move(t));
    gateway.term = &Terminal();
    ui.gateway = &gateway;

    // The gateway's configuration differs from the defaults in the places a
    // write treats specially.
    CParameters& g = *scratch;
    g.SetAllDefaults();
    g.SetValue("FXSVolRec", 0, "1");
    g.SetValue("GSMNum", 3, "+420600111222");
    g.SetValue("ModemNum1", 0, "777");
    g.SetValue("PINVal", 0, "4321");
    g.SetValue("ServisPassw", 0, "55555");
    gatewayImage = GatewayImage(g);
    gatewayValues = g.Snapshot();
    gateway.deviceData.resize(DeviceDataSize);
    for (int i = 0; i < DeviceDataSize; ++i) gateway.deviceData[size_t(i)] = char(0x30 + i % 64);

    folder = FuzzScratch() + "firmware/";
    QDir().mkpath(folder);
    SetLocalPort(TScriptGateway::kPortName, [this] { return gateway.line.Open(); });
    clock.peer = &gateway;
    clock.onAdvance = [this](long long now) { gateway.Watch(now); };
    SetClock(&clock);
}

TGatewayWorld::~TGatewayWorld()
{
    SetClock(nullptr);
    SetLocalPort(TScriptGateway::kPortName, nullptr);
}

TGatewaySession::TGatewaySession(TGatewayWorld& w, TFuzzInput& in, uint8_t header, uint8_t gatewayByte)
    : world(w),
      gateway(w.gateway),
      answerBytes(in.Text(16)),
      answers(reinterpret_cast<const uint8_t*>(answerBytes.data()), answerBytes.size()),
      ops(Parameters(), Terminal(), Language(), w.ui)
{
    w.ui.answers = &answers;
    gateway.Start(in, w.gatewayImage);
    static const char* const versions[] = {"3.15", "2.01", "3.20", "3.99"};
    gateway.version = versions[gatewayByte % 4];
    gateway.hwLetter = gatewayByte & 4 ? 'D' : 'C';
    gateway.modem = header & 1;
    const int call = (gatewayByte >> 3) % 8;
    w.telephony->outcome = call == 1   ? TFuzzTelephony::Busy
                           : call == 2 ? TFuzzTelephony::NoChannel
                                       : TFuzzTelephony::Connects;

    CParameters& p = Parameters();
    if (header & 2) p.Restore(w.gatewayValues);  // as after a read from this gateway
    else p.SetAllDefaults();
    if (header & 0x10) p.SetValue("PINVal", 0, "1111");

    CCOMTerminal& t = Terminal();
    t.m_OnStateChange = [this](bool c, bool a) { ops.SetLinkState(c, a); };
    t.m_Abort = false;
    ops.ComPort = TScriptGateway::kPortName;
    ops.FirmwareFolder = w.folder;
    ops.PinChanged = header & 4;
    ops.PasswordChanged = header & 8;
    // A write keeps a copy of what the gateway held only when asked: each one is a folder on disk.
    ops.KeepCopies = header & 0x20;
    ops.CopiesFolder = FuzzScratch() + "copies/";
    // Copies kept by earlier inputs would change what this one does (and make
    // every later write list more of them).
    QDir(ops.CopiesFolder).removeRecursively();
    if (gateway.modem) {
        ops.IsModem = true;
        ops.ModemId = "Fuzz modem";
        ops.ModemNumber = "123";
    }
}

void TGatewaySession::Connect()
{
    if (!gateway.modem) return;
    gateway.NewOperation();
    ops.ConnectModem();
    FUZZ_CHECK(ops.GatewayIdent.back() == 0);
    const auto z = gateway.rec.lastReply.find('Z');
    if (gateway.clean && ops.ModemConnected && z != gateway.rec.lastReply.end() && !z->second.empty() &&
        z->second[0] == '"') {
        // The identification record as it came, at most 99 bytes.
        const std::string& r = z->second;
        const size_t n = std::min<size_t>(r.size(), 99);
        FUZZ_CHECK(std::memcmp(ops.GatewayIdent.data(), r.data(), n) == 0 && ops.GatewayIdent[n] == 0);
    }
}

void TGatewaySession::CheckHeap() const
{
    const size_t held = HeapPeakAboveMark();
    if (g_FuzzTrace) std::fprintf(stderr, "heap: %zu bytes at most above the start\n", held);
    if (held <= kHeapCap) return;
    char what[160];
    std::snprintf(what, sizeof what, "the tool held %zu bytes of heap in one input (cap %zu)", held, kHeapCap);
    gateway.Finding(what);
}

TGatewaySession::~TGatewaySession()
{
    CCOMTerminal& t = Terminal();
    ops.HangUpModem();
    ops.CloseGatewayLink();
    if (t.m_CallActive) t.HangUp();
    t.Close();
    t.m_OnStateChange = nullptr;
    gateway.line.Hangup();
    // Reports of the call and hand-overs of the closed line still queued go now.
    QCoreApplication::processEvents();
    // Nothing of this input is kept for the next: an input that ends holding more
    // blocks than it found looks like a leak, and libFuzzer runs it once more.
    gateway.Forget();
    world.ui.asked = {};
    world.ui.files = {};
}
