#include "Catalogue.h"
#include "Gatewayimage.h"
#include "Parameters.h"
#include "clirun.h"
#include "simfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

namespace {
// korvanext-cli with a data folder of its own, where the kept copies go.
struct CliCompare : SimFixture {
    int Run(const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_DATA_HOME", dir.filePath("data"));
        return RunCli(args, dir.path(), out, err, env);
    }
    // A configuration file: the defaults with some values of its own.
    QString File(const char* name, const std::vector<std::pair<const char*, std::pair<int, const char*>>>& values)
    {
        CParameters p;
        BuildCatalogue(p);
        for (const auto& [key, v] : values) p.SetValue(key, v.first, v.second);
        const QString path = dir.filePath(name);
        EXPECT_TRUE(p.SaveToFile(path.toStdString()));
        return path;
    }
    QStringList Copies() const
    {
        QStringList found;
        QDir serial(dir.filePath("data/korvanext/backups/KX2-004711"));
        for (const QString& d : serial.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) found << d;
        return found;
    }
    QTemporaryDir dir;
    QString out, err;
};
}  // namespace

TEST_F(CliCompare, CompareListsWhatTheGatewayHoldsAgainstTheFile)
{
    StartSim();
    const QString same = File("same.kvx", {});
    EXPECT_EQ(Run({"compare", same, "--port", port}), 0) << err.toStdString();
    EXPECT_TRUE(out.isEmpty());
    const QString other =
        File("other.kvx",
             {{"FXSVolRec", {0, "1"}}, {"GSMNum", {4, "+420"}}, {"SMSText", {0, "a\\b"}}, {"SerialNum", {0, "X"}}});
    EXPECT_EQ(Run({"compare", other, "--port", port}), 6);
    // Identification is no setting: only the three values, escaped as in files.
    EXPECT_EQ(out.split('\n', Qt::SkipEmptyParts),
              QStringList({"FXSVolRec \"3\" -> \"1\"", "GSMNum:5 \"\" -> \"+420\"", "SMSText \"\" -> \"a\\\\b\""}))
        << out.toStdString();
    EXPECT_EQ(Run({"compare", dir.filePath("missing.kvx"), "--port", port}), 2);
    sim->SetOption("badChecksum", 10);
    EXPECT_EQ(Run({"compare", same, "--port", port}), 5);  // damaged, not "different"
}

TEST_F(CliCompare, WriteOnlyTakesTheNamedSettingsAndKeepsACopy)
{
    StartSim();
    CParameters held;
    BuildCatalogue(held);
    held.SetValue("SMSText", 0, "the gateway's own");
    sim->SetImage(GatewayImage(held));
    const QString file = File("f.kvx", {{"FXSVolRec", {0, "1"}}, {"FXONumBegin", {2, "77"}}, {"SMSText", {0, "file"}}});
    EXPECT_EQ(Run({"write", file, "--port", port, "--only", "FXSVolRec,FXONumBegin"}), 0) << err.toStdString();
    CParameters now;
    BuildCatalogue(now);
    now.FromImage(sim->Image().data());
    EXPECT_EQ(now.GetValue("FXSVolRec", 0), "1");
    EXPECT_EQ(now.GetValue("FXONumBegin", 2), "77");
    EXPECT_EQ(now.GetValue("SMSText", 0), "the gateway's own");
    ASSERT_EQ(Copies().size(), 1);

    EXPECT_EQ(Run({"backups"}), 0);
    EXPECT_TRUE(out.contains("\tKX2-004711\t3.15\t")) << out.toStdString();
    EXPECT_TRUE(out.contains(Copies()[0])) << out.toStdString();
    EXPECT_EQ(Run({"backups", "--serial", "KX2-000001"}), 0);
    EXPECT_TRUE(out.isEmpty());

    // No copy when asked for none; refused choices name the reason.
    EXPECT_EQ(Run({"write", file, "--port", port, "--no-backup"}), 0) << err.toStdString();
    EXPECT_EQ(Copies().size(), 1);
    EXPECT_EQ(Run({"write", file, "--port", port, "--only", "PINVal"}), 1);
    EXPECT_TRUE(err.contains("PINVal"));
    EXPECT_EQ(Run({"write", file, "--port", port, "--only", "NoSuchKey"}), 1);
    EXPECT_EQ(Run({"write", file, "--port", port, "--only"}), 1);
}

