// The firmware upgrade against a scripted gateway: the checks of the firmware
// files, the version question, the device-data read, and the blocks with their
// acknowledgements, stand-alone and from the identification of an old gateway.
//
// The upgrade writes each block one byte per write call, as the gateway reads
// it at the line's pace: an upgrade that goes through costs some 61440 system
// calls, so inputs that reach the end run at a few per second.
//
// Input: a header byte (see TGatewaySession), the gateway byte, a byte for the
// files (bits 0-1 their count, bit 2: the upgrade comes from a read of an old
// gateway), each file's description, the answers, the script.
#include "Imagelayout.h"
#include "Language.h"
#include "Parameters.h"
#include "scriptgateway.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstring>

using namespace ImageLayout;

namespace {
TGatewayWorld* g_World = nullptr;

struct TFirmwareFile {
    std::string bytes;
    bool Usable() const
    {
        return bytes.size() == size_t(FirmwareSize) && bytes[FirmwareVersionAddr] == '3' &&
               bytes[FirmwareVersionAddr + 1] == '.';
    }
    bool Damaged() const { return FirmwareSum(U()) != FirmwareStoredSum(U()); }
    const uint8_t* U() const { return reinterpret_cast<const uint8_t*>(bytes.data()); }
    bool DeviceZero() const
    {
        return std::all_of(bytes.begin() + DeviceDataAddr, bytes.begin() + DeviceDataAddr + DeviceDataSize,
                           [](char c) { return c == 0; });
    }
};

// Bit 0: no device data; bits 1-2: the version; bits 3-4: damaged bytes;
// bit 5: a wrong checksum; bit 6: another size (bit 7: one byte more, else less).
TFirmwareFile MakeFirmware(TFuzzInput& in)
{
    const uint8_t f = in.Byte();
    static const std::string pattern = [] {
        std::string p(FirmwareSize, '\0');
        for (int i = 0; i < FirmwareSize; ++i) p[size_t(i)] = char((i * 131 + (i >> 8)) & 0xFF);
        return p;
    }();
    std::string b = pattern;
    if (f & 1) std::fill(b.begin() + DeviceDataAddr, b.begin() + DeviceDataAddr + DeviceDataSize, '\0');
    static const char* const versions[] = {"3.20", "3.15", "2.01", "3.99"};
    const char* v = versions[(f >> 1) % 4];
    std::fill(b.begin() + FirmwareVersionAddr, b.begin() + FirmwareChecksumAddr, '\0');
    std::memcpy(&b[FirmwareVersionAddr], v, std::strlen(v));
    for (int i = 0; i < (f >> 3) % 4; ++i) {
        const int at = in.Word() * 61 % FirmwareSize;
        b[size_t(at)] = char(in.Byte());
    }
    uint32_t sum = FirmwareSum(reinterpret_cast<const uint8_t*>(b.data()));
    if (f & 0x20) sum ^= 0x100;
    for (int i = 0; i < 4; ++i) b[size_t(FirmwareChecksumAddr + i)] = char(sum >> (8 * i));
    if (f & 0x40) b.resize(f & 0x80 ? FirmwareSize + 1 : FirmwareSize - 1);
    return {b};
}

void CheckFirmware(const TScriptGateway& gw, const TFuzzUI& ui, const std::vector<TFirmwareFile>& files, bool done)
{
    const TRecord& rec = gw.rec;
    const bool anyUsable = std::any_of(files.begin(), files.end(), [](const TFirmwareFile& f) { return f.Usable(); });
    // A file of the wrong size or version sends nothing.
    if (!anyUsable) FUZZ_CHECK(rec.firmwareCommands == 0);
    if (rec.firmware.empty()) return;
    // Every block sent comes from one usable file; only the device data block
    // and the checksum of a file without device data come from the gateway.
    const TFirmwareFile* source = nullptr;
    int sourceRank = -1;
    for (const TFirmwareFile& f : files) {
        if (!f.Usable()) continue;
        bool same = true;
        bool exact = true;
        const bool deviceZero = f.DeviceZero();
        for (const auto& [address, data] : rec.firmware) {
            FUZZ_CHECK(address % FirmwareBlock == 0 && address + FirmwareBlock <= FirmwareSize);
            for (int i = 0; i < FirmwareBlock && same; ++i) {
                const int at = address + i;
                const bool fromGateway =
                    deviceZero &&
                    ((at >= DeviceDataAddr && at < DeviceDataAddr + DeviceDataSize) || at >= FirmwareChecksumAddr);
                if (data[size_t(i)] == f.bytes[size_t(at)]) continue;
                exact = false;
                if (!fromGateway) same = false;
            }
        }
        // Several files may agree on every block sent. One that agrees byte for
        // byte is the one sent: a file without device data matches any file that
        // differs from it only there. Among the rest judge by a sound one, since
        // sending it asks nothing.
        const int rank = (exact ? 2 : 0) + (f.Damaged() ? 0 : 1);
        if (same && rank > sourceRank) {
            source = &f;
            sourceRank = rank;
        }
    }
    FUZZ_CHECK(source != nullptr);
    // A damaged file goes only after a question about it that defaults to No.
    if (source->Damaged()) {
        const QString damaged = Language().Text(420).section("%s", 0, 0);
        FUZZ_CHECK(std::any_of(ui.asked.begin(), ui.asked.end(), [&](const auto& q) {
            return q.first.startsWith(damaged) && q.second == TDefaultAnswer::No;
        }));
    }
    if (!done) return;
    // Done only when the gateway reported the file's version afterwards.
    const auto now = gw.rec.lastReply.find('C');
    FUZZ_CHECK(now != gw.rec.lastReply.end());
    if (gw.clean && !now->second.empty())
        FUZZ_CHECK(std::strncmp(now->second.c_str() + 1, source->bytes.c_str() + FirmwareVersionAddr, 5) == 0);
    // Done: every block went over, and an image completed with the gateway's
    // device data carries a checksum that fits it.
    FUZZ_CHECK(rec.firmware.size() == size_t(FirmwareBlocks));
    if (!source->DeviceZero()) return;
    std::string all;
    for (const auto& [address, data] : rec.firmware) all += data;
    const auto* image = reinterpret_cast<const uint8_t*>(all.data());
    FUZZ_CHECK(FirmwareSum(image) == FirmwareStoredSum(image));
    if (gw.clean) {
        // The device data block is the gateway's, as it answered "O".
        FUZZ_CHECK(rec.deviceReply.size() == size_t(3 + DeviceDataSize));
        FUZZ_CHECK(all.compare(DeviceDataAddr, DeviceDataSize, rec.deviceReply, 3, DeviceDataSize) == 0);
    }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzInitApp(argc, argv);
    static TGatewayWorld world;
    g_World = &world;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MarkHeap();
    TGatewayWorld& w = *g_World;
    TFuzzInput in(data, size);
    const uint8_t header = in.Byte();
    uint8_t gatewayByte = in.Byte();
    const uint8_t filesByte = in.Byte();
    const bool fromRead = filesByte & 4;
    if (fromRead) gatewayByte = uint8_t((gatewayByte & ~3) | 1);  // a gateway with firmware 2.01

    for (const QString& f : QDir(w.folder).entryList(QDir::Files)) QFile::remove(w.folder + f);
    std::vector<TFirmwareFile> files;
    w.ui.files.clear();
    w.ui.asked.clear();
    for (int i = 0; i < (filesByte & 3) % 3; ++i) {
        files.push_back(MakeFirmware(in));
        const QString path = w.folder + QString("Korvanext%1.Bin").arg(i);
        if (!FuzzWriteFile(path, files.back().bytes)) FuzzFail("cannot write a firmware file");
        w.ui.files << path;
    }

    TGatewaySession s(w, in, header, gatewayByte);
    s.Connect();
    s.gateway.NewOperation();
    const TValuesDigest before = DigestValues(Parameters());
    const bool done = fromRead ? s.ops.ReadFromGateway() : s.ops.UpgradeFirmware();
    // An upgrade leaves the values alone; a read takes only values as their types store them.
    if (!fromRead) FUZZ_CHECK(DigestValues(Parameters()) == before);
    else FUZZ_CHECK(Normalised(Parameters()));
    // A read goes on after the upgrade, and may fail after it went through.
    CheckFirmware(s.gateway, w.ui, files, done && !fromRead);
    s.CheckHeap();
    if (g_FuzzTrace)
        std::fprintf(stderr, "upgrade: done %d, outcome %d (link %d), clean %d\n", done, int(s.ops.Outcome),
                     int(s.ops.LinkCode), s.gateway.clean);
    return 0;
}
