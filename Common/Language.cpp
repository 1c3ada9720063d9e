#include "Language.h"

#include "Commonutils.h"
#include "Profile.h"

#include <algorithm>

static const char* const kSource = "Common/Language";
static const int kMaxValue = 4999;

CLanguage::CLanguage() = default;

CLanguage::~CLanguage() = default;

QString CLanguage::Unescape(const std::string& raw)
{
    std::string value = raw;
    if (int(value.size()) > kMaxValue) {
        ReportCheck(kSource, "strlen(value)<5000");
        value.resize(size_t(kMaxValue));
    }
    std::string out;
    out.reserve(value.size());
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\') {
            out += value[i];
            continue;
        }
        if (++i >= value.size()) break;
        const char c = value[i];
        out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return QString::fromUtf8(out.data(), int(out.size()));
}

bool CLanguage::Init(const QString& folder)
{
    CIniFile index;
    TFileStatus status;
    bool read = index.Load(folder + "L_Init.ini", &status);
    m_LangNum = std::max(0, index.ReadInteger("Settings", "NumberOfLang", 0));
    m_WordCount = std::max(0, index.ReadInteger("Settings", "NumberOfWords", 0));
    m_Problem.clear();
    const QString where = QString("No language could be loaded from '%1': ").arg(folder);
    if (!read) {
        m_Problem = where + "L_Init.ini: " + status.Reason;
    } else if (m_WordCount > MaxWords || m_LangNum > MaxLanguages) {
        // A damaged index must not make the program allocate without bound.
        m_Problem = where + QString("L_Init.ini declares %1 words and %2 languages, at most %3 and %4 are used")
                                .arg(m_WordCount)
                                .arg(m_LangNum)
                                .arg(MaxWords)
                                .arg(MaxLanguages);
        m_LangNum = m_WordCount = 0;
        read = false;
    } else if (m_LangNum == 0) {
        m_Problem = where + "L_Init.ini lists no language";
    }
    if (!m_Problem.isEmpty()) qWarning("%s", qPrintable(m_Problem));
    m_Languages.clear();
    m_Words.assign(size_t(m_WordCount), TLangItem{});
    m_Loaded = -1;
    for (int i = 0; i < m_LangNum; ++i) {
        const std::string section = "Lang" + std::to_string(i);
        TLanguage l;
        l.File = folder + Unescape(index.ReadString(section, "File", "None.ini"));
        l.Name = Unescape(index.ReadString(section, "Name", "Undefined"));
        l.Id = Unescape(index.ReadString(section, "Id", "None"));
        m_Languages.push_back(std::move(l));
    }
    return read;
}

bool CLanguage::LoadLanguage(int lang)
{
    if (m_LangNum < 0 || lang < 0 || lang >= m_LangNum) {
        ReportCheck(kSource, "lang>=0 && lang<m_LangNum");
        return false;
    }
    if (OnChosen) OnChosen(lang);
    CIniFile file;
    TFileStatus status;
    const bool read = file.Load(m_Languages[size_t(lang)].File, &status);
    m_Problem =
        read ? QString()
             : QString("No language could be loaded from '%1': %2").arg(m_Languages[size_t(lang)].File, status.Reason);
    if (!read) qWarning("%s", qPrintable(m_Problem));
    for (int n = 0; n < m_WordCount; ++n) {
        TLangItem& w = m_Words[size_t(n)];
        const std::string key = "S" + std::to_string(n);
        w.text = Unescape(file.ReadString("Main", key, key));
        w.hint = Unescape(file.ReadString("Main", key + "H", key + "H"));
        w.items.clear();
        for (int j = 0;; ++j) {
            const std::string itemKey = key + "_" + std::to_string(j);
            if (!file.KeyExists("Main", itemKey)) break;
            w.items.append(Unescape(file.ReadString("Main", itemKey, "")));
        }
    }
    m_Loaded = lang;
    return read;
}

bool CLanguage::CheckId(int id) const
{
    if (m_LangNum == -1) {
        ReportCheck(kSource, "m_LangNum!=-1");
        return false;
    }
    if (id < 0 || id >= m_WordCount) {
        ReportCheck(kSource, "m_WordCount>id");
        return false;
    }
    return true;
}

QString CLanguage::Text(int id) const { return CheckId(id) ? m_Words[size_t(id)].text : QString("S%1").arg(id); }

QString CLanguage::Hint(int id) const { return CheckId(id) ? m_Words[size_t(id)].hint : QString("S%1H").arg(id); }

QString CLanguage::Item(int id, int index) const
{
    if (CheckId(id) && index >= 0 && index < m_Words[size_t(id)].items.size()) return m_Words[size_t(id)].items[index];
    return QString("S%1_%2").arg(id).arg(index);
}

int CLanguage::ItemCount(int id) const { return CheckId(id) ? int(m_Words[size_t(id)].items.size()) : 0; }

bool CLanguage::InitEnglish(const QString& folder)
{
    if (!Init(folder) || LanguageCount() == 0) return false;
    return LoadLanguage(std::max(0, FindLanguage("Eng")));
}

int CLanguage::FindLanguage(const QString& id) const
{
    for (size_t i = 0; i < m_Languages.size(); ++i)
        if (m_Languages[i].Id == id) return int(i);
    return -1;
}

QString CLanguage::LanguageName(int lang) const
{
    if (lang < 0 || lang >= int(m_Languages.size())) {
        ReportCheck(kSource, "lang>=0 && lang<m_LangNum");
        return {};
    }
    return m_Languages[size_t(lang)].Name;
}

QString FileStatusText(const CLanguage& l, const TFileStatus& status)
{
    switch (status.Kind) {
    case TFileStatus::Ok: return {};
    case TFileStatus::Missing: return l.Text(306);
    case TFileStatus::NoFolder: return l.Text(314);
    case TFileStatus::Permission: return l.Text(307);
    case TFileStatus::Folder: return l.Text(308);
    case TFileStatus::NotRegular: return l.Text(309);
    case TFileStatus::TooLarge: return l.Text(310);
    case TFileStatus::NotConfiguration: return l.Text(311);
    case TFileStatus::NoSpace: return l.Text(312);
    case TFileStatus::Exists: return l.Text(503);
    case TFileStatus::Failed: break;
    }
    return status.Reason;
}

QString UnknownKeysText(const CLanguage& l, int count, const std::vector<std::string>& firstNames)
{
    QStringList names;
    for (const std::string& n : firstNames) names << QString::fromLatin1(n.data(), qsizetype(n.size()));
    if (count > int(firstNames.size())) names << "...";
    return Substitute(l.Text(313), {QString::number(count), names.join(", ")});
}
