#include "Parameters.h"

#include "Commonutils.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <atomic>
#include <algorithm>
#include <cstring>
#include <iterator>

static const char* const kSource = "Common/Parameters";

// ---------------------------------------------------------------- numbers

CParInt::CParInt(int def, int min, int max, int step) : m_Max(max), m_Min(min), m_Step(step)
{
    m_Default = NumberText(def);
}

int CParInt::Clamp(int v) const
{
    long long x = std::min<long long>(std::max<long long>(v, m_Min), m_Max);
    if (m_Step != 0) x = ((x - m_Min) / m_Step) * m_Step + m_Min;
    return int(x);
}

std::string CParInt::Normalize(const std::string& text) const { return NumberText(Clamp(ParseNumber(text))); }

void CParInt::Encode(const std::string& text, uint8_t* place) const
{
    const uint32_t v = uint32_t(ParseNumber(text));
    for (int i = 0; i < 4; ++i) place[i] = uint8_t(v >> (8 * i));
}

std::string CParInt::Decode(const uint8_t* place) const
{
    const uint32_t v =
        uint32_t(place[0]) | uint32_t(place[1]) << 8 | uint32_t(place[2]) << 16 | uint32_t(place[3]) << 24;
    return NumberText(int32_t(v));
}

void CParWord::Encode(const std::string& text, uint8_t* place) const
{
    const uint32_t v = uint32_t(ParseNumber(text));
    place[0] = uint8_t(v);
    place[1] = uint8_t(v >> 8);
}

std::string CParWord::Decode(const uint8_t* place) const
{
    return NumberText(int16_t(uint16_t(place[0] | place[1] << 8)));
}

void CParThreeDigits::Encode(const std::string& text, uint8_t* place) const
{
    place[0] = place[1] = place[2] = 0;
    const size_t n = std::clamp<size_t>(text.size(), 1, 3);
    for (size_t i = 0; i < n; ++i) place[3 - n + i] = i < text.size() ? uint8_t(text[i]) : 0;
}

std::string CParThreeDigits::Decode(const uint8_t* place) const
{
    int v = place[2] - 48;
    if (place[1] != 0) v += 10 * (place[1] - 48);
    if (place[0] != 0) v += 100 * (place[0] - 48);
    return NumberText(v);
}

CParMaskByte::CParMaskByte(int def, int min, int max, int step, uint8_t mask)
    : CParInt(def, min, max, step == 0 ? 1 : step), m_Mask(mask), m_Shift(0)
{
    while (m_Shift < 8 && !(m_Mask & (1u << m_Shift))) ++m_Shift;
}

void CParMaskByte::Encode(const std::string& text, uint8_t* place) const
{
    const uint32_t q = uint32_t(ParseNumber(text) / m_Step);
    const uint8_t f = uint8_t((q << m_Shift) & 0xFF) & m_Mask;
    *place = uint8_t((*place & ~m_Mask) | f);
}

std::string CParMaskByte::Decode(const uint8_t* place) const
{
    return NumberText(((*place & m_Mask) >> m_Shift) * m_Step);
}

std::string CParNumberLength::Normalize(const std::string& text) const
{
    const int v = Clamp(ParseNumber(text));
    return NumberText(v == 1 || v == 2 ? 3 : v);
}

void CFXODTMFLength::Encode(const std::string& text, uint8_t* place) const
{
    CParMaskByte::Encode(text, place);
    *place = uint8_t(*place - 1);
}

std::string CFXODTMFLength::Decode(const uint8_t* place) const
{
    uint8_t b = *place;
    if (b != 255) ++b;
    return CParMaskByte::Decode(&b);
}

std::string CFXODetConTone::Normalize(const std::string& text) const
{
    const int v = Clamp(ParseNumber(text));
    return NumberText(v == 1 ? 2 : v);
}

std::string CFXODetPermTone::Normalize(const std::string& text) const
{
    const int v = Clamp(ParseNumber(text));
    return NumberText(v != 0 && v < 1610 ? 1610 : v);
}

// ---------------------------------------------------------------- texts

CParString::CParString(const std::string& def, int maxSize) : m_MaxSize(maxSize) { m_Default = def; }

void CParPasString::Encode(const std::string& text, uint8_t* place) const
{
    const size_t n = std::min<size_t>(text.size(), size_t(m_MaxSize));
    place[0] = uint8_t(n);
    std::copy(text.begin(), text.begin() + long(n), place + 1);
}

