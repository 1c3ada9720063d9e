// Replies of the gateway and of the GSM module: the parsers read only what arrived.
#include "Terminal.h"
#include "Monitorparse.h"

#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    int direction = 0;
    std::string number;
    (void)MonitorParse::FirstCall(reply, direction, number);
    for (const auto& f : MonitorParse::IdentFields(reply)) (void)MonitorParse::Clean(f);
    std::vector<char> buffer(reply.begin(), reply.end());
    buffer.push_back(0);
    static const char* const pairs[][2] = {{"\r\n", "\r\n"}, {"\"", "\""}, {"+CSQ:", ","}, {"+COPS:", "\r\n"}};
    for (const auto& p : pairs) {
        std::vector<char> copy = buffer;
        try {
            const std::string v = ExtractText(copy.data(), p[0], p[1]);
            if (v.size() > size) __builtin_trap();
        } catch (const CCOMTermExp&) {}
    }
    return 0;
}
