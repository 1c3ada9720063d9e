// Strict values, desired-state files and `korvanext-cli apply` against the simulator.
#include "Catalogue.h"
#include "Commonutils.h"
#include "Desiredstate.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Keptcopies.h"
#include "Parameters.h"
#include "Strictvalues.h"
#include "clirun.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

using namespace ImageLayout;

namespace {
struct Registry {
    Registry() { BuildCatalogue(p); }
    const CParBasic& Par(const char* key) const { return *p.Find(key)->Par; }
    QString Problem(const char* key, const std::string& value, const TChoices& choices = {}, bool secret = false) const
    {
        return StrictProblem(key, Par(key), value, choices, secret);
    }
    CParameters p;
};

const TChoices kNoYes{{0, "Not allowed"}, {1, "Allowed"}};
}  // namespace

TEST(ApplyStrictValues, RefuseWhatTheTypeWouldStoreOtherwiseAndSayWhatIsAllowed)
{
    Registry r;
    const struct {
        const char* key;
        std::string value;
        const char* says;
    } refused[] = {
        {"FXSVolRec", "loud", "not a whole number; allowed: from 0 to 5"},
        {"FXSVolRec", "99", "out of range; allowed: from 0 to 5"},
        {"FXSVolRec", "3 ", "not a whole number"},
        {"FXSHangMin", "550", "not a multiple of the step; allowed: from 100 to 25500 in steps of 100"},
        {"SMSNum", "12345678901234567890123", "has 23 digits; allowed: at most 16 digits and + * #"},
        {"GSMDefDialNum", "+420", "holds \"+\""},
        {"FXSDefNumLength", "2", "would be stored as \"3\""},
        {"CreditCode", "123", "would be stored as \"123#\""},
        {"FXORBToneCad", "4", "which keeps only 0 and 1"},
        {"SMSText", std::string(41, 'x'), "has 41 characters"},
        {"ServisPassw", "12", "has 2 digits; allowed: 4 to 8 digits"},
    };
    for (const auto& c : refused) {
        const QString why = r.Problem(c.key, c.value);
        EXPECT_TRUE(why.startsWith(QString(c.key) + ": ") && why.contains(c.says))
            << c.key << ": " << why.toStdString();
    }
    // A list setting takes only what it offers, and says so with the captions.
    EXPECT_TRUE(r.Problem("RoamPerm", "yes", kNoYes).contains("allowed: 0 (Not allowed) or 1 (Allowed)"));
    EXPECT_TRUE(r.Problem("CLIRInk", "1", {{0, "a"}, {2, "c"}}).contains("not offered"));

    const std::vector<std::pair<const char*, std::string>> accepted{
        {"FXSVolRec", "5"},      {"FXSHangMin", "25500"}, {"SMSNum", "+420600123456789"},
        {"CreditCode", "*101#"}, {"PINVal", ""},          {"PINVal", "1234"},
        {"SMSText", "Hello"},    {"FXODetPermTone", "0"}, {"MinCredit", "999"}};
    for (const auto& [key, value] : accepted)
        EXPECT_TRUE(r.Problem(key, value).isEmpty())
            << key << "=" << value << ": " << r.Problem(key, value).toStdString();
    EXPECT_TRUE(r.Problem("RoamPerm", "1", kNoYes).isEmpty());
    // A secret's value is never repeated back.
    EXPECT_FALSE(r.Problem("PINVal", "12x4567", {}, true).contains("12x4567"));
}

namespace {
struct ApplyStateFiles : ::testing::Test {
    QString Write(const QString& name, const QByteArray& text)
    {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName();
    }
    bool Load(const QString& name, const QByteArray& text)
    {
        bool fileError = false;
        const TDesiredRules rules{[](const std::string& key) { return key == "RoamPerm" ? kNoYes : TChoices{}; },
                                  [](const std::string& key) { return key == "PINVal" || key == "ServisPassw"; },
                                  [](const std::string& key) { return key == "PINVal" || key == "ServisPassw"; }};
        return LoadDesiredState(Write(name, text), r.p, rules, state, error, fileError);
    }
    std::string Value(const std::string& key, int index) const
    {
        for (const TDesiredSetting& s : state.settings)
            if (s.key == key && s.index == index) return s.value;
        return "(absent)";
    }
    QTemporaryDir dir;
    Registry r;
    TDesiredState state;
    QString error;
};
}  // namespace

