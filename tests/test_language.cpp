#include "Commonutils.h"
#include "Formtexts.h"
#include "Language.h"
#include "Profile.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>
#include <vector>

namespace {
void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

struct Language : ::testing::Test {
    void SetUp() override
    {
        folder = dir.path() + "/";
        WriteFile(folder + "L_Init.ini",
                  "[Settings]\r\nNumberOfLang=3\r\nNumberOfWords=100\r\n"
                  "[Lang0]\r\nFile=A.ini\r\nName=Alpha\r\nId=Aaa\r\n"
                  "[Lang1]\r\nFile=B.ini\r\nName=Beta\r\nId=Bbb\r\n"
                  "[Lang2]\r\nName=Missing file\r\n");
        WriteFile(folder + "A.ini",
                  "[Main]\nS0=Title A\nS5=First\\nSecond\nS6=back\\\\slash\\t!\nS40=Items\n"
                  "S40_0=zero\nS40_1=one\nS40_3=three\nS90=Group\nS12=Button\nS12H=Does a thing\n"
                  "S7=Tab A\n");
        WriteFile(folder + "B.ini", "[Main]\nS0=Title B\nS40_0=nula\nS40_1=jedna\nS40_2=dva\nS7=Tab B\n");
    }
    QTemporaryDir dir;
    QString folder;
    CLanguage lang;
};
}  // namespace

TEST_F(Language, IndexFilesAndLookups)
{
    QMenu menu;
    int picked = -1;
    ASSERT_TRUE(InitLanguages(lang, folder, &menu, [&](int i) { picked = i; }));
    EXPECT_EQ(lang.LanguageCount(), 3);
    EXPECT_EQ(lang.FindLanguage("Bbb"), 1);
    EXPECT_EQ(lang.FindLanguage("bbb"), -1);
    EXPECT_EQ(lang.LanguageName(2), "Missing file");
    EXPECT_EQ(lang.Language(2).Id, "None");
    ASSERT_EQ(menu.actions().size(), 3);
    menu.actions()[1]->trigger();
    EXPECT_EQ(picked, 1);

    ASSERT_TRUE(lang.LoadLanguage(0));
    EXPECT_TRUE(menu.actions()[0]->isChecked());
    EXPECT_EQ(lang.Text(5), "First\nSecond");
    EXPECT_EQ(lang.Text(6), "back\\slash\t!");
    EXPECT_EQ(lang.Text(8), "S8");
    EXPECT_EQ(lang.Hint(12), "Does a thing");
    EXPECT_EQ(lang.Hint(5), "S5H");
    EXPECT_EQ(lang.ItemCount(40), 2);  // S40_2 missing ends the list
    EXPECT_EQ(lang.Item(40, 1), "one");
    EXPECT_EQ(lang.Item(40, 3), "S40_3");
    // Consistency failures fall back to key names instead of stopping the program.
    EXPECT_EQ(lang.Text(100), "S100");
    EXPECT_FALSE(lang.LoadLanguage(7));
    EXPECT_FALSE(lang.LoadLanguage(2));  // missing file: key names
    EXPECT_EQ(lang.Text(0), "S0");
}

// A second reading of the index replaces the menu's language items and leaves the
// menu's other items alone; the tick follows whichever language is loaded.
TEST_F(Language, MenuItemsAreReplacedOnReadingAgainAndTickTheLoadedOne)
{
    QMenu menu;
    QAction* other = menu.addAction("Other");
    other->setCheckable(true);
    std::vector<int> picked;
    ASSERT_TRUE(InitLanguages(lang, folder, &menu, [&](int i) { picked.push_back(i); }));
    ASSERT_TRUE(InitLanguages(lang, folder, &menu, [&](int i) { picked.push_back(10 + i); }));
    const QList<QAction*> items = menu.actions();
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items[0], other);
    EXPECT_EQ(items[2]->text(), "Beta");
    items[2]->trigger();
    EXPECT_EQ(picked, std::vector<int>{11});

    ASSERT_TRUE(lang.LoadLanguage(1));
    EXPECT_FALSE(items[1]->isChecked());
    EXPECT_TRUE(items[2]->isChecked());
    EXPECT_FALSE(items[3]->isChecked());
    EXPECT_FALSE(other->isChecked());
    EXPECT_FALSE(lang.LoadLanguage(2));  // the file is missing, the choice still shows
    EXPECT_TRUE(items[3]->isChecked());
    EXPECT_FALSE(items[2]->isChecked());
}

