// Firmware versions as the gateway and the firmware file state them.
#pragma once
#include <string>

// Orders two versions over their whole text: runs of digits by their value
// (3.20.9 before 3.20.10), everything else character by character. 0 only
// when both say the same version.
int CompareFirmwareVersions(const std::string& a, const std::string& b);