TEST_F(ApplyStateFiles, YamlAndJsonNameSettingsRowsAndSecrets)
{
    Write("pin.txt", "4321\n");
    qputenv("KVX_TEST_PASSWORD", "98765");
    ASSERT_TRUE(Load("s.yaml",
                     "FXSVolRec: 5\n"
                     "GSMNum:2: \"+420600\"\n"
                     "FXSNumBegin: [\"1\", \"2\"]\n"
                     "FXONumBegin: {7: \"77\"}\n"
                     "SMSNum:\n"
                     "PINVal: {file: pin.txt}\n"
                     "ServisPassw: {env: KVX_TEST_PASSWORD}\n"))
        << error.toStdString();
    EXPECT_EQ(Value("FXSVolRec", 0), "5");
    EXPECT_EQ(Value("GSMNum", 1), "+420600");
    EXPECT_EQ(Value("FXSNumBegin", 1), "2");
    EXPECT_EQ(Value("FXSNumBegin", 2), "(absent)");
    EXPECT_EQ(Value("FXONumBegin", 6), "77");
    EXPECT_EQ(Value("SMSNum", 0), "");
    EXPECT_EQ(Value("PINVal", 0), "4321");
    EXPECT_EQ(Value("ServisPassw", 0), "98765");
    EXPECT_TRUE(state.NamesBlock2(r.p));

    ASSERT_TRUE(Load("s.json", R"({"FXSVolRec": 4, "GSMNum": {"3": "12"}, "SMSText": "Hi"})")) << error.toStdString();
    EXPECT_EQ(Value("FXSVolRec", 0), "4");
    EXPECT_EQ(Value("GSMNum", 2), "12");
    ASSERT_TRUE(Load("s.yaml", "FXSVolRec: 2\n"));
    EXPECT_FALSE(state.NamesBlock2(r.p));

    // Text is UTF-8 in both; the gateway keeps a byte a character, as the files and the window do.
    ASSERT_TRUE(Load("t.yaml", "SMSText: \"M\xC3\xBCller\"\n")) << error.toStdString();
    EXPECT_EQ(Value("SMSText", 0), "M\xFCller");
    ASSERT_TRUE(Load("t.json", "{\"SMSText\": \"M\xC3\xBCller\"}")) << error.toStdString();
    EXPECT_EQ(Value("SMSText", 0), "M\xFCller");
    for (const char* name : {"u.yaml", "u.json"}) {
        const bool json = QString(name).endsWith("json");
        EXPECT_FALSE(Load(name, json ? "{\"SMSText\": \"\xC5\x81odz\"}" : "SMSText: \xC5\x81odz\n")) << name;
        EXPECT_TRUE(error.contains("SMSText: \"\xC5\x81odz\" holds '\xC5\x81', which the gateway cannot store"))
            << error.toStdString();
    }
}

