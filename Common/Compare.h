// Comparison of two configurations, value by value, and the selective merge of
// chosen values into a gateway's own image.
#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

class CParameters;

// One value of one key: instance `index` of `key`.
struct TSettingRef {
    std::string key;
    int index = 0;
};

struct TDifference {
    std::string key;
    int index = 0;
    int count = 1;      // instances of the key: 120 for a routing column
    std::string mine;   // the value of the first configuration
    std::string other;  // the value of the second
};

struct TComparison {
    std::vector<TDifference> differences;  // in key order, then by instance
    int equal = 0;                         // values that are the same
    bool Same() const { return differences.empty(); }
};

// Compares the settings of the configuration: every key that files keep and the
// gateway's image holds. Identification values never count; the PIN and the
// service password only when named in `extraKeys`.
TComparison CompareConfigurations(const CParameters& mine, const CParameters& other,
                                  const std::set<std::string>& extraKeys = {});

// "KEY" for a single value, "KEY:ROW" (ROW counted from 1) for a routing column,
// as the command line names values.
std::string SettingName(const std::string& key, int index, int count);

// Puts the chosen values of `source` into a gateway image of 12288 bytes: each
// chosen field is written whole, every other bit keeps what the image held. The
// used-entry bit of a chosen routing number follows it. Checksums stay as they
// were; the caller seals the blocks. Unknown keys and instances are ignored.
void ApplyChosen(uint8_t* image, const CParameters& source, const std::vector<TSettingRef>& chosen);
