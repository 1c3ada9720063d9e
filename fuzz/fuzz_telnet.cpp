// The telnet receive path of a network serial port: whatever a server sends
// (negotiation, subnegotiations, 0xFF doubling, sequences cut across reads,
// floods, subnegotiations that never end) is taken in bounded memory, gives
// the same result however the reads cut it, and data sent escaped comes back
// byte for byte.
#include "Telnetcodec.h"
#include "fuzzsupport.h"

#include <string>

namespace {
struct TResult {
    std::string data, replies;
    unsigned acks[13] = {};
    uint32_t baud = 0;
    unsigned dropped = 0;
    bool ready = false, refused = false;
    bool operator==(const TResult& o) const
    {
        for (int i = 0; i < 13; ++i)
            if (acks[i] != o.acks[i]) return false;
        return data == o.data && baud == o.baud && dropped == o.dropped && ready == o.ready && refused == o.refused;
    }
};

// Decodes in reads of the given sizes (cycled), as the socket might deliver them.
TResult Decode(const std::string& line, const std::string& cuts, bool comPort)
{
    TTelnetCodec c(comPort);
    TResult r;
    r.replies = c.Start();
    size_t at = 0, k = 0;
    while (at < line.size()) {
        size_t n = cuts.empty() ? line.size() : size_t(uint8_t(cuts[k++ % cuts.size()])) + 1;
        n = std::min(n, line.size() - at);
        std::string out(n, '\0');
        const size_t d =
            c.Decode(reinterpret_cast<const uint8_t*>(line.data() + at), n, reinterpret_cast<uint8_t*>(out.data()));
        FUZZ_CHECK(d <= n);
        r.data.append(out, 0, d);
        const std::string replies = c.TakeReplies();
        FUZZ_CHECK(replies.size() <= TTelnetCodec::MaxReplies);
        r.replies += replies;
        at += n;
    }
    for (uint8_t i = 0; i < 13; ++i) r.acks[i] = c.Acks(i);
    r.baud = c.AckedBaud();
    r.dropped = c.Dropped();
    r.ready = c.Ready();
    r.refused = c.Refused();
    return r;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TFuzzInput in(data, size);
    const bool comPort = in.Byte() & 1;
    const std::string cuts = in.Text(16);
    const std::string line = in.Bytes(in.Left());

    const TResult whole = Decode(line, "", comPort);
    FUZZ_CHECK(whole.data.size() <= line.size());
    const TResult cut = Decode(line, cuts, comPort);
    FUZZ_CHECK(cut == whole);
    // Answers gather up to a bound between two sends; below it, cutting changes none.
    if (whole.replies.size() < TTelnetCodec::MaxReplies / 2) FUZZ_CHECK(cut.replies == whole.replies);

    // Data escaped for the line comes back unchanged and asks for nothing.
    std::string escaped;
    TTelnetCodec::Escape(reinterpret_cast<const uint8_t*>(line.data()), line.size(), escaped);
    TTelnetCodec fresh(comPort);
    std::string back(escaped.size(), '\0');
    back.resize(fresh.Decode(reinterpret_cast<const uint8_t*>(escaped.data()), escaped.size(),
                             reinterpret_cast<uint8_t*>(back.data())));
    FUZZ_CHECK(back == line);
    FUZZ_CHECK(fresh.TakeReplies().empty());
    return 0;
}