TEST_F(ApplyStateFiles, AFaultNamesTheFileTheLineAndTheReason)
{
    const struct {
        const char* name;
        const char* text;
        const char* says;
    } cases[] = {
        {"a.yaml", "FXSVolRec: 4\nRoamPerm: yes\n", "a.yaml:2: RoamPerm: \"yes\" is not a whole number"},
        {"b.yaml", "FXSVolRec: [4\n", "b.yaml:2: "},
        {"c.yaml", "FXSVolRec: 4\nNoSuchKey: 1\n", "c.yaml:2: unknown key 'NoSuchKey'"},
        {"d.yaml", "GSMNum:121: \"1\"\n", "d.yaml:1: GSMNum has rows 1 to 120: not '121'"},
        {"e.yaml", "GSMNum: \"1\"\n", "e.yaml:1: GSMNum has rows 1 to 120: give GSMNum:ROW"},
        {"f.yaml", "FXSVolRec:1: 2\n", "FXSVolRec has no rows"},
        {"g.yaml", "FXSVolRec: 4\nFXSVolRec: 4\n", "g.yaml:2: FXSVolRec is given twice"},
        {"h.yaml", "PINVal: \"1234\"\n", "h.yaml:1: PINVal is secret"},
        {"i.yaml", "PINVal: {env: KVX_TEST_UNSET_VARIABLE}\n", "is not set"},
        {"j.yaml", "SerialNum: x\n", "read from the gateway"},
        {"k.yaml", "- FXSVolRec\n", "a map of KEY: VALUE"},
        {"l.json", "{\"FXSVolRec\": 4.5}", "l.json: FXSVolRec: \"4.5\" is not a whole number"},
        {"m.json", "{\n\"FXSVolRec\": 4,,\n}", "m.json:2: "},
        {"n.json", "{\"SMSNum\": \"12345678901234567890123\"}", "has 23 digits"},
        {"o.kvx", "FXSVolRec=\"3\"\nBogus=\"1\"\n", "unknown key 'Bogus'"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(Load(c.name, c.text)) << c.name;
        EXPECT_TRUE(error.contains(c.says)) << c.name << ": " << error.toStdString();
        EXPECT_TRUE(state.settings.empty());
    }
}

TEST_F(ApplyStateFiles, MergedKeepsWhatIsNotNamedReplacedResetsItButNotThePin)
{
    ASSERT_TRUE(Load("s.yaml", "FXSVolRec: 5\n"));
    CParameters held, target;
    BuildCatalogue(held);
    BuildCatalogue(target);
    held.SetValue("FXSVolSend", 0, "1");
    held.SetValue("PINVal", 0, "1111");
    PlanTarget(state, false, held, target);
    EXPECT_EQ(target.GetValue("FXSVolSend", 0), "1");
    ASSERT_EQ(PlannedChanges(held, target).size(), 1u);
    PlanTarget(state, true, held, target);
    EXPECT_EQ(target.GetValue("FXSVolSend", 0), "3");
    EXPECT_EQ(target.GetValue("PINVal", 0), "1111");
    EXPECT_EQ(target.GetValue("FXSVolRec", 0), "5");
    EXPECT_EQ(PlannedChanges(held, target).size(), 2u);

    // A configuration file names what it holds, as it holds it.
    ASSERT_TRUE(Load("s.kvx", "FXSVolRec=\"4\"\nGSMNum=\"1\",\"2\"\n")) << error.toStdString();
    EXPECT_EQ(Value("FXSVolRec", 0), "4");
    EXPECT_EQ(Value("GSMNum", 1), "2");
    EXPECT_EQ(Value("GSMNum", 2), "(absent)");
}

// ---------------------------------------------------------------- against the gateway

namespace {
struct Apply : SimFixture {
    void SetUp() override { StartSim(); }
    int Run(QStringList args, const QProcessEnvironment& extra = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", dir.filePath("data"));
        env.insert(extra);
        args << "--port" << port << "--wait"
             << "3";
        return RunCli(args, dir.path(), out, err, env);
    }
    QString State(const QString& name, const QByteArray& text)
    {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return name;
    }
    QJsonObject Json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
    std::string Held(const char* key) const
    {
        CParameters p;
        BuildCatalogue(p);
        const std::vector<uint8_t> image = sim->Image();
        p.FromImage(image.data());
        return p.GetValue(key, 0);
    }
    static std::vector<uint8_t> Block2(const std::vector<uint8_t>& image)
    {
        return {image.begin() + Block2Start, image.begin() + Block2Start + Block2Size};
    }
    QTemporaryDir dir;
    QString out, err;
};
}  // namespace

TEST_F(Apply, OnlyWhatDiffersIsWrittenAndOnlyOnce)
{
    const QString state = State("s.yaml", "FXSVolRec: 5\nSMSNum: \"+420777\"\nSMSText: \"M\xC3\xBCller\\x85\"\n");
    const std::vector<uint8_t> before = sim->Image();

    // The diff speaks the terminal's encoding and shows a control character as its code.
    EXPECT_EQ(Run({"apply", state, "--check", "--diff"}), 6) << err.toStdString();
    EXPECT_EQ(out, QString::fromUtf8("FXSVolRec \"3\" -> \"5\"\nSMSNum \"\" -> \"+420777\"\nSMSText \"\" -> "
                                     "\"M\xC3\xBCller\\x85\"\nwould change: 3 settings (block 1)\n"));
    EXPECT_EQ(sim->WriteCommands(), 0);
    EXPECT_EQ(sim->CommandLog().find('E'), std::string::npos) << "block 2 read for a block-1 state";

    ASSERT_EQ(Run({"apply", state, "--json"}), 0) << err.toStdString();
    EXPECT_EQ(Json()["result"].toString(), "changed");
    EXPECT_TRUE(Json()["changed"].toBool());
    EXPECT_EQ(Json()["after"].toObject()["FXSVolRec"].toString(), "5");
    EXPECT_EQ(Json()["before"].toObject()["FXSVolRec"].toString(), "3");
    EXPECT_EQ(Json()["serial"].toString(), "KX2-004711");
    EXPECT_FALSE(Json()["partial"].toBool());
    EXPECT_EQ(Held("FXSVolRec"), "5");
    EXPECT_EQ(Held("SMSNum"), "+420777");
    EXPECT_EQ(Held("SMSText"), "M\xFCller\x85");
    // Block 1 only: "g" went over the line, "G" did not, and block 2 is as it was.
    const std::string log = sim->CommandLog();
    EXPECT_NE(log.find('g'), std::string::npos);
    EXPECT_EQ(log.find('G'), std::string::npos);
    EXPECT_EQ(Block2(sim->Image()), Block2(before));

    // The same state again: nothing to write.
    const int writes = sim->WriteCommands();
    ASSERT_EQ(Run({"apply", state, "--json"}), 0) << err.toStdString();
    EXPECT_EQ(Json()["result"].toString(), "unchanged");
    EXPECT_FALSE(Json()["changed"].toBool());
    EXPECT_TRUE(Json()["backup"].isNull());
    EXPECT_EQ(sim->WriteCommands(), writes);
    EXPECT_EQ(Run({"apply", state, "--check"}), 0);
    EXPECT_EQ(out, "unchanged\n");
}

TEST_F(Apply, MergedKeepsAnUnnamedSettingReplacedResetsIt)
{
    ASSERT_EQ(Run({"apply", State("a.yaml", "FXSVolRec: 5\nFXSVolSend: 1\nGSMNum:3: \"12\"\n")}), 0)
        << err.toStdString();
    ASSERT_EQ(Held("FXSVolSend"), "1");
    const std::vector<uint8_t> held = sim->Image();
    const std::vector<uint8_t> pin(held.begin() + PinAddr, held.begin() + PinAddr + SecretSize);
    ASSERT_EQ(Run({"apply", State("b.yaml", "FXSVolRec: 4\n")}), 0) << err.toStdString();
    EXPECT_EQ(Held("FXSVolRec"), "4");
    EXPECT_EQ(Held("FXSVolSend"), "1");
    ASSERT_EQ(Run({"apply", "b.yaml", "--state", "replaced", "--diff"}), 0) << err.toStdString();
    EXPECT_TRUE(out.contains("FXSVolSend \"1\" -> \"3\"") && out.contains("GSMNum:3 \"12\" -> \"\""))
        << out.toStdString();
    EXPECT_EQ(Held("FXSVolSend"), "3");
    EXPECT_EQ(Held("FXSVolRec"), "4");
    const std::vector<uint8_t> image = sim->Image();
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + PinAddr, image.begin() + PinAddr + SecretSize), pin);
    EXPECT_EQ(Run({"apply", "b.yaml", "--state", "whole"}), 1);
}

