// Whether a value text is stored as given. Files and `set --yes` adjust a value
// to what its type can hold; a desired state and a plain `set` must not: a
// value the type would change is refused, with what the setting allows.
#pragma once
#include "Parameters.h"

#include <QString>
#include <string>
#include <vector>

// One item of a list setting: the stored value and the caption the page shows.
struct TChoice {
    int value = 0;
    QString caption;
};
using TChoices = std::vector<TChoice>;

// Empty when `text` is stored as given (and, for a list setting, is one of
// `choices`); otherwise the reason, naming the key, the value and what is allowed.
// A secret's value is never named: it shows as "(secret)".
QString StrictProblem(const std::string& name, const CParBasic& par, const std::string& text,
                      const TChoices& choices = {}, bool secret = false);

// What a setting allows, for messages and the schema: "from 0 to 5",
// "from 100 to 25500 in steps of 100", "0 (Pulse) or 1 (Tone)", "at most 16 digits and + * #".
QString AllowedText(const CParBasic& par, const TChoices& choices = {});

// The number types' limits, or null for a text type.
const CParInt* NumberTypeOf(const CParBasic& par);
// The characters besides digits a number text type keeps ("+*#"), or null for another type.
const char* PhoneExtras(const CParBasic& par);
