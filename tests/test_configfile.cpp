#include "Catalogue.h"
#include "Parameters.h"

#include <QDir>
#include <QTemporaryDir>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
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
          "FXSVolRec=\"9\"\r\n"     // clamped
          "FXSTimeDial =\"7\"\n"    // blank before "=": another key
          "FXSAdd=\"12\",\"34\"\n"  // fewer values than instances
          "FXSRemove=\"1\",\"2\",\"3\""
          "\n"
          "PINVal=\"1234\"\n"  // never read from files
          "UnknownKey=\"1\"\n"
          "FXSNumBegin=\"1\",\"2\",bad,\"3\"\n"  // text between values is skipped up to the next quote
          "GSMNum=\"5\",\"\\q6\",\"\\x3\"\n"     // unknown escape drops its letter; broken escape at the quote
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
    EXPECT_EQ(p.GetValue("GSMNum", 2), "");
    EXPECT_EQ(p.GetValue("FXOAdd", 0), "7");
    EXPECT_EQ(p.GetValue("FXOAdd", 1), "");
    EXPECT_EQ(p.GetValue("FXSDialToneF1", 0), "400");
    EXPECT_EQ(p.GetValue("SMSText", 0), "x\"y");
}

TEST_F(ConfigFile, MissingFileLeavesTheRegistryAndFailedSaveKeepsTheOldFile)
{
    p.SetValue("FXSVolRec", 0, "1");
    EXPECT_FALSE(p.LoadFromFile(Path("missing.kvx")));
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "1");

    const auto path = Path("keep.kvx");
    Write(path, "FXSVolRec=\"2\"\n");
    EXPECT_FALSE(p.SaveToFile(Path("no/such/folder/x.kvx")));
    EXPECT_EQ(Read(path), "FXSVolRec=\"2\"\n");
    ASSERT_TRUE(p.SaveToFile(path));  // replaces it whole
    EXPECT_NE(Read(path).find("FXSVolRec=\"1\""), std::string::npos);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary file left behind";
}

TEST_F(ConfigFile, BrokenEscapeCountsOnlyWhenItEndsAtTheClosingQuote)
{
    const auto path = Path("esc.kvx");
    Write(path,
          "GprsApn=\"ab\\x5a\"\n"            // breaks off at "a": the value is not stored
          "FXSAdd=\"1\",\"2\\x5a\",\"3\"\n"  // ... nor the rest of its line
          "FXSRemove=\"1\",\"2\\xq\",\"3\"\n"
          "HWVer=\"d\\x5\"\n"         // breaks off at the closing quote: "d"
          "FXOAdd=\"1\\x5\",\"4\"\n"  // ... and the line goes on
          "SWVer=\"e\\x\"\n"
          "SerialNum=\"f\\");  // a backslash at the end of the file
    p.SetValue("GprsApn", 0, "old");
    ASSERT_TRUE(p.LoadFromFile(path));
    auto def = [&](const char* key) { return p.Find(key)->Par->m_Default; };
    EXPECT_EQ(p.GetValue("GprsApn", 0), def("GprsApn"));
    EXPECT_EQ(p.GetValue("FXSAdd", 0), "1");
    EXPECT_EQ(p.GetValue("FXSAdd", 1), def("FXSAdd"));
    EXPECT_EQ(p.GetValue("FXSAdd", 2), def("FXSAdd"));
    EXPECT_EQ(p.GetValue("FXSRemove", 0), "1");
    EXPECT_EQ(p.GetValue("FXSRemove", 2), def("FXSRemove"));
    EXPECT_EQ(p.GetValue("HWVer", 0), "d");
    EXPECT_EQ(p.GetValue("FXOAdd", 0), "1");
    EXPECT_EQ(p.GetValue("FXOAdd", 1), "4");
    EXPECT_EQ(p.GetValue("SWVer", 0), "e");
    EXPECT_EQ(p.GetValue("SerialNum", 0), def("SerialNum"));
}

