// Every setting of the gateway: key, value type, place in the image, limits, default.
#pragma once
#include <string>

class CParameters;

enum class TParKind {
    MaskByte,
    NumberLength,
    DTMFLength,
    DetConTone,
    DetPermTone,
    Word,
    ThreeDigits,
    String,
    PasString,
    Phone,
    PhoneNoPlus,
    PhoneQuest,
    PhoneCross,
    StringNum,
    Pin
};

struct TCatalogueRow {
    const char* key;
    TParKind kind;
    int address;  // -1: not in the image
    int stride;   // 0: one instance; otherwise 120 instances this far apart
    int mask;     // mask bytes: the bits of the field
    int min, max, step;
    int maxSize, minSize;  // text types
    const char* def;
};

extern const TCatalogueRow kCatalogue[];
extern const int kCatalogueSize;

// Registers every key, sets all defaults and takes PIN and service password out of files.
void BuildCatalogue(CParameters& parameters);

// Settings whose values no output shows: the PIN, the service password and the
// quick follow-me password (the sheet, schema, apply's diff and JSON).
bool SecretSetting(const std::string& key);
// Of those, the ones that never leave the gateway in a file: a desired state
// takes them only from an environment variable or a file it names.
bool SecretFromOutside(const std::string& key);
