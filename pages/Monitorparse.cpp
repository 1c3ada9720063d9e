#include "Monitorparse.h"

#include "Commonutils.h"

#include <algorithm>

static const size_t kMaxValue = 64;

std::string MonitorParse::Clean(const std::string& value)
{
    if (value.size() > kMaxValue) return {};
    for (const char c : value)
        if (static_cast<unsigned char>(c) < 32) return {};
    return value;
}

bool MonitorParse::FirstCall(const std::string& reply, int& direction, std::string& number)
{
    const std::string copy = reply.substr(0, std::min<size_t>(reply.size(), 1000));
    size_t p = copy.find("+CLCC:");
    if (p == std::string::npos) return false;
    p = copy.find(',', p);
    if (p == std::string::npos) return false;
    ++p;
    while (p < copy.size() && copy[p] == ' ') ++p;
    if (p >= copy.size()) return false;
    direction = ParseNumber(copy.substr(p, 12));
    const size_t open = copy.find('"', p);
    if (open == std::string::npos) return false;
    const size_t close = copy.find('"', open + 1);
    if (close == std::string::npos) return false;
    number = Clean(copy.substr(open + 1, close - open - 1));
    return true;
}

std::vector<std::string> MonitorParse::IdentFields(const std::string& record)
{
    std::vector<std::string> fields;
    size_t p = record.find('"');
    if (p == std::string::npos) return fields;
    ++p;
    for (;;) {
        const size_t semi = record.find(';', p);
        if (semi == std::string::npos) {
            // The last field ends at the closing quote, if there is one.
            const size_t quote = record.find('"', p);
            if (quote != std::string::npos) fields.push_back(record.substr(p, quote - p));
            break;
        }
        fields.push_back(record.substr(p, semi - p));
        p = semi + 1;
    }
    for (std::string& f : fields) f = Clean(f);
    return fields;
}