std::string CParPasString::Decode(const uint8_t* place) const
{
    const int n = std::min<int>(place[0], m_MaxSize);
    return std::string(reinterpret_cast<const char*>(place + 1), size_t(n));
}

std::string CParPhoneString::Filter(const std::string& text, const char* allowed, bool limit) const
{
    std::string out;
    for (const char c : text) {
        if (limit && int(out.size()) >= m_MaxSize) break;
        if ((c >= '0' && c <= '9') || (c != 0 && std::strchr(allowed, c))) out += c;
    }
    return out;
}

std::string CParPhoneString::Normalize(const std::string& text) const { return Filter(text, "+*#", true); }
std::string CParPhoneNoPlus::Normalize(const std::string& text) const { return Filter(text, "*#", true); }
std::string CParPhoneQuest::Normalize(const std::string& text) const { return Filter(text, "*#?", true); }

std::string CParPhoneCross::Normalize(const std::string& text) const
{
    std::string v = CParPhoneString::Normalize(text);
    if (!v.empty() && v.back() != '#') v += '#';
    return v;
}

CParStringNum::CParStringNum(const std::string& def, int maxSize, int minSize)
    : CParPhoneString(def, maxSize), m_MinSize(minSize)
{}

std::string CParStringNum::Normalize(const std::string& text) const
{
    std::string v = Filter(text, "", false);
    while (int(v.size()) < m_MinSize) v += char('0' + (v.size() + 1) % 10);
    return v;
}

std::string CPIN::Normalize(const std::string& text) const
{
    return text.empty() ? std::string() : CParStringNum::Normalize(text);
}

static int NibbleCode(char c)
{
    if (c >= '1' && c <= '9') return c - '0';
    switch (c) {
    case '0': return 10;
    case '*': return 11;
    case '#': return 12;
    case '+': return 13;
    case '?': return 14;
    default: return -1;
    }
}

void CParPhoneString::Encode(const std::string& text, uint8_t* place) const
{
    const int k = std::min<int>(int(text.size()) + 1, m_MaxSize);
    for (int j = 0; j < k; ++j) {
        int code = 0;
        if (j < int(text.size())) {
            code = NibbleCode(text[size_t(j)]);
            if (code < 0) {
                // Stored values are normalised, so this is a caller's fault: end the number here.
                ReportCheck(kSource, "s[i]>='1' && s[i]<='9'");
                code = 0;
            }
        }
        uint8_t& b = place[j / 2];
        b = (j % 2 == 0) ? uint8_t((b & 0x0F) | code << 4) : uint8_t((b & 0xF0) | code);
        if (code == 0) break;
    }
}

std::string CParPhoneString::Decode(const uint8_t* place) const
{
    static const char kChars[] =
        "\0"
        "123456789"
        "0*#+?";
    std::string out;
    for (int j = 0; j < m_MaxSize; ++j) {
        const uint8_t b = place[j / 2];
        const int code = (j % 2 == 0) ? b >> 4 : b & 0x0F;
        if (code == 0 || code == 15) break;
        out += kChars[code];
    }
    return out;
}

// ---------------------------------------------------------------- registry

static uint64_t NextIdentity()
{
    static std::atomic<uint64_t> last{0};
    return ++last;
}

CParameters::CParameters() : m_Identity(NextIdentity()) {}
CParameters::~CParameters() = default;

void CParameters::Add(const std::string& key, std::unique_ptr<CParBasic> par, int count, int address, int stride)
{
    if (!par) return;
    // Keys added in order (the catalogue's) go at the end, found with one comparison.
    auto at = m_Map.end();
    if (!m_Map.empty() && !(std::prev(at)->first < key)) {
        at = m_Map.lower_bound(key);
        if (at != m_Map.end() && at->first == key) return;
    }
    par->m_Address = address;
    par->m_Stride = stride;
    TMultiPar entry;
    entry.Count = std::max(count, 1);
    entry.Par = std::move(par);
    entry.Values.resize(size_t(entry.Count));
    m_Map.emplace_hint(at, key, std::move(entry));
}

const CParameters::TMultiPar* CParameters::Find(const std::string& key) const
{
    const auto it = m_Map.find(key);
    return it == m_Map.end() ? nullptr : &it->second;
}

CParameters::TMultiPar* CParameters::FindMutable(const std::string& key)
{
    const auto it = m_Map.find(key);
    return it == m_Map.end() ? nullptr : &it->second;
}

bool CParameters::CheckIndex(const TMultiPar* rc, int num) const
{
    if (num >= 0 && num < rc->Count) return true;
    ReportCheck(kSource, "num>=0 && num<rc->Count");
    return false;
}

