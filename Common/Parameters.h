// The parameter registry and the value types of the gateway's settings.
#pragma once
#include "Commonutils.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// ---------------------------------------------------------------- value types

class CParBasic {
public:
    virtual ~CParBasic() = default;
    virtual std::string Normalize(const std::string& text) const = 0;
    virtual int GetSize() const { return -1; }
    virtual void Encode(const std::string& /*text*/, uint8_t* /*place*/) const {}
    virtual std::string Decode(const uint8_t* /*place*/) const { return {}; }
    virtual const char* ClassName() const = 0;

    int m_Address = -1;
    int m_Stride = 0;
    std::string m_Default;
    bool m_InFile = true;
};

class CParInt : public CParBasic {
public:
    CParInt(int def, int min, int max, int step = 1);
    std::string Normalize(const std::string& text) const override;
    int GetSize() const override { return 4; }
    void Encode(const std::string& text, uint8_t* place) const override;
    std::string Decode(const uint8_t* place) const override;
    const char* ClassName() const override { return "CParInt"; }
    int Clamp(int v) const;

    int m_Max;
    int m_Min;
    int m_Step;
};

class CParWord : public CParInt {
public:
    using CParInt::CParInt;
    int GetSize() const override { return 2; }
    void Encode(const std::string& text, uint8_t* place) const override;
    std::string Decode(const uint8_t* place) const override;
    const char* ClassName() const override { return "CParWord"; }
};

class CParThreeDigits : public CParInt {
public:
    using CParInt::CParInt;
    int GetSize() const override { return 3; }
    void Encode(const std::string& text, uint8_t* place) const override;
    std::string Decode(const uint8_t* place) const override;
    const char* ClassName() const override { return "CParMorvek"; }  // the name `keys` prints
};

class CParMaskByte : public CParInt {
public:
    CParMaskByte(int def, int min, int max, int step, uint8_t mask);
    int GetSize() const override { return 1; }
    void Encode(const std::string& text, uint8_t* place) const override;
    std::string Decode(const uint8_t* place) const override;
    const char* ClassName() const override { return "CParMaskByte"; }

    uint8_t m_Mask;
    uint8_t m_Shift;
};

class CParNumberLength : public CParMaskByte {
public:
    using CParMaskByte::CParMaskByte;
    std::string Normalize(const std::string& text) const override;
    const char* ClassName() const override { return "CNumLngth"; }  // the name `keys` prints
};

class CFXODTMFLength : public CParMaskByte {
public:
    using CParMaskByte::CParMaskByte;
    void Encode(const std::string& text, uint8_t* place) const override;
    std::string Decode(const uint8_t* place) const override;
    const char* ClassName() const override { return "CFXODTMFLength"; }
};

class CFXODetConTone : public CParMaskByte {
public:
    using CParMaskByte::CParMaskByte;
    std::string Normalize(const std::string& text) const override;
    const char* ClassName() const override { return "CFXODetConTone"; }
};

class CFXODetPermTone : public CParMaskByte {
public:
    using CParMaskByte::CParMaskByte;
    std::string Normalize(const std::string& text) const override;
    const char* ClassName() const override { return "CFXODetPermTone"; }
};

class CParString : public CParBasic {
public:
    CParString(const std::string& def, int maxSize);
    std::string Normalize(const std::string& text) const override { return text; }
    const char* ClassName() const override { return "CParString"; }

    int m_MaxSize;
};

class CParPasString : public CParString {
public:
    using CParString::CParString;
    int GetSize() const override { return m_MaxSize / 2; }
    void Encode(const std::string& text, uint8_t* place) const override;
    std::string Decode(const uint8_t* place) const override;
    const char* ClassName() const override { return "CParPasString"; }
};

class CParPhoneString : public CParString {
public:
    using CParString::CParString;
    std::string Normalize(const std::string& text) const override;
    int GetSize() const override { return m_MaxSize / 2; }
    void Encode(const std::string& text, uint8_t* place) const override;
    std::string Decode(const uint8_t* place) const override;
    const char* ClassName() const override { return "CParPhoneString"; }

protected:
    std::string Filter(const std::string& text, const char* allowed, bool limit) const;
};

class CParPhoneNoPlus : public CParPhoneString {
public:
    using CParPhoneString::CParPhoneString;
    std::string Normalize(const std::string& text) const override;
    const char* ClassName() const override { return "CParPhoneNoPlus"; }
};