TEST_F(Language, FormsTranslateByTagAndCombosKeepTheirValues)
{
    ASSERT_TRUE(lang.Init(folder));
    QWidget form;
    auto* label = new QLabel(&form);
    SetTag(label, 5);
    auto* group = new QGroupBox(&form);
    SetTag(group, 90);
    auto* button = new QPushButton(&form);
    SetTag(button, 12);
    auto* untagged = new QLabel("keep", &form);
    auto* combo = new QComboBox(group);
    combo->addItems({"0", "5", "10"});
    SetTag(combo, 40);
    auto* tabs = new QTabWidget(&form);
    auto* page = new QWidget;
    tabs->addTab(page, "design");
    SetTag(page, 7);

    lang.LoadLanguage(0);
    ApplyToForm(lang, &form);
    EXPECT_EQ(form.windowTitle(), "Title A");
    EXPECT_EQ(label->text(), "First\nSecond");
    EXPECT_EQ(group->title(), " Group ");
    EXPECT_EQ(button->text(), "Button");
    EXPECT_EQ(button->toolTip(), "Does a thing");
    EXPECT_EQ(untagged->text(), "keep");
    EXPECT_EQ(tabs->tabText(0), "Tab A");
    EXPECT_EQ(combo->itemText(0), "zero");
    EXPECT_EQ(combo->itemText(2), "S40_2");
    EXPECT_EQ(GetTag(combo), -40);

    for (int round = 0; round < 3; ++round) {
        lang.LoadLanguage(round % 2 ? 0 : 1);
        ApplyToForm(lang, &form);
    }
    EXPECT_EQ(combo->itemText(2), "dva");
    EXPECT_EQ(tabs->tabText(0), "Tab B");
    EXPECT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemData(0).toInt(), 0);
    EXPECT_EQ(combo->itemData(1).toInt(), 5);
    EXPECT_EQ(combo->itemData(2).toInt(), 10);
}

TEST_F(Language, NoIndexMeansNoLanguages)
{
    EXPECT_EQ(lang.Text(0), "S0");  // before Init
    EXPECT_FALSE(lang.Init(folder + "nowhere/"));
    EXPECT_EQ(lang.LanguageCount(), 0);
    EXPECT_FALSE(lang.LoadLanguage(0));
}

TEST(LanguageIniFile, ReadsLikeThePlatformAndWritesInPlace)
{
    CIniFile ini;
    ini.LoadFromBytes(
        "no section=ignored\r\n[Settings]\r\n  Com = \"Com3\" \r\nbroken line\r\n=novalue\r\n"
        "Left=12abc\r\nLeft=99\r\n[Other\r\nX=1\r\n[empty]\r\n");
    EXPECT_FALSE(ini.KeyExists("", "no section"));
    EXPECT_EQ(ini.ReadString("settings", "COM", "?"), "Com3");
    EXPECT_EQ(ini.ReadInteger("Settings", "Left", -1), 12);  // the first of two wins
    EXPECT_EQ(ini.ReadInteger("Settings", "Top", -1), -1);
    EXPECT_TRUE(ini.KeyExists("Settings", "X"));  // "[Other" is no section header
    ini.WriteInteger("Settings", "Top", 5);
    ini.WriteString("Settings", "Com", "Com4");
    ini.WriteString("New", "Key", "a,b\\c\"d");
    const std::string out = ini.ToBytes();
    EXPECT_NE(out.find("Com=Com4\r\n"), std::string::npos);
    EXPECT_NE(out.find("broken line\r\n"), std::string::npos);
    EXPECT_LT(out.find("Top=5"), out.find("[empty]"));
    EXPECT_NE(out.find("[New]\r\nKey=a,b\\c\"d\r\n"), std::string::npos);
    CIniFile again;
    again.LoadFromBytes(out);
    EXPECT_EQ(again.ReadString("New", "Key", ""), "a,b\\c\"d");
    EXPECT_EQ(again.ReadInteger("settings", "top", 0), 5);

    // Byte order marks before the first section: what is saved reads back as it was written.
    CIniFile marked;
    marked.LoadFromBytes("\xEF\xBB\xBF\xEF\xBB\xBF[Settings]\ncom=old\n");
    EXPECT_EQ(marked.ReadString("Settings", "Com", "?"), "old");
    marked.WriteString("Settings", "Com", "Com3");
    CIniFile reread;
    reread.LoadFromBytes(marked.ToBytes());
    EXPECT_EQ(reread.ReadString("Settings", "Com", "?"), "Com3");
}