void CParameters::SetValue(const std::string& key, int index, const std::string& text)
{
    TMultiPar* rc = FindMutable(key);
    if (!rc || !CheckIndex(rc, index)) return;
    rc->Values[size_t(index)] = rc->Par->Normalize(text);
}

std::string CParameters::GetValue(const std::string& key, int index) const
{
    const TMultiPar* rc = Find(key);
    if (!rc || !CheckIndex(rc, index)) return {};
    return rc->Values[size_t(index)];
}

void CParameters::NormalizeValue(const std::string& key, std::string& text) const
{
    if (const TMultiPar* rc = Find(key)) text = rc->Par->Normalize(text);
}

void CParameters::SetDefault(const std::string& key)
{
    if (TMultiPar* rc = FindMutable(key)) std::fill(rc->Values.begin(), rc->Values.end(), rc->Par->m_Default);
}

void CParameters::SetAllDefaults()
{
    for (auto& [key, rc] : m_Map) std::fill(rc.Values.begin(), rc.Values.end(), rc.Par->m_Default);
}

void CParameters::SetInFile(const std::string& key, bool flag)
{
    if (TMultiPar* rc = FindMutable(key)) rc->Par->m_InFile = flag;
}

int CParameters::ValueCount() const
{
    int n = 0;
    for (const auto& [key, rc] : m_Map) n += rc.Count;
    return n;
}

// A field lies inside the image when all its bytes do; the catalogue guarantees
// it, the check keeps a short buffer safe.
static bool FieldFits(const CParBasic& par, int offset, int size)
{
    const int bytes = std::max(par.GetSize(), 1);
    return offset >= 0 && offset + bytes <= size;
}

void CParameters::ToImage(uint8_t* buffer, int size) const
{
    std::fill(buffer, buffer + size, uint8_t(0));
    for (const auto& [key, rc] : m_Map) {
        if (rc.Par->m_Address == -1) continue;
        for (int i = 0; i < rc.Count; ++i) {
            const int offset = rc.Par->m_Address + i * rc.Par->m_Stride;
            if (FieldFits(*rc.Par, offset, size)) rc.Par->Encode(rc.Values[size_t(i)], buffer + offset);
        }
    }
}

void CParameters::FromImage(const uint8_t* buffer)
{
    for (auto& [key, rc] : m_Map) {
        if (rc.Par->m_Address == -1) continue;
        for (int i = 0; i < rc.Count; ++i) {
            const int offset = rc.Par->m_Address + i * rc.Par->m_Stride;
            if (!FieldFits(*rc.Par, offset, 0x3000)) continue;
            rc.Values[size_t(i)] = rc.Par->Normalize(rc.Par->Decode(buffer + offset));
        }
    }
}

CParameters::TSnapshot CParameters::Snapshot() const
{
    TSnapshot s;
    s.reserve(m_Map.size());
    for (const auto& [key, rc] : m_Map) s.push_back(rc.Values);
    return s;
}

void CParameters::Restore(const TSnapshot& snapshot)
{
    if (snapshot.size() != m_Map.size()) return;
    size_t i = 0;
    for (auto& [key, rc] : m_Map) rc.Values = snapshot[i++];
}

// ---------------------------------------------------------------- configuration file

std::string EscapeFileValue(const std::string& value)
{
    std::string out;
    out.reserve(value.size() + 8);
    for (const char ch : value) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 32 || c == '"') {
            // A quote would end the value on reading; its code is written like a control character.
            out += "\\x";
            out += char('0' + c / 10);
            out += char('0' + c % 10);
        } else {
            out += ch;
        }
    }
    return out;
}

std::string CParameters::SaveToText() const
{
    std::string out;
    for (const auto& [key, rc] : m_Map) {
        if (!rc.Par->m_InFile) continue;
        out += key;
        out += '=';
        for (int i = 0; i < rc.Count; ++i) {
            if (i) out += ',';
            out += '"';
            out += EscapeFileValue(rc.Values[size_t(i)]);
            out += '"';
        }
        out += '\n';
    }
    return out;
}

bool CParameters::SaveToFile(const std::string& path) const
{
    TFileStatus status;
    return SaveToFile(path, status);
}

bool CParameters::SaveToFile(const std::string& path, TFileStatus& status) const
{
    const std::string text = SaveToText();
    return WriteFileAtomically(QFile::decodeName(path.c_str()), QByteArray(text.data(), qsizetype(text.size())),
                               &status);
}