TEST_F(Apply, EveryBadStateFailsBeforeThePortIsOpened)
{
    for (const auto& [name, text] :
         std::vector<std::pair<QString, QByteArray>>{{"a.yaml", "FXSVolRec: loud\n"},
                                                     {"b.yaml", "FXSVolRec: 99\n"},
                                                     {"c.yaml", "RoamPerm: yes\n"},
                                                     {"d.yaml", "SMSNum: \"12345678901234567890123\"\n"},
                                                     {"e.yaml", "FXSVolRec: [\n"},
                                                     {"f.yaml", "Nonsense: 1\n"},
                                                     {"g.yaml", "GSMNum:0: \"1\"\n"},
                                                     {"h.json", "{\"FXSHangMin\": 550}"},
                                                     {"i.yaml", "PINVal: \"1234\"\n"}}) {
        EXPECT_EQ(Run({"apply", State(name, text), "--json"}), 3) << name.toStdString();
        EXPECT_TRUE(Json()["error"].toString().startsWith(name + ":")) << out.toStdString();
        EXPECT_EQ(Json()["result"].toString(), "failed");
    }
    EXPECT_EQ(Run({"apply", "missing.yaml"}), 2);
    EXPECT_EQ(sim->Commands(), 0);
}

TEST_F(Apply, ThePinComesFromOutsideAndNeverShows)
{
    QProcessEnvironment env;
    env.insert("KVX_PIN", "4321");
    const QString state = State("s.yaml", "PINVal: {env: KVX_PIN}\nFXSVolRec: 2\n");
    ASSERT_EQ(Run({"apply", state, "--check", "--diff"}, env), 6) << err.toStdString();
    EXPECT_TRUE(out.contains("PINVal (secret) -> (secret)")) << out.toStdString();
    ASSERT_EQ(Run({"apply", state, "--json", "--diff"}, env), 0) << err.toStdString();
    EXPECT_EQ(Json()["after"].toObject()["PINVal"].toString(), "(secret)");
    EXPECT_EQ(Held("PINVal"), "4321");
    env.insert("KVX_PIN", "12x4");
    EXPECT_EQ(Run({"apply", state, "--diff"}, env), 3);
    for (const QString& text : {out, err})
        EXPECT_FALSE(text.contains("4321") || text.contains("12x4")) << text.toStdString();
}

