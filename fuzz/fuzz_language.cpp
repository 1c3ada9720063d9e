// The language tables: a fuzzed index and a fuzzed language file are read with
// Init and LoadLanguage, and every text, hint and list item is asked for,
// inside the tables and beyond them.
//
// Input: two bytes giving the index's length, the index, then the language
// file (every language of the index reads it).
#include "Language.h"
#include "Profile.h"
#include "fuzzsupport.h"

#include <QDir>
#include <QFile>

#include <string>

namespace {
// An index that declares more than this is left alone: the loader makes room
// for every word and language declared, which only slows the search down.
constexpr int kMaxWords = 1024;
constexpr int kMaxLanguages = 64;

// Language files named with a path of their own would be looked for outside
// the program's folder, among files that are not the target's.
bool InFolder(const std::string& name)
{
    return name.find("..") == std::string::npos && (name.empty() || name[0] != '/');
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    FuzzInitApp(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TFuzzInput in(data, size);
    const std::string index = in.Bytes(size_t(in.Word()));
    const std::string file = in.Bytes(in.Left());

    CIniFile look;
    look.LoadFromBytes(index);
    const int langs = look.ReadInteger("Settings", "NumberOfLang", 0);
    const int words = look.ReadInteger("Settings", "NumberOfWords", 0);
    if (langs > kMaxLanguages || words > kMaxWords) return 0;
    for (int i = 0; i < langs; ++i)
        if (!InFolder(look.ReadString("Lang" + std::to_string(i), "File", ""))) return 0;

    const QString folder = FuzzScratch() + "lang/";
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    FUZZ_CHECK(FuzzWriteFile(folder + "L_Init.ini", index));
    for (const char* name : {"A.ini", "B.ini"}) FUZZ_CHECK(FuzzWriteFile(folder + name, file));

    CLanguage l;
    l.Init(folder);
    FUZZ_CHECK(l.LanguageCount() >= 0 && l.LanguageCount() <= kMaxLanguages);
    FUZZ_CHECK(l.WordCount() >= 0 && l.WordCount() <= kMaxWords);
    for (int i = 0; i < l.LanguageCount(); ++i) {
        // The first language with an Id is the one found by it.
        const int found = l.FindLanguage(l.Language(i).Id);
        FUZZ_CHECK(found >= 0 && found <= i && l.Language(found).Id == l.Language(i).Id);
        (void)l.LanguageName(i);
    }
    CIniFile lang;
    lang.LoadFromBytes(file);
    for (int i = -1; i <= std::min(l.LanguageCount(), 2); ++i) {
        const bool valid = i >= 0 && i < l.LanguageCount();
        const bool loaded = l.LoadLanguage(i);
        if (!valid) FUZZ_CHECK(!loaded);
        for (int n = -1; n <= l.WordCount(); ++n) {
            const QString key = QString("S%1").arg(n);
            const QString text = l.Text(n), hint = l.Hint(n);
            const int items = l.ItemCount(n);
            FUZZ_CHECK(items >= 0);
            for (int j = 0; j <= items; ++j) (void)l.Item(n, j);
            // Past its list, an item is named by its key.
            FUZZ_CHECK(l.Item(n, items) == QString("S%1_%2").arg(n).arg(items));
            if (n < 0 || n >= l.WordCount()) {
                // Outside the tables a text is its key.
                FUZZ_CHECK(text == key && hint == key + "H" && items == 0);
            } else if (valid && l.Loaded() == i &&
                       (l.Language(i).File == folder + "A.ini" || l.Language(i).File == folder + "B.ini") &&
                       !lang.KeyExists("Main", key.toStdString())) {
                // A text the file does not hold is its key.
                FUZZ_CHECK(text == key);
            }
        }
    }
    (void)CLanguage::Unescape(file);
    return 0;
}
