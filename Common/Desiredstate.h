// A desired state: only the settings that matter and the values they are to
// have, from YAML, JSON or a configuration file (.kvx). Every value is checked
// strictly when the file is read, before any gateway is touched.
#pragma once
#include "Compare.h"
#include "Strictvalues.h"

#include <QString>
#include <functional>
#include <string>
#include <vector>

class CParameters;

struct TDesiredSetting {
    std::string key;
    int index = 0;  // the row - 1; 0 for a setting without rows
    std::string value;
    int line = 0;  // where the file gives it (0: the format names no line)
};

struct TDesiredState {
    QString path;
    std::vector<TDesiredSetting> settings;  // in the file's order, each value once
    // Whether a setting of the routing tables (block 2) is named.
    bool NamesBlock2(const CParameters& catalogue) const;
    bool Names(const std::string& key) const;
};

// What the reader asks of the program: list items and which settings are secret.
struct TDesiredRules {
    std::function<TChoices(const std::string&)> choices;
    std::function<bool(const std::string&)> secret;         // never shown
    std::function<bool(const std::string&)> secretOutside;  // only from {env: NAME} or {file: PATH}
};

// Reads a desired state (.yaml/.yml or other: YAML, .json: JSON, .kvx: a
// configuration file). False with `error` ("FILE:LINE: reason") and `fileError`
// set when the file itself cannot be read (otherwise its content is wrong).
bool LoadDesiredState(const QString& path, const CParameters& catalogue, const TDesiredRules& rules,
                      TDesiredState& state, QString& error, bool& fileError);

// The configuration the gateway is to hold, from what it holds: the named values
// put in (merged), or also every other setting at its default (replaced). The
// PIN, the service password and the identification stay as held unless named.
void PlanTarget(const TDesiredState& state, bool replaced, const CParameters& held, CParameters& target);

// The values that differ from held to target, the PIN and password included.
std::vector<TDifference> PlannedChanges(const CParameters& held, const CParameters& target);

// One apply of a desired state to a gateway: what is asked and what it came to.
struct TApplyRun {
    bool replaced = false;   // settings the state does not name go to their defaults
    bool checkOnly = false;  // everything but the write
    // Filled in by the run.
    std::vector<TDifference> changes;     // mine: what the gateway held, other: what it is to hold
    bool block1 = false, block2 = false;  // the blocks that differ
    bool written = false;
    QString serial, firmware;
};
