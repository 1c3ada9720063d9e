#include "Profile.h"

#include "Commonutils.h"

#include <algorithm>
#include <cctype>

static std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

static std::string Trim(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

bool CIniFile::Load(const QString& path, TFileStatus* status)
{
    QByteArray bytes;
    const bool read = ReadFileBounded(path, MaxSize, bytes, status);
    LoadFromBytes(bytes.toStdString());
    return read;
}

void CIniFile::LoadFromBytes(const std::string& bytes)
{
    m_Lines.clear();
    m_LineEnd = bytes.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    size_t pos = 0;
    // A UTF-8 byte order mark would otherwise become part of the first section
    // name; all of them go, or one left over would be dropped only by the next
    // load of what is saved, and that load would read another file.
    while (bytes.compare(pos, 3, "\xEF\xBB\xBF") == 0) pos += 3;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        m_Lines.push_back({line, {}, {}});
        pos = end + 1;
    }
    Reindex();
}

void CIniFile::Reindex()
{
    m_Index.clear();
    m_LastLineOfSection.clear();
    std::string section;
    bool inSection = false;
    for (size_t i = 0; i < m_Lines.size(); ++i) {
        TLine& l = m_Lines[i];
        const std::string t = Trim(l.text);
        l.key.clear();
        if (!t.empty() && t.front() == '[') {
            const size_t close = t.find(']');
            if (close != std::string::npos) {
                section = Lower(Trim(t.substr(1, close - 1)));
                inSection = true;
                l.section = section;
                m_LastLineOfSection[section] = i;
                continue;
            }
        }
        l.section = section;
        if (!inSection) continue;
        if (!t.empty()) m_LastLineOfSection[section] = i;
        const size_t eq = t.find('=');
        if (eq == std::string::npos || t[0] == ';') continue;
        l.key = Lower(Trim(t.substr(0, eq)));
        if (l.key.empty()) continue;
        m_Index.emplace(std::make_pair(section, l.key), i);
    }
}

const CIniFile::TLine* CIniFile::Find(const std::string& section, const std::string& key) const
{
    const auto it = m_Index.find({Lower(section), Lower(key)});
    return it == m_Index.end() ? nullptr : &m_Lines[it->second];
}

bool CIniFile::KeyExists(const std::string& section, const std::string& key) const
{
    return Find(section, key) != nullptr;
}

std::string CIniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const
{
    const TLine* l = Find(section, key);
    if (!l) return def;
    const size_t eq = l->text.find('=');
    std::string v = Trim(l->text.substr(eq + 1));
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

int CIniFile::ReadInteger(const std::string& section, const std::string& key, int def) const
{
    if (!Find(section, key)) return def;
    return ParseNumber(ReadString(section, key, ""));
}

void CIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string line = key + "=" + value;
    const auto it = m_Index.find({Lower(section), Lower(key)});
    if (it != m_Index.end()) {
        m_Lines[it->second].text = line;
        return;
    }
    const auto sec = m_LastLineOfSection.find(Lower(section));
    if (sec != m_LastLineOfSection.end()) {
        m_Lines.insert(m_Lines.begin() + long(sec->second) + 1, TLine{line, {}, {}});
    } else {
        if (!m_Lines.empty() && !Trim(m_Lines.back().text).empty()) m_Lines.push_back({"", {}, {}});
        m_Lines.push_back({"[" + section + "]", {}, {}});
        m_Lines.push_back({line, {}, {}});
    }
    Reindex();
}

void CIniFile::WriteInteger(const std::string& section, const std::string& key, int value)
{
    WriteString(section, key, std::to_string(value));
}

std::string CIniFile::ToBytes() const
{
    std::string out;
    for (const TLine& l : m_Lines) out += l.text + m_LineEnd;
    return out;
}

bool CIniFile::Save(const QString& path, TFileStatus* status) const
{
    const std::string bytes = ToBytes();
    return WriteFileAtomically(path, QByteArray(bytes.data(), qsizetype(bytes.size())), status);
}
