// Connect, read and write against a scripted gateway: the handshake, the
// identification strings, the modem call's "Z" record, the image blocks with
// their checksums and retries, the write's acknowledgements and read-back, and
// the gateway's own PIN and password kept in a write.
//
// Input: a header byte (see TGatewaySession), a byte of up to three operations
// (two bits each: read, write, read, read; the top two bits give the count),
// the gateway byte, the answers, the script.
#include "Imagelayout.h"
#include "Parameters.h"
#include "scriptgateway.h"

#include <cstring>

using namespace ImageLayout;

namespace {
TGatewayWorld* g_World = nullptr;
const char* const kIdentKeys[4] = {"HWVer", "SWVer", "SerialNum", "OperLock"};

void CheckRead(TGatewaySession& s, const TValuesDigest& before, bool done)
{
    CParameters& p = Parameters();
    const TScriptGateway& gw = s.gateway;
    if (!done) {
        // A read that fails keeps the configuration as it was (and so normalised).
        FUZZ_CHECK(DigestValues(p).image == before.image);
        FUZZ_CHECK(Normalised(p, true));
        return;
    }
    FUZZ_CHECK(Normalised(p));
    if (!gw.clean) return;
    // Success only after sound blocks came, and their values are taken.
    FUZZ_CHECK(!gw.rec.validBlock1.empty() && !gw.rec.validBlock2.empty());
    std::vector<uint8_t> img(ImageSize, 0);
    std::memcpy(img.data() + Block1Start, gw.rec.validBlock1.data(), Block1Size);
    std::memcpy(img.data() + Block2Start, gw.rec.validBlock2.data(), Block2Size);
    s.world.scratch->FromImage(img.data());
    FUZZ_CHECK(SameImageValues(p, *s.world.scratch));
    // The identification strings as the gateway gave them.
    const char* const letters = "BCDF";
    for (int k = 0; k < 4; ++k) {
        const auto r = gw.rec.lastReply.find(letters[k]);
        FUZZ_CHECK(r != gw.rec.lastReply.end());
        const std::string& a = r->second;
        // The text from position 1 up to its zero byte (one letter for "B", at most 99
        // characters for the others); a reply that ends before position 1 brings an
        // empty value, whatever the buffer held before.
        std::string v;
        if (a.size() >= 2) {
            const size_t end = std::min(a.find('\0', 1), a.size());
            v = a.substr(1, std::min<size_t>(end - 1, k == 0 ? 1 : 99));
        }
        FUZZ_CHECK(p.GetValue(kIdentKeys[k], 0) == p.Find(kIdentKeys[k])->Par->Normalize(v));
    }
}

void CheckWrite(TGatewaySession& s, const TValuesDigest& before, bool done)
{
    const TScriptGateway& gw = s.gateway;
    // A write never changes the configuration.
    FUZZ_CHECK(DigestValues(Parameters()) == before);
    if (!done || !gw.clean) return;
    // Success means both blocks were accepted, sound, and read back the same.
    FUZZ_CHECK(gw.rec.acked1 && gw.rec.acked2);
    FUZZ_CHECK(Block1Ok(gw.rec.written1) && Block2Ok(gw.rec.written2));
    FUZZ_CHECK(gw.rec.readBack1 == gw.rec.written1);
    FUZZ_CHECK(gw.rec.readBack2 == gw.rec.written2);
    // The gateway keeps its PIN and password unless they were changed here
    // (the configuration is as before the write, checked above).
    std::vector<uint8_t> mine(ImageSize, 0);
    Parameters().ToImage(mine.data(), ImageSize);
    const std::string& g = gw.rec.block1BeforeWrite;
    const std::string pin =
        s.ops.PinChanged ? ByteString(mine.data() + PinAddr, SecretSize) : g.substr(PinAddr, SecretSize);
    const std::string pass = s.ops.PasswordChanged ? ByteString(mine.data() + ServicePasswordAddr, SecretSize)
                                                   : g.substr(ServicePasswordAddr, SecretSize);
    FUZZ_CHECK(gw.rec.written1.compare(PinAddr, SecretSize, pin) == 0);
    FUZZ_CHECK(gw.rec.written1.compare(ServicePasswordAddr, SecretSize, pass) == 0);
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
    TFuzzInput in(data, size);
    const uint8_t header = in.Byte();
    const uint8_t operations = in.Byte();
    const uint8_t gatewayByte = in.Byte();
    // No firmware beside the program: an old gateway's upgrade stops at the file.
    g_World->ui.files.clear();
    TGatewaySession s(*g_World, in, header, gatewayByte);
    s.Connect();
    CParameters& p = Parameters();
    const int count = 1 + (operations >> 6) % 3;
    for (int i = 0; i < count; ++i) {
        s.gateway.NewOperation();
        const TValuesDigest before = DigestValues(p);
        const bool write = ((operations >> (2 * i)) & 3) == 1;
        if (write) {
            CheckWrite(s, before, s.ops.WriteToGateway());
        } else {
            CheckRead(s, before, s.ops.ReadFromGateway());
        }
        FUZZ_CHECK(s.ops.GatewayIdent.back() == 0);
        if (g_FuzzTrace) {
            std::fprintf(stderr, "%s: outcome %d (link %d), clean %d", write ? "write" : "read", int(s.ops.Outcome),
                         int(s.ops.LinkCode), s.gateway.clean);
            for (const char* key : kIdentKeys) std::fprintf(stderr, ", %s '%s'", key, p.GetValue(key, 0).c_str());
            std::fprintf(stderr, "\n");
        }
    }
    s.CheckHeap();
    return 0;
}
