#include "Catalogue.h"

#include "Commonutils.h"
#include "Parameters.h"

#include <algorithm>
#include <string_view>
#include <vector>

using K = TParKind;

// key, type, address, stride, mask, min, max, step, maxSize, minSize, default
// clang-format off
const TCatalogueRow kCatalogue[] = {
    // FXS port
    {"FXSTypeDial",         K::MaskByte,    0,    0, 0x01, 0, 1, 1,   0, 0, "0"},
    {"FXSVolRec",           K::MaskByte,    33,   0, 0xFF, 0, 5, 1,   0, 0, "3"},
    {"FXSVolSend",          K::MaskByte,    32,   0, 0xFF, 0, 5, 1,   0, 0, "3"},
    {"FXSSigBeep",          K::MaskByte,    0,    0, 0x10, 0, 1, 1,   0, 0, "0"},
    {"FXSTimeDial",         K::MaskByte,    1,    0, 0xFF, 1, 255, 1, 0, 0, "5"},
    {"FXSToneAfter",        K::MaskByte,    12,   0, 0x40, 0, 1, 1,   0, 0, "0"},
    {"FXSNumAutDial",       K::Phone,       48,   0, 0, 0, 0, 0,      20, 0, ""},
    {"FXSTimeToAutDial",    K::MaskByte,    58,   0, 0xFF, 0, 255, 1, 0, 0, "0"},
    {"FXSHangMin",          K::MaskByte,    2,    0, 0xFF, 100, 25500, 100, 0, 0, "500"},
    {"FXSSigCall",          K::MaskByte,    3,    0, 0x10, 0, 1, 1,   0, 0, "0"},
    {"FXSSendClip",         K::MaskByte,    37,   0, 0x80, 0, 1, 1,   0, 0, "0"},
    {"FXSChangePlusTo",     K::PhoneNoPlus, 38,   0, 0, 0, 0, 0,      4, 0, ""},
    {"FXSFrekvTarImp",      K::MaskByte,    3,    0, 0x20, 0, 1, 1,   0, 0, "0"},
    {"FXSSigOfCall",        K::MaskByte,    3,    0, 0x03, 0, 3, 1,   0, 0, "0"},
    {"FXSAlertFrekv",       K::MaskByte,    36,   0, 0xFF, 25, 50, 1, 0, 0, "50"},
    {"FXSAlertCadency",     K::MaskByte,    37,   0, 0x03, 0, 3, 1,   0, 0, "0"},
    {"FXSAlertCadencyData", K::MaskByte,    37,   0, 0x30, 0, 3, 1,   0, 0, "0"},
    {"FXSDialToneF1",       K::Word,        4,    0, 0, 1, 3400, 1,   0, 0, "425"},
    {"FXSDialToneF2",       K::Word,        6,    0, 0, 1, 3400, 1,   0, 0, "425"},
    {"FXSDialToneCad",      K::MaskByte,    12,   0, 0x10, 0, 1, 1,   0, 0, "0"},
    {"FXSConToneF1",        K::Word,        8,    0, 0, 1, 3400, 1,   0, 0, "425"},
    {"FXSConToneF2",        K::Word,        10,   0, 0, 1, 3400, 1,   0, 0, "425"},
    {"FXSConToneCad",       K::MaskByte,    12,   0, 0x07, 0, 4, 1,   0, 0, "0"},
    {"FXSRBToneCad",        K::MaskByte,    17,   0, 0x04, 0, 4, 1,   0, 0, "0"},
    {"FXSRBToneF1",         K::Word,        13,   0, 0, 1, 3400, 1,   0, 0, "425"},
    {"FXSRBToneF2",         K::Word,        15,   0, 0, 1, 3400, 1,   0, 0, "425"},
    // FXO port
    {"FXOVolRec",           K::MaskByte,    35,   0, 0xFF, 0, 5, 1,   0, 0, "3"},
    {"FXOVolSend",          K::MaskByte,    34,   0, 0xFF, 0, 5, 1,   0, 0, "3"},
    {"FXOAlertCount",       K::MaskByte,    256,  0, 0xFF, 0, 255, 1, 0, 0, "1"},
    {"FXOTimeFor1Dial",     K::MaskByte,    257,  0, 0xFF, 1, 255, 1, 0, 0, "15"},
    {"FXOTimeForEDial",     K::MaskByte,    258,  0, 0xFF, 1, 255, 1, 0, 0, "5"},
    {"FXOSigEDialBeep",     K::MaskByte,    259,  0, 0x01, 0, 1, 1,   0, 0, "0"},
    {"FXODialType",         K::MaskByte,    259,  0, 0x10, 0, 1, 1,   0, 0, "0"},
    {"FXOMinTimeCancel",    K::MaskByte,    260,  0, 0xFF, 100, 25500, 100, 0, 0, "1500"},
    {"FXOMaxTimeDial",      K::MaskByte,    261,  0, 0xFF, 1, 255, 1, 0, 0, "15"},
    {"FXODTMFCode",         K::Phone,       263,  0, 0, 0, 0, 0,      4, 0, ""},
    {"FXODTMFLength",       K::DTMFLength,  262,  0, 0xFF, 100, 1500, 100, 0, 0, "100"},
    {"FXODetSigPrepol",     K::MaskByte,    272,  0, 0xFF, 0, 1, 1,   0, 0, "0"},
    {"FXODetConTone",       K::DetConTone,  273,  0, 0xFF, 0, 255, 1, 0, 0, "4"},
    {"FXODetPermTone",      K::DetPermTone, 274,  0, 0xFF, 0, 8925, 35, 0, 0, "2030"},
    {"FXODialToneCad",      K::MaskByte,    293,  0, 0x10, 0, 1, 1,   0, 0, "0"},
    {"FXODialToneF1",       K::Word,        289,  0, 0, 1, 3400, 1,   0, 0, "425"},
    {"FXODialToneF2",       K::Word,        291,  0, 0, 1, 3400, 1,   0, 0, "425"},
    {"FXORBToneCad",        K::MaskByte,    298,  0, 0x04, 0, 4, 1,   0, 0, "0"},
    {"FXORBToneF1",         K::Word,        294,  0, 0, 1, 3400, 1,   0, 0, "425"},
    {"FXORBToneF2",         K::Word,        296,  0, 0, 1, 3400, 1,   0, 0, "425"},
    {"FXONumAutDial",       K::Phone,       320,  0, 0, 0, 0, 0,      20, 0, ""},
    {"FXOTimeToAutDial",    K::MaskByte,    330,  0, 0xFF, 0, 255, 1, 0, 0, "0"},
    // FXS routing
    {"Veltran",             K::Phone,       158,  0, 0, 0, 0, 0,      8, 0, ""},
    {"FXSDefPermitted",     K::MaskByte,    112,  0, 0x80, 0, 1, 1,   0, 0, "0"},
    {"FXSDefDirection",     K::MaskByte,    112,  0, 0x30, 0, 3, 1,   0, 0, "0"},
    {"FXSDefNumLength",     K::NumberLength,    112,  0, 0x0F, 0, 15, 1,  0, 0, "0"},
    {"FXSDefNumEnd",        K::MaskByte,    112,  0, 0x40, 0, 1, 1,   0, 0, "0"},
    {"FXSDefRemove",        K::MaskByte,    113,  0, 0xFF, 0, 20, 1,  0, 0, "0"},
    {"FXSDefAdd",           K::Phone,       114,  0, 0, 0, 0, 0,      16, 0, ""},
    {"FXSDefExtraTar",      K::MaskByte,    122,  0, 0xFF, 0, 255, 1, 0, 0, "0"},
    {"FXSDefTarif",         K::MaskByte,    123,  0, 0xFF, 0, 255, 1, 0, 0, "0"},
    {"FXSDefCallTime",      K::MaskByte,    124,  0, 0xFF, 0, 255, 1, 0, 0, "0"},
    {"FXSNumBegin",         K::PhoneQuest,  4096, 24, 0, 0, 0, 0,     16, 0, ""},
    {"FXSPermitted",        K::MaskByte,    4104, 24, 0x80, 0, 1, 1,  0, 0, "0"},
    {"FXSDirection",        K::MaskByte,    4104, 24, 0x30, 0, 3, 1,  0, 0, "0"},
    {"FXSNumLength",        K::NumberLength,    4104, 24, 0x0F, 0, 15, 1, 0, 0, "0"},
    {"FXSNumEnd",           K::MaskByte,    4104, 24, 0x40, 0, 1, 1,  0, 0, "0"},
    {"FXSRemove",           K::MaskByte,    4105, 24, 0xFF, 0, 20, 1, 0, 0, "0"},
    {"FXSAdd",              K::Phone,       4106, 24, 0, 0, 0, 0,     16, 0, ""},
    {"FXSExtraTar",         K::MaskByte,    4114, 24, 0xFF, 0, 255, 1, 0, 0, "0"},
    {"FXSTarif",            K::MaskByte,    4115, 24, 0xFF, 0, 255, 1, 0, 0, "0"},
    {"FXSCallTime",         K::MaskByte,    4116, 24, 0xFF, 0, 255, 1, 0, 0, "0"},
    // FXO routing
    {"FXODirection",        K::MaskByte,    144,  0, 0x01, 0, 1, 1,   0, 0, "0"},
    {"FXOFollowMeNum",      K::Phone,       145,  0, 0, 0, 0, 0,      16, 0, ""},
    {"FXOAlertFMCount",     K::MaskByte,    153,  0, 0xFF, 0, 255, 1, 0, 0, "1"},
    {"FXOFMPassw",          K::Pin,         154,  0, 0, 0, 0, 0,      8, 0, ""},
    {"FXOHangUpCode",       K::Phone,       162,  0, 0, 0, 0, 0,      8, 0, ""},
    {"FXODefPermitted",     K::MaskByte,    176,  0, 0x80, 0, 1, 1,   0, 0, "0"},
    {"FXODefNumLength",     K::NumberLength,    176,  0, 0x0F, 0, 15, 1,  0, 0, "0"},
    {"FXODefNumEnd",        K::MaskByte,    176,  0, 0x40, 0, 1, 1,   0, 0, "0"},
    {"FXODefRemove",        K::MaskByte,    177,  0, 0xFF, 0, 20, 1,  0, 0, "0"},
    {"FXODefAdd",           K::Phone,       178,  0, 0, 0, 0, 0,      16, 0, ""},
    {"FXODefCallTime",      K::MaskByte,    186,  0, 0xFF, 0, 255, 1, 0, 0, "0"},
    {"FXONumBegin",         K::PhoneQuest,  6976, 22, 0, 0, 0, 0,     16, 0, ""},
    {"FXOPermitted",        K::MaskByte,    6984, 22, 0x80, 0, 1, 1,  0, 0, "0"},
    {"FXONumLength",        K::NumberLength,    6984, 22, 0x0F, 0, 15, 1, 0, 0, "0"},
    {"FXONumEnd",           K::MaskByte,    6984, 22, 0x40, 0, 1, 1,  0, 0, "0"},
    {"FXORemove",           K::MaskByte,    6985, 22, 0xFF, 0, 20, 1, 0, 0, "0"},
    {"FXOAdd",              K::Phone,       6986, 22, 0, 0, 0, 0,     16, 0, ""},
    {"FXOCallTime",         K::MaskByte,    6994, 22, 0xFF, 0, 255, 1, 0, 0, "0"},
    // GSM routing
    {"GSMDISATime",         K::MaskByte,    208,  0, 0xFF, 100, 25500, 100, 0, 0, "2000"},
    {"GSMDialFXOTime",      K::MaskByte,    209,  0, 0xFF, 100, 25500, 100, 0, 0, "1000"},
    {"GSMCallBackTime",     K::MaskByte,    210,  0, 0xFF, 0, 255, 1, 0, 0, "5"},
    {"GSMFaxTo",            K::MaskByte,    211,  0, 0x01, 0, 1, 1,   0, 0, "0"},
    {"GSMDataTo",           K::MaskByte,    211,  0, 0x02, 0, 1, 1,   0, 0, "0"},
    {"GSMDefDirection",     K::MaskByte,    240,  0, 0x07, 0, 4, 1,   0, 0, "0"},
    {"GSMDefDialNum",       K::PhoneNoPlus, 241,  0, 0, 0, 0, 0,      16, 0, ""},
    {"GSMDefCallTime",      K::MaskByte,    249,  0, 0xFF, 0, 255, 1, 0, 0, "0"},
    {"GSMNum",              K::Phone,       9616, 21, 0, 0, 0, 0,     16, 0, ""},
    {"GSMSubString",        K::MaskByte,    9624, 21, 0xF0, 0, 15, 1, 0, 0, "0"},
    {"GSMDirection",        K::MaskByte,    9624, 21, 0x07, 0, 4, 1,  0, 0, "0"},
    {"GSMDialNUm",          K::PhoneNoPlus, 9625, 21, 0, 0, 0, 0,     16, 0, ""},
    {"GSMCallTime",         K::MaskByte,    9633, 21, 0xFF, 0, 255, 1, 0, 0, "0"},
    // SMS input
    {"PhoneNumForSMS",      K::Phone,       512,  0, 0, 0, 0, 0,      16, 0, ""},
    {"SMSText",             K::PasString,   520,  0, 0, 0, 0, 0,      40, 0, ""},
    {"SendAfterMS",         K::MaskByte,    688,  0, 0xFF, 0, 25500, 100, 0, 0, "0"},
    {"TimeOfIdleS",         K::MaskByte,    689,  0, 0xFF, 0, 2550, 10, 0, 0, "0"},
    // GSM and SIM
    {"CLIRInk",             K::MaskByte,    768,  0, 0x03, 0, 2, 1,   0, 0, "0"},
    {"RoamPerm",            K::MaskByte,    768,  0, 0x80, 0, 1, 1,   0, 0, "0"},
    {"CallsCadence",        K::MaskByte,    784,  0, 0xFF, 0, 255, 1, 0, 0, "0"},
    {"CreditCode",          K::PhoneCross,  785,  0, 0, 0, 0, 0,      8, 0, ""},
    {"MinCredit",           K::ThreeDigits,      789,  0, 0, 0, 999, 1,    0, 0, "0"},
    {"CreditAnswer",        K::MaskByte,    792,  0, 0xFF, 0, 180, 1, 0, 0, "0"},
    {"CallHandOver",        K::MaskByte,    768,  0, 0x40, 0, 1, 1,   0, 0, "0"},
    {"GprsApn",             K::PasString,   824,  0, 0, 0, 0, 0,      40, 0, ""},
    // Service
    {"COMPerm",             K::MaskByte,    896,  0, 0x01, 0, 1, 1,   0, 0, "0"},
    {"SMSCandence",         K::MaskByte,    897,  0, 0xFF, 0, 255, 1, 0, 0, "0"},
    {"SMSNum",              K::Phone,       793,  0, 0, 0, 0, 0,      16, 0, ""},
    {"MaxDataTime",         K::MaskByte,    1008, 0, 0xFF, 0, 255, 1, 0, 0, "0"},
    {"ModemNum1",           K::Phone,       928,  0, 0, 0, 0, 0,      16, 0, ""},
    {"ModemNum2",           K::Phone,       944,  0, 0, 0, 0, 0,      16, 0, ""},
    {"ModemNum3",           K::Phone,       960,  0, 0, 0, 0, 0,      16, 0, ""},
    {"ModemNum4",           K::Phone,       976,  0, 0, 0, 0, 0,      16, 0, ""},
    {"ModemNum5",           K::Phone,       992,  0, 0, 0, 0, 0,      16, 0, ""},
    {"SubString1",          K::MaskByte,    943,  0, 0xFF, 0, 15, 1,  0, 0, "0"},
    {"SubString2",          K::MaskByte,    959,  0, 0xFF, 0, 15, 1,  0, 0, "0"},
    {"SubString3",          K::MaskByte,    975,  0, 0xFF, 0, 15, 1,  0, 0, "0"},
    {"SubString4",          K::MaskByte,    991,  0, 0xFF, 0, 15, 1,  0, 0, "0"},
    {"SubString5",          K::MaskByte,    1007, 0, 0xFF, 0, 15, 1,  0, 0, "0"},
    // Security
    {"PINVal",              K::Pin,         2042, 0, 0, 0, 0, 0,      8, 4, ""},
    {"ServisPassw",         K::StringNum,   2038, 0, 0, 0, 0, 0,      8, 4, "40729"},
    // Identification, read by commands of their own
    {"HWVer",               K::String,      -1,   0, 0, 0, 0, 0,      8, 0, ""},
    {"SWVer",               K::String,      -1,   0, 0, 0, 0, 0,      8, 0, ""},
    {"SerialNum",           K::String,      -1,   0, 0, 0, 0, 0,      24, 0, ""},
    {"OperLock",            K::String,      -1,   0, 0, 0, 0, 0,      24, 0, ""},
};
// clang-format on

