#include "Catalogue.h"
#include "Parametry.h"

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace {
struct ConfigFile : ::testing::Test {
    ConfigFile() { BuildCatalogue(p); }
    std::string Path(const char* name) const { return (dir.path() + "/" + name).toStdString(); }
    static std::string Read(const std::string& path)
    {
        std::ifstream f(path, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    static void Write(const std::string& path, const std::string& text)
    {
        std::ofstream(path, std::ios::binary) << text;
    }
    QTemporaryDir dir;
    CParameters p;
};
}  // namespace

TEST_F(ConfigFile, DefaultsRoundTripIn129SortedLines)
{
    const auto path = Path("d.kvx");
    ASSERT_TRUE(p.SaveToFile(path));
    const std::string text = Read(path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 129);
    EXPECT_EQ(text.rfind("CLIRInk=\"0\"\n", 0), 0u);
    EXPECT_EQ(text.find("PINVal"), std::string::npos);
    EXPECT_EQ(text.find("ServisPassw"), std::string::npos);
    EXPECT_NE(text.find("\nFXSVolRec=\"3\"\n"), std::string::npos);
    std::string empties = "\nFXSNumBegin=\"\"";
    for (int i = 1; i < 120; ++i) empties += ",\"\"";
    EXPECT_NE(text.find(empties + "\n"), std::string::npos);
    const auto before = p.Snapshot();
    p.SetValue("FXSVolRec", 0, "1");
    ASSERT_TRUE(p.LoadFromFile(path));
    EXPECT_EQ(p.Snapshot(), before);
}

TEST_F(ConfigFile, AwkwardTextsSurvive)
{
    // Quotes, backslashes, control characters and bytes 128..255 in a text value.
    std::string odd = "a\"b\\c\r\nd,e";
    for (int c = 128; c < 256; ++c) odd += char(c);
    p.SetValue("SMSText", 0, odd);
    p.SetValue("OperLock", 0, "\"");
    const auto path = Path("odd.kvx");
    ASSERT_TRUE(p.SaveToFile(path));
    const std::string text = Read(path);
    EXPECT_NE(text.find("SMSText=\"a\\x34b\\\\c\\x13\\x10d,e"), std::string::npos);
    p.SetAllDefaults();
    ASSERT_TRUE(p.LoadFromFile(path));
    EXPECT_EQ(p.GetValue("SMSText", 0), odd);
    EXPECT_EQ(p.GetValue("OperLock", 0), "\"");
}

TEST_F(ConfigFile, ReaderIsForgiving)
{
    const auto path = Path("hand.kvx");
    Write(path,
          "garbage line without equals\r\n"
          "FXSVolRec=\"9\"\r\n"                      // clamped
          "FXSTimeDial =\"7\"\n"                      // blank before "=": another key
          "FXSAdd=\"12\",\"34\"\n"                    // fewer values than instances
          "FXSRemove=\"1\",\"2\",\"3\"" "\n"
          "PINVal=\"1234\"\n"                         // never read from files
          "UnknownKey=\"1\"\n"
          "FXSNumBegin=\"1\",\"2\",bad,\"3\"\n"      // text between values is skipped up to the next quote
          "GSMNum=\"5\",\"\\q6\",\"\\x3\"\n"          // unknown escape drops its letter; broken escape ends the value
          "FXOAdd=\"7\",\"unterminated\n"
          "FXSDialToneF1=\"400\" trailing text\n"
          "SMSText=\"x\\x34y\"\n");
    p.SetValue("PINVal", 0, "9999");
    p.SetValue("FXSAdd", 5, "55");
    ASSERT_TRUE(p.LoadFromFile(path));
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "5");
    EXPECT_EQ(p.GetValue("FXSTimeDial", 0), "5");
    EXPECT_EQ(p.GetValue("FXSAdd", 0), "12");
    EXPECT_EQ(p.GetValue("FXSAdd", 1), "34");
    EXPECT_EQ(p.GetValue("FXSAdd", 5), "");  // defaults first
    EXPECT_EQ(p.GetValue("FXSRemove", 2), "3");
    EXPECT_EQ(p.GetValue("PINVal", 0), "");
    EXPECT_EQ(p.GetValue("FXSNumBegin", 1), "2");
    EXPECT_EQ(p.GetValue("FXSNumBegin", 2), "3");
    EXPECT_EQ(p.GetValue("GSMNum", 1), "6");
    EXPECT_EQ(p.GetValue("GSMNum", 2), "3");
    EXPECT_EQ(p.GetValue("FXOAdd", 0), "7");
    EXPECT_EQ(p.GetValue("FXOAdd", 1), "");
    EXPECT_EQ(p.GetValue("FXSDialToneF1", 0), "400");
    EXPECT_EQ(p.GetValue("SMSText", 0), "x\"y");
}

TEST_F(ConfigFile, MissingFileResetsToDefaultsAndFailedSaveKeepsTheOldFile)
{
    p.SetValue("FXSVolRec", 0, "1");
    EXPECT_FALSE(p.LoadFromFile(Path("missing.kvx")));
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "3");

    const auto path = Path("keep.kvx");
    Write(path, "FXSVolRec=\"2\"\n");
    EXPECT_FALSE(p.SaveToFile(Path("no/such/folder/x.kvx")));
    EXPECT_EQ(Read(path), "FXSVolRec=\"2\"\n");
    ASSERT_TRUE(p.SaveToFile(path));  // replaces it whole
    EXPECT_NE(Read(path).find("FXSVolRec=\"3\""), std::string::npos);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary file left behind";
}