class CParPhoneQuest : public CParPhoneString {
public:
    using CParPhoneString::CParPhoneString;
    std::string Normalize(const std::string& text) const override;
    const char* ClassName() const override { return "CParPhoneQuest"; }
};

class CParPhoneCross : public CParPhoneString {
public:
    using CParPhoneString::CParPhoneString;
    std::string Normalize(const std::string& text) const override;
    const char* ClassName() const override { return "CParPhoneCross"; }
};

class CParStringNum : public CParPhoneString {
public:
    CParStringNum(const std::string& def, int maxSize, int minSize);
    std::string Normalize(const std::string& text) const override;
    const char* ClassName() const override { return "CParStringNum"; }

    int m_MinSize;
};

class CPIN : public CParStringNum {
public:
    using CParStringNum::CParStringNum;
    std::string Normalize(const std::string& text) const override;
    const char* ClassName() const override { return "CPIN"; }
};

// ---------------------------------------------------------------- registry

class CParameters {
public:
    struct TMultiPar {
        int Count = 1;
        std::unique_ptr<CParBasic> Par;
        std::vector<std::string> Values;
    };
    using TMap = std::map<std::string, TMultiPar>;  // std::string orders by unsigned bytes

    CParameters();
    ~CParameters();
    CParameters(const CParameters&) = delete;
    CParameters& operator=(const CParameters&) = delete;

    void Add(const std::string& key, std::unique_ptr<CParBasic> par, int count, int address, int stride);
    void SetValue(const std::string& key, int index, const std::string& text);
    std::string GetValue(const std::string& key, int index) const;
    void NormalizeValue(const std::string& key, std::string& text) const;
    void SetDefault(const std::string& key);
    void SetAllDefaults();
    void SetInFile(const std::string& key, bool flag);
    void ToImage(uint8_t* buffer, int size) const;
    void FromImage(const uint8_t* buffer);
    // Instances `from` to `to` of a setting that a file did not set; the load
    // left them at their defaults.
    struct TFileGap {
        std::string key;
        int from = 0;
        int to = 0;
        int count = 1;  // instances of the key
    };
    // What a file left out of the gateway's settings: keys and rows a complete
    // file has, and whether its last line breaks off.
    struct TFileGaps {
        std::vector<TFileGap> missing;  // in key order
        bool brokenLastLine = false;
        bool Empty() const { return missing.empty() && !brokenLastLine; }
    };
    // What a load found: why a file was refused, and the keys it did not know.
    struct TLoadReport {
        TFileStatus File;                       // Kind NotConfiguration: no line names a known key
        int Keys = 0;                           // lines that set a known key
        int UnknownCount = 0;                   // lines whose key is not a parameter
        std::vector<std::string> UnknownNames;  // the first MaxUnknownNames of them
        static constexpr int MaxUnknownNames = 5;
        TFileGaps Gaps;
    };

    // False when the file cannot be written; the previous file is then intact.
    bool SaveToFile(const std::string& path) const;
    bool SaveToFile(const std::string& path, TFileStatus& status) const;
    // False when the file cannot be read or holds no configuration; the
    // registry is then left as it was. Otherwise every key the file does not
    // set is at its default.
    bool LoadFromFile(const std::string& path);
    bool LoadFromFile(const std::string& path, TLoadReport& report);

    // The file format itself, for tools and tests that work in memory.
    std::string SaveToText() const;
    bool LoadFromText(const std::string& text, TLoadReport* report = nullptr);

    // Tells registries apart, also one made where an earlier one was freed
    // (what refers to a registry from outside checks it is still the same).
    uint64_t Identity() const { return m_Identity; }

    const TMap& Entries() const { return m_Map; }
    const TMultiPar* Find(const std::string& key) const;
    bool Has(const std::string& key) const { return Find(key) != nullptr; }
    int Count() const { return int(m_Map.size()); }
    int ValueCount() const;

    // Every value of every key, for restoring the registry after a failed operation.
    using TSnapshot = std::vector<std::vector<std::string>>;
    TSnapshot Snapshot() const;
    void Restore(const TSnapshot& snapshot);

private:
    TMultiPar* FindMutable(const std::string& key);
    bool CheckIndex(const TMultiPar* rc, int num) const;

    TMap m_Map;
    const uint64_t m_Identity;
};

// Escapes of the configuration file.
std::string EscapeFileValue(const std::string& value);