const int kCatalogueSize = int(sizeof(kCatalogue) / sizeof(kCatalogue[0]));

static std::unique_ptr<CParBasic> MakeType(const TCatalogueRow& r)
{
    const int def = ParseNumber(r.def);
    const auto mask = uint8_t(r.mask);
    switch (r.kind) {
    case K::MaskByte: return std::make_unique<CParMaskByte>(def, r.min, r.max, r.step, mask);
    case K::NumberLength: return std::make_unique<CParNumberLength>(def, r.min, r.max, r.step, mask);
    case K::DTMFLength: return std::make_unique<CFXODTMFLength>(def, r.min, r.max, r.step, mask);
    case K::DetConTone: return std::make_unique<CFXODetConTone>(def, r.min, r.max, r.step, mask);
    case K::DetPermTone: return std::make_unique<CFXODetPermTone>(def, r.min, r.max, r.step, mask);
    case K::Word: return std::make_unique<CParWord>(def, r.min, r.max, r.step);
    case K::ThreeDigits: return std::make_unique<CParThreeDigits>(def, r.min, r.max, r.step);
    case K::String: return std::make_unique<CParString>(r.def, r.maxSize);
    case K::PasString: return std::make_unique<CParPasString>(r.def, r.maxSize);
    case K::Phone: return std::make_unique<CParPhoneString>(r.def, r.maxSize);
    case K::PhoneNoPlus: return std::make_unique<CParPhoneNoPlus>(r.def, r.maxSize);
    case K::PhoneQuest: return std::make_unique<CParPhoneQuest>(r.def, r.maxSize);
    case K::PhoneCross: return std::make_unique<CParPhoneCross>(r.def, r.maxSize);
    case K::StringNum: return std::make_unique<CParStringNum>(r.def, r.maxSize, r.minSize);
    case K::Pin: return std::make_unique<CPIN>(r.def, r.maxSize, r.minSize);
    }
    return nullptr;
}

// The rows in key order, the order the registry keeps: each is then added at
// its end, without a search (every operation builds a registry or two).
static const std::vector<const TCatalogueRow*>& RowsByKey()
{
    static const std::vector<const TCatalogueRow*> rows = [] {
        std::vector<const TCatalogueRow*> v;
        for (const TCatalogueRow& r : kCatalogue) v.push_back(&r);
        std::stable_sort(v.begin(), v.end(), [](const TCatalogueRow* a, const TCatalogueRow* b) {
            return std::string_view(a->key) < std::string_view(b->key);
        });
        return v;
    }();
    return rows;
}

void BuildCatalogue(CParameters& parameters)
{
    for (const TCatalogueRow* r : RowsByKey())
        parameters.Add(r->key, MakeType(*r), r->stride ? 120 : 1, r->address, r->stride);
    parameters.SetAllDefaults();
    parameters.SetInFile("PINVal", false);
    parameters.SetInFile("ServisPassw", false);
}

bool SecretSetting(const std::string& key) { return SecretFromOutside(key) || key == "FXOFMPassw"; }

bool SecretFromOutside(const std::string& key) { return key == "PINVal" || key == "ServisPassw"; }