TEST_F(CliCompare, AFileFromAnotherGatewayNeedsYes)
{
    StartSim();
    const QString file = File("f.kvx", {{"FXSVolRec", {0, "1"}}, {"SerialNum", {0, "KX2-000001"}}});
    EXPECT_EQ(Run({"write", file, "--port", port}), 4);
    EXPECT_TRUE(err.contains("KX2-000001")) << err.toStdString();
    EXPECT_EQ(sim->WriteCommands(), 0);
    EXPECT_EQ(Run({"write", file, "--port", port, "--yes"}), 0) << err.toStdString();
    EXPECT_EQ(sim->Image()[33], 1);
}

TEST_F(CliCompare, AgreeAnswersTheQuestionsItNamesAndDeclinesTheOthers)
{
    StartSim();
    const QString file =
        File("f.kvx", {{"FXSVolRec", {0, "1"}}, {"SerialNum", {0, "KX2-000001"}}, {"ModemNum3", {0, "123"}}});
    EXPECT_EQ(Run({"write", file, "--port", port, "--agree", "other-serial", "--json"}), 4);
    EXPECT_TRUE(err.contains("[yes: --agree other-serial]")) << err.toStdString();
    EXPECT_TRUE(err.contains("[no: give --agree supervision-numbers or --yes to agree]")) << err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
    EXPECT_EQ(json["declinedQuestion"].toString(), "supervision-numbers") << out.toStdString();
    EXPECT_TRUE(json["error"].toString().contains("not agreed")) << out.toStdString();
    EXPECT_EQ(sim->WriteCommands(), 0);
    // Given twice or as a list alike; a name said twice is no error.
    EXPECT_EQ(
        Run({"write", file, "--port", port, "--agree", "supervision-numbers", "--agree=other-serial,other-serial"}), 0)
        << err.toStdString();
    EXPECT_EQ(sim->Image()[33], 1);

    // An unknown name is a wrong command line, told with every name there is, before any port is opened.
    const int commands = sim->Commands();
    for (const char* agree : {"other-serail", ","}) {
        EXPECT_EQ(Run({"write", file, "--port", port, "--agree", agree}), 1) << agree;
        EXPECT_TRUE(err.contains(
            "not-as-shown, other-serial, supervision-numbers, newer-firmware, same-firmware, older-firmware"))
            << err.toStdString();
    }
    EXPECT_EQ(sim->Commands(), commands);
}

TEST_F(CliCompare, AWriteSaysUnchangedWhereTheReadBeforeItShowsTheGatewayHeldTheFile)
{
    StartSim();
    ASSERT_EQ(Run({"read", "gw.kvx", "--port", port}), 0) << err.toStdString();
    ASSERT_EQ(Run({"write", "gw.kvx", "--port", port}), 0) << err.toStdString();
    EXPECT_EQ(out, "unchanged\n");
    ASSERT_EQ(Run({"write", "gw.kvx", "--port", port, "--only", "FXSVolRec", "--json"}), 0) << err.toStdString();
    QJsonObject json = QJsonDocument::fromJson(out.toUtf8()).object();
    EXPECT_EQ(json["result"].toString(), "unchanged");
    EXPECT_FALSE(json["changed"].toBool(true));
    // Without a copy block 2 is not read first: only a change in block 1 is known.
    ASSERT_EQ(Run({"write", "gw.kvx", "--port", port, "--no-backup", "--json"}), 0) << err.toStdString();
    json = QJsonDocument::fromJson(out.toUtf8()).object();
    EXPECT_EQ(json["result"].toString(), "done");
    EXPECT_TRUE(json["changed"].isNull());
    for (const char* block : {"FXSVolRec", "GSMNum"}) {
        const QString file = File("f.kvx", {{block, {0, "5"}}});
        ASSERT_EQ(Run({"write", file, "--port", port, "--json"}), 0) << err.toStdString();
        json = QJsonDocument::fromJson(out.toUtf8()).object();
        EXPECT_EQ(json["result"].toString(), "changed") << block;
        EXPECT_TRUE(json["changed"].toBool()) << block;
    }
    ASSERT_EQ(Run({"write", File("g.kvx", {{"FXSVolRec", {0, "4"}}}), "--port", port, "--no-backup"}), 0)
        << err.toStdString();
    EXPECT_EQ(out, "changed\n");
}