TEST_F(Apply, TheKeptCopyRestoresWhatTheGatewayHeld)
{
    const std::vector<uint8_t> before = sim->Image();
    ASSERT_EQ(Run({"apply", State("s.yaml", "FXSVolRec: 0\n"), "--json"}), 0) << err.toStdString();
    const QString folder = Json()["backup"].toString();
    ASSERT_FALSE(folder.isEmpty());
    const std::vector<TKeptCopy> copies = CKeptCopies(dir.filePath("data/korvanext/backups")).List();
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_FALSE(copies[0].Damaged()) << copies[0].damage.toStdString();
    // The copy is whole, block 2 included, though the state needed only block 1.
    QFile bin(copies[0].ImageFile());
    ASSERT_TRUE(bin.open(QIODevice::ReadOnly));
    const QByteArray kept = bin.readAll();
    ASSERT_EQ(kept.size(), ImageSize);
    EXPECT_EQ(Block2({kept.begin(), kept.end()}), Block2(before));
    ASSERT_EQ(Run({"apply", copies[0].ConfigurationFile()}), 0) << err.toStdString();
    EXPECT_EQ(Held("FXSVolRec"), "3");
    const std::vector<uint8_t> after = sim->Image();
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + Block1Size, after.begin()));
}

TEST_F(Apply, AFleetsTableShowsEachGatewaysOwnResultAndAgreeReachesEveryRun)
{
    TSimOptions o;
    o.serial = "KX-2";
    CGatewaySim second(o);
    std::string error;
    ASSERT_TRUE(second.Start(&error)) << error;
    const QString other = QString::fromStdString(second.SlavePath());
    const QString state = State("s.yaml", "FXSVolRec: 5\n");
    ASSERT_EQ(Run({"apply", state}), 0) << err.toStdString();  // the first gateway holds it already
    auto fleet = [&](QStringList args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", dir.filePath("data"));
        const int rc = RunCli(args << "--port" << port << "--port" << other << "--wait"
                                   << "3",
                              dir.path(), out, err, env);
        const QStringList rows = out.trimmed().split('\n');
        EXPECT_EQ(rows.size(), 3) << out.toStdString();
        return std::pair{rc, rows.mid(1)};
    };
    const auto result = [](const QString& row, const char* shown) {
        return row.contains(QString("  %1  ").arg(shown));
    };
    auto [rc, rows] = fleet({"apply", state, "--check"});
    EXPECT_EQ(rc, 6) << err.toStdString();
    EXPECT_TRUE(result(rows.value(0), "unchanged") && result(rows.value(1), "would change")) << out.toStdString();
    std::tie(rc, rows) = fleet({"apply", state});
    EXPECT_EQ(rc, 0) << err.toStdString();
    EXPECT_TRUE(result(rows.value(0), "unchanged") && result(rows.value(1), "changed")) << out.toStdString();

    // A question not agreed to is named in each row; --agree reaches every run of the fleet.
    const QString numbers = State("n.yaml", "ModemNum3: \"123\"\n");
    std::tie(rc, rows) = fleet({"apply", numbers, "--agree", "other-serial"});
    EXPECT_EQ(rc, 4) << err.toStdString();
    for (const QString& row : rows) EXPECT_TRUE(result(row, "declined (supervision-numbers)")) << out.toStdString();
    std::tie(rc, rows) = fleet({"apply", numbers, "--agree", "supervision-numbers"});
    EXPECT_EQ(rc, 0) << err.toStdString();
    for (const QString& row : rows) EXPECT_TRUE(result(row, "changed")) << out.toStdString();
    second.Stop();
}

