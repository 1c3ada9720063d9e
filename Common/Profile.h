// Private-profile (INI) files: sections of "key=value" lines.
// Section and key names compare without regard to case; a value is trimmed of
// surrounding blanks and of one pair of enclosing quotes. Writing keeps every
// other line of the file byte for byte.
#pragma once
#include "Commonutils.h"

#include <QString>
#include <map>
#include <string>
#include <vector>

class CIniFile {
public:
    CIniFile() = default;
    explicit CIniFile(const QString& path) { Load(path); }

    // Largest INI file read (settings, language index, language files).
    static constexpr qint64 MaxSize = 4 << 20;

    // Reads the file; false when it cannot be read or is no regular file of
    // at most MaxSize bytes (the file is then empty).
    bool Load(const QString& path, TFileStatus* status = nullptr);
    void LoadFromBytes(const std::string& bytes);
    bool Save(const QString& path, TFileStatus* status = nullptr) const;
    std::string ToBytes() const;

    bool KeyExists(const std::string& section, const std::string& key) const;
    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);

private:
    struct TLine {
        std::string text;
        std::string section;  // lower-case section this line belongs to
        std::string key;      // lower-case key, empty when the line holds none
    };
    void Reindex();
    const TLine* Find(const std::string& section, const std::string& key) const;

    std::vector<TLine> m_Lines;
    std::map<std::pair<std::string, std::string>, size_t> m_Index;  // first occurrence wins
    std::map<std::string, size_t> m_LastLineOfSection;
    std::string m_LineEnd = "\n";
};