static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the quoted values of one line into the instances of its key and
// returns how many it stored. A value that does not end at its closing quote
// ends the line unstored.
static int ReadValues(const std::string& line, size_t p, CParameters::TMultiPar& rc)
{
    const size_t size = line.size();
    for (int i = 0; i < rc.Count; ++i) {
        p = line.find('"', p);
        if (p == std::string::npos) return i;
        ++p;
        std::string value;
        bool complete = false;
        while (p < size) {
            const char c = line[p];
            if (c == '"') {
                complete = true;
                break;
            }
            ++p;
            if (c != '\\') {
                value += c;
                continue;
            }
            if (p >= size) break;  // a backslash at the end of the line
            const char e = line[p++];
            if (e == '\\') {
                value += '\\';
            } else if (e == 'x') {
                if (p + 1 < size && IsDigit(line[p]) && IsDigit(line[p + 1])) {
                    value += char((line[p] - '0') * 10 + (line[p + 1] - '0'));
                    p += 2;
                    continue;
                }
                // The escape broke off at its first character that is no digit;
                // the value counts only when that character closes it.
                if (p < size && IsDigit(line[p])) ++p;
                complete = p < size && line[p] == '"';
                break;
            }
            // Any other escaped character is dropped.
        }
        if (!complete) return i;
        rc.Values[size_t(i)] = rc.Par->Normalize(value);
        p = line.find(',', p + 1);
        if (p == std::string::npos) return i + 1;
    }
    return rc.Count;
}

bool CParameters::LoadFromText(const std::string& text, TLoadReport* report)
{
    TLoadReport local;
    TLoadReport& r = report ? *report : local;
    r = {};
    // First the lines that set a known key: a text without any is no
    // configuration, and the registry stays as it was.
    std::vector<std::pair<TMultiPar*, std::string>> lines;
    // The last line, when no line end follows it: a file cut short breaks off there.
    const bool unended = !text.empty() && text.back() != '\n';
    enum { kWhole, kNoKey, kValues } last = kWhole;  // what the last line held
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        size_t len = end - pos;
        // Only a line end ends a line; a carriage return inside one is a character of it.
        if (len > 0 && text[pos + len - 1] == '\r') --len;
        std::string line = text.substr(pos, len);
        pos = end + 1;
        last = kWhole;
        if (line.empty()) continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) {
            last = kNoKey;
            continue;
        }
        const std::string key = line.substr(0, eq);
        TMultiPar* rc = FindMutable(key);
        if (!rc) {
            if (int(r.UnknownNames.size()) < TLoadReport::MaxUnknownNames) r.UnknownNames.push_back(key);
            ++r.UnknownCount;
            continue;
        }
        if (!rc->Par->m_InFile) continue;
        ++r.Keys;
        line.erase(0, eq + 1);
        lines.emplace_back(rc, std::move(line));
        last = kValues;
    }
    if (r.Keys == 0) {
        r.File = {TFileStatus::NotConfiguration, "no configuration keys found"};
        return false;
    }
    SetAllDefaults();
    // How many instances of each key the file set, for what it left out.
    std::map<const TMultiPar*, int> stored;
    int lastStored = 0;
    for (auto& [rc, values] : lines) {
        lastStored = ReadValues(values, 0, *rc);
        int& n = stored[rc];
        n = std::max(n, lastStored);
    }
    // A last line without its line end that names no key or sets fewer values
    // than its key has was cut, not written so.
    r.Gaps.brokenLastLine = unended && (last == kNoKey || (last == kValues && lastStored < lines.back().first->Count));
    for (const auto& [key, rc] : m_Map) {
        if (!rc.Par->m_InFile || rc.Par->m_Address == -1) continue;
        const auto it = stored.find(&rc);
        const int from = it == stored.end() ? 0 : it->second;
        if (from < rc.Count) r.Gaps.missing.push_back({key, from, rc.Count - 1, rc.Count});
    }
    return true;
}

bool CParameters::LoadFromFile(const std::string& path)
{
    TLoadReport report;
    return LoadFromFile(path, report);
}

bool CParameters::LoadFromFile(const std::string& path, TLoadReport& report)
{
    report = {};
    QByteArray bytes;
    if (!ReadFileBounded(QFile::decodeName(path.c_str()), kMaxConfigFileSize, bytes, &report.File)) return false;
    return LoadFromText(std::string(bytes.constData(), size_t(bytes.size())), &report);
}