TEST(ApplySchema, SaysWhatEachSettingAllowsWhereItLivesAndWhatIsSecret)
{
    QTemporaryDir dir;
    QString out, err;
    ASSERT_EQ(RunCli({"schema", "--json"}, dir.path(), out, err), 0) << err.toStdString();
    std::map<QString, QJsonObject> settings;
    for (const QJsonValue& v : QJsonDocument::fromJson(out.toUtf8()).object()["settings"].toArray())
        settings[v.toObject()["key"].toString()] = v.toObject();
    EXPECT_EQ(settings.size(), 127u);  // every key but the four of the identification
    EXPECT_EQ(settings["FXSHangMin"]["step"].toInt(), 100);
    EXPECT_EQ(settings["GSMNum"]["block"].toInt(), 2);
    EXPECT_EQ(settings["GSMNum"]["rows"].toInt(), 120);
    EXPECT_EQ(settings["SMSNum"]["length"].toInt(), 16);
    EXPECT_EQ(settings["RoamPerm"]["choices"].toArray().size(), 2);
    for (const char* key : {"PINVal", "ServisPassw", "FXOFMPassw"})
        EXPECT_TRUE(settings[key]["secret"].toBool()) << key;
    EXPECT_EQ(settings["ServisPassw"]["default"].toString(), "");
    EXPECT_TRUE(settings["ModemNum3"]["asks"].toBool());
    EXPECT_TRUE(settings["SubString5"]["asks"].toBool());
    EXPECT_FALSE(settings["MaxDataTime"]["asks"].toBool());
    ASSERT_EQ(RunCli({"schema"}, dir.path(), out, err), 0);
    EXPECT_EQ(out.count('\n'), 127);
    EXPECT_TRUE(out.contains("\nFXSHangMin\tCParMaskByte\t100..25500/100\t1\tdefault=500\tblock 1\t-\n"))
        << out.toStdString();
}