TEST_F(CliCompare, ACopyThatCannotBeKeptIsAFileError)
{
    StartSim();
    QFile blocker(dir.filePath("data"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));  // a file where the data folder should be
    blocker.close();
    const QString file = File("f.kvx", {{"FXSVolRec", {0, "1"}}});
    EXPECT_EQ(Run({"write", file, "--port", port}), 2);
    EXPECT_TRUE(err.contains(dir.filePath("data"))) << err.toStdString();
    EXPECT_EQ(sim->WriteCommands(), 0);
    // The way out is named as the command line has it, in one sentence.
    EXPECT_TRUE(err.contains("could not be kept in '" + dir.filePath("data/korvanext/backups"))) << err.toStdString();
    EXPECT_TRUE(err.contains("Make room there, or give --no-backup")) << err.toStdString();
    EXPECT_FALSE(err.contains("settings")) << err.toStdString();
    // apply keeps its copy the same way and names the same way out.
    QFile state(dir.filePath("state.yaml"));
    ASSERT_TRUE(state.open(QIODevice::WriteOnly));
    state.write("FXSVolRec: 1\n");
    state.close();
    EXPECT_EQ(Run({"apply", state.fileName(), "--port", port}), 2);
    EXPECT_TRUE(err.contains("Make room there, or give --no-backup")) << err.toStdString();
    EXPECT_EQ(sim->WriteCommands(), 0);
}

TEST_F(CliCompare, WhatTheGatewayWouldNotHoldIsRefusedUnlessAgreed)
{
    StartSim();
    const std::vector<uint8_t> before = sim->Image();
    const QString path = File("cut.kvx", {{"FXSRBToneCad", {0, "2"}}, {"FXSVolRec", {0, "1"}}});
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const QByteArray text = f.readAll();
    f.resize(text.indexOf("GSMNum=") + 20);
    f.close();

    // Refused before the gateway is touched, with both values and what is missing.
    EXPECT_EQ(Run({"write", "cut.kvx", "--port", port}), 3);
    EXPECT_TRUE(err.contains("FXSRBToneCad: \"2\" \u2192 \"0\"") && err.contains("GSMNum:5-120, GSMSubString") &&
                err.contains("--yes"))
        << err.toStdString();
    EXPECT_EQ(sim->Block1Reads(), 0);
    // Over a modem, before the call is placed: a modem that is not there is never reached for.
    EXPECT_EQ(Run({"write", "cut.kvx", "--modem-number", "123", "--modem", "/nonexistent/modem"}), 3)
        << err.toStdString();
    EXPECT_TRUE(err.contains("--yes") && !err.contains("modem")) << err.toStdString();
    // A selective write of what the file holds as the gateway will is not asked about.
    EXPECT_EQ(Run({"write", "cut.kvx", "--port", port, "--only", "FXSVolRec"}), 0) << err.toStdString();
    EXPECT_EQ(sim->Image()[33], 1);
    EXPECT_EQ(Run({"write", "cut.kvx", "--port", port, "--agree", "other-serial"}), 3) << err.toStdString();
    EXPECT_EQ(Run({"write", "cut.kvx", "--port", port, "--agree", "not-as-shown"}), 0) << err.toStdString();
    EXPECT_NE(sim->Image(), before);

    // encode warns; set refuses a value the gateway cannot hold and names the limit.
    EXPECT_EQ(Run({"encode", "cut.kvx", "cut.bin"}), 0);
    EXPECT_TRUE(err.contains("FXSRBToneCad \"2\" cannot be held by the gateway, it keeps \"0\" (only 0 and 1)") &&
                err.contains("lacks GSMNum:5-120") && err.contains("broken line"))
        << err.toStdString();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray cut = f.readAll();
    f.close();
    EXPECT_EQ(Run({"set", "cut.kvx", "FXSVolRec=2", "SMSText=" + QString(5000, 'x')}), 3);
    EXPECT_TRUE(err.contains("SMSText: \"xxx") && err.contains("at most 40 characters")) << err.toStdString();
    EXPECT_EQ(Run({"set", "cut.kvx", "FXORBToneCad=4"}), 3);
    EXPECT_TRUE(err.contains("allowed: 0 (") && err.contains(" or 1 (")) << err.toStdString();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), cut);
}