TEST(LanguageSubstitute, FillsPlaceholdersAndNeverFormats)
{
    EXPECT_EQ(Substitute("%s %i / %i", {"Block", "3", "30"}), "Block 3 / 30");
    EXPECT_EQ(Substitute("Error (%s).", {"CE_PARSING_ERROR"}), "Error (CE_PARSING_ERROR).");
    EXPECT_EQ(Substitute("100%% %n %x %s %s", {"a"}), "100% %n %x a ");
    EXPECT_EQ(Substitute("no placeholders", {"a", "b"}), "no placeholders");
    EXPECT_EQ(Substitute("trailing %", {}), "trailing %");
}

TEST(LanguageCrc32, StandardCheckValue)
{
    const char* s = "123456789";
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(s), 9), 0xCBF43926u);
    // Running over pieces gives the same as over the whole.
    const uint32_t part = Crc32(reinterpret_cast<const uint8_t*>(s), 4);
    EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(s) + 4, 5, part), 0xCBF43926u);
}

TEST(LanguageShippedLanguages, EveryFileDeclaresEveryText)
{
    CLanguage lang;
    ASSERT_TRUE(lang.Init(ProgramFolder())) << ProgramFolder().toStdString();
    ASSERT_EQ(lang.LanguageCount(), 7);
    for (const char* id : {"Cze", "Eng", "Slo", "Ger", "Pol", "Fin", "Tur"}) EXPECT_GE(lang.FindLanguage(id), 0) << id;
    ASSERT_GE(lang.WordCount(), 291);
    // English is the reference for item counts and placeholders.
    ASSERT_TRUE(lang.LoadLanguage(lang.FindLanguage("Eng")));
    std::vector<int> items;
    std::vector<QStringList> placeholders;
    const QRegularExpression ph("%[sid]");
    auto placeholdersOf = [&](const QString& t) {
        QStringList found;
        for (auto it = ph.globalMatch(t); it.hasNext();) found << it.next().captured();
        return found;
    };
    for (int n = 0; n < lang.WordCount(); ++n) {
        items.push_back(lang.ItemCount(n));
        placeholders.push_back(placeholdersOf(lang.Text(n)));
    }
    for (int l = 0; l < lang.LanguageCount(); ++l) {
        ASSERT_TRUE(lang.LoadLanguage(l)) << lang.Language(l).File.toStdString();
        const std::string name = lang.LanguageName(l).toStdString();
        for (int n = 0; n < lang.WordCount(); ++n) {
            ASSERT_NE(lang.Text(n), QString("S%1").arg(n)) << name << " text " << n;
            ASSERT_NE(lang.Hint(n), QString("S%1H").arg(n)) << name << " hint " << n;
            EXPECT_EQ(lang.ItemCount(n), items[size_t(n)]) << name << " items of " << n;
            EXPECT_EQ(placeholdersOf(lang.Text(n)), placeholders[size_t(n)]) << name << " placeholders of " << n;
        }
    }
}
