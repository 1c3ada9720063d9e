// Language tables: the installed languages and the texts of the loaded one.
// pages/Formtexts puts them on forms, by the text numbers controls carry in "Tag".
#pragma once
#include <QString>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

class CLanguage {
public:
    struct TLangItem {
        QString text;
        QString hint;
        QStringList items;
    };
    struct TLanguage {
        QString File;
        QString Name;
        QString Id;
    };

    CLanguage();
    ~CLanguage();
    CLanguage(const CLanguage&) = delete;
    CLanguage& operator=(const CLanguage&) = delete;

    // Most texts and languages an index may declare; the shipped index declares the
    // texts the program uses (NumberOfWords in L_Init.ini).
    static constexpr int MaxWords = 10000;
    static constexpr int MaxLanguages = 100;

    // Reads folder + "L_Init.ini"; false when the index cannot be read or
    // declares more words or languages than the program can use (then no
    // language is listed, and Problem() says why).
    bool Init(const QString& folder);
    // False when the index is out of range or the language file cannot be read
    // (the key names are then the texts).
    bool LoadLanguage(int lang);
    // Init, then English (or the first language listed): the texts of a program
    // without a language choice of its own. False when none could be loaded.
    bool InitEnglish(const QString& folder);
    // Told each language LoadLanguage takes, before its file is read (a menu ticks it).
    std::function<void(int)> OnChosen;

    QString Text(int id) const;
    QString Hint(int id) const;
    QString Item(int id, int index) const;
    int ItemCount(int id) const;
    int FindLanguage(const QString& id) const;
    QString LanguageName(int lang) const;

    int LanguageCount() const { return m_LangNum; }
    int WordCount() const { return m_WordCount; }
    int Loaded() const { return m_Loaded; }
    // Why no language could be loaded, naming the folder looked in; empty
    // while the last Init and LoadLanguage succeeded.
    QString Problem() const { return m_Problem; }
    const TLanguage& Language(int lang) const { return m_Languages[size_t(lang)]; }

    // Resolves the escapes of a language file value.
    static QString Unescape(const std::string& raw);

private:
    bool CheckId(int id) const;

    std::vector<TLanguage> m_Languages;
    std::vector<TLangItem> m_Words;
    int m_WordCount = 0;
    int m_LangNum = -1;
    int m_Loaded = -1;
    QString m_Problem;
};

struct TFileStatus;
// The message line for a file problem, in the loaded language.
QString FileStatusText(const CLanguage& language, const TFileStatus& status);
// The warning for keys a configuration file held that are no parameters.
QString UnknownKeysText(const CLanguage& language, int count, const std::vector<std::string>& firstNames);
