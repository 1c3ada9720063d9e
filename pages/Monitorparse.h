// Reply parsing of the GSM monitor.
#pragma once
#include <string>
#include <vector>

// Reply parsing of the monitor, on what was received and nothing beyond it.
namespace MonitorParse {
// A value fit to show: printable, not over-long; otherwise empty.
std::string Clean(const std::string& value);
// The first call of an "AT+CLCC" reply: direction and number; false when there is none.
bool FirstCall(const std::string& reply, int& direction, std::string& number);
// Fields of a modem identification record ("...;...;..."), from the first double quote on.
std::vector<std::string> IdentFields(const std::string& record);
}  // namespace MonitorParse