TEST_F(ConfigFile, OnlyALineEndEndsALine)
{
    const auto path = Path("cr.kvx");
    Write(path,
          "FXSVol\rRec=\"1\"\r\n"      // a carriage return inside the key: another key
          "FXSVolSend=\"2\"\r\n"       // CR LF at the end of a line is its line end
          "SMSText=\"a\rb\"\n"         // inside a value it is a character of the value
          "FXSTimeDial=\"7\"\r\r\n");  // one CR before the LF belongs to the line end, the other to the line
    CParameters::TLoadReport report;
    ASSERT_TRUE(p.LoadFromFile(path, report));
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "3");
    EXPECT_EQ(p.GetValue("FXSVolSend", 0), "2");
    EXPECT_EQ(p.GetValue("SMSText", 0), "a\rb");
    EXPECT_EQ(p.GetValue("FXSTimeDial", 0), "7");
    EXPECT_EQ(report.UnknownCount, 1);
}

TEST_F(ConfigFile, AFileWithoutKnownKeysIsRefusedAndChangesNothing)
{
    p.SetValue("FXSVolRec", 0, "1");
    p.SetValue("PINVal", 0, "4321");
    const auto before = p.Snapshot();
    std::string random;
    for (int i = 0; i < 4000; ++i) random += char((i * 7919 + 13) % 256);
    std::string image(12288, '\0');
    image[100] = '=';
    for (const std::string& content : {std::string(), random, image, std::string("PINVal=\"1\"\nNoSuchKey=\"1\"\n")}) {
        const auto path = Path("not.kvx");
        Write(path, content);
        CParameters::TLoadReport report;
        EXPECT_FALSE(p.LoadFromFile(path, report));
        EXPECT_EQ(report.File.Kind, TFileStatus::NotConfiguration);
        EXPECT_EQ(report.File.Reason, "no configuration keys found");
        EXPECT_EQ(p.Snapshot(), before);
    }
}

TEST_F(ConfigFile, UnknownKeysAreCountedWithTheFirstNames)
{
    std::string text = "FXSVolRec=\"2\"\n";
    for (int i = 0; i < 7; ++i) text += "Old" + std::to_string(i) + "=\"1\"\n";
    CParameters::TLoadReport report;
    ASSERT_TRUE(p.LoadFromText(text, &report));
    EXPECT_EQ(report.Keys, 1);
    EXPECT_EQ(report.UnknownCount, 7);
    EXPECT_EQ(report.UnknownNames, (std::vector<std::string>{"Old0", "Old1", "Old2", "Old3", "Old4"}));
    EXPECT_EQ(p.GetValue("FXSVolRec", 0), "2");
}

TEST_F(ConfigFile, OnlyRegularFilesOfASaneSizeAreRead)
{
    p.SetValue("FXSVolRec", 0, "1");
    const auto before = p.Snapshot();
    const auto big = Path("big.kvx");
    Write(big, "FXSVolRec=\"2\"\n");
    ASSERT_EQ(::truncate(big.c_str(), 2 << 20), 0);
    const auto fifo = Path("fifo.kvx");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // a FIFO with no writer would block an open for ever
    const std::pair<std::string, TFileStatus::TKind> cases[] = {
        {big, TFileStatus::TooLarge},
        {fifo, TFileStatus::NotRegular},
        {"/dev/zero", TFileStatus::NotRegular},
        {dir.path().toStdString(), TFileStatus::Folder},
        {Path("none.kvx"), TFileStatus::Missing},
    };
    for (const auto& [path, kind] : cases) {
        CParameters::TLoadReport report;
        EXPECT_FALSE(p.LoadFromFile(path, report)) << path;
        EXPECT_EQ(report.File.Kind, kind) << path;
        EXPECT_FALSE(report.File.Reason.isEmpty());
        EXPECT_EQ(p.Snapshot(), before);
    }
}
