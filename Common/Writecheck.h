// Before a write: what the gateway would hold that is not what the user sees.
// Values its image cannot keep (a text cut at its length, a list value with
// too few bits) and settings a partial file left at their defaults. The
// window, the selective write and the command line ask through this one check.
#pragma once
#include "Compare.h"
#include "Parameters.h"

#include <QString>
#include <functional>
#include <set>
#include <string>
#include <vector>

class CLanguage;

// The value the gateway holds after `value` went into its image and back.
std::string HeldValue(const CParBasic& par, const std::string& value);

// What the image keeps of values of this type, for a refusal: "at most 40
// characters", "only 0 and 1", "from 1 to 255".
QString HeldLimit(const CParBasic& par);

struct TWriteCheck {
    std::vector<TDifference> changed;            // mine: the value given, other: what the gateway would hold
    std::vector<CParameters::TFileGap> missing;  // left out by the file and still at their defaults
    bool brokenLastLine = false;
    bool Clean() const { return changed.empty() && missing.empty() && !brokenLastLine; }
};

// Checks every setting the image carries (`extraKeys`: also those files do not
// keep, as the PIN when it is written), or only the `chosen` values. `gaps` is
// what the file the configuration came from left out.
TWriteCheck CheckBeforeWrite(const CParameters& configuration, const CParameters::TFileGaps& gaps,
                             const std::vector<TSettingRef>* chosen = nullptr,
                             const std::set<std::string>& extraKeys = {});

// Stores what the gateway would hold for every number setting whose value its
// image cannot keep (a list value it has no bits for), so that a loaded file
// shows what a write will give. Returns the values it changed.
std::vector<TDifference> HoldNumbers(CParameters& configuration);

// How a message names a setting; without one, by its key. The window names
// settings by the captions its pages show them under.
using TSettingNamer = std::function<QString(const std::string& key)>;

// "KEY", "KEY:7" or "KEY:119-120", as the command line names values; with a
// namer "Caption", "Caption (7)" or "Caption (119-120)".
QString GapName(const CParameters::TFileGap& gap, const TSettingNamer& name = {});
// A value for a message: escaped as in files, long ones shortened.
QString ShownValue(const std::string& value);

// The check as message lines: what changes, what is missing, a broken last line.
// At most `maxItems` values and names are listed, then how many more.
QString WriteCheckText(const CLanguage& language, const TWriteCheck& check, int maxItems = 10);
// What a load changed with HoldNumbers and what the file left out, for its note.
QString LoadNoteText(const CLanguage& language, const std::vector<TDifference>& held,
                     const CParameters::TFileGaps& gaps, int maxItems = 10, const TSettingNamer& name = {});
