#include "Serialport.h"
#include "clirun.h"
#include "Commonutils.h"
#include "Demo.h"
#include "Imagelayout.h"
#include "clifixture.h"
#include "simfixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <vector>
#include <sys/stat.h>
#include <grp.h>
#include <unistd.h>

TEST_F(Cli, ReadWriteDiffAndBackupAgainstTheGateway)
{
    StartSim();
    ASSERT_EQ(Run({"read", "gw.kvx", "--port", port}), 0) << err.toStdString();
    QByteArray text = ReadFile("gw.kvx");
    text.replace("FXSVolRec=\"3\"", "FXSVolRec=\"1\"");
    WriteFile("gw.kvx", text);
    ASSERT_EQ(Run({"write", "gw.kvx", "--port", port}), 0) << err.toStdString();
    EXPECT_EQ(sim->Image()[33], 1);
    ASSERT_EQ(Run({"read", "again.kvx", "--port=" + port}), 0);
    EXPECT_EQ(Run({"diff", "gw.kvx", "again.kvx"}), 0) << out.toStdString();
    ASSERT_EQ(Run({"backup", "saved", "--port", port}), 0);
    EXPECT_TRUE(out.contains("saved/gateway-KX2-004711-"));
    EXPECT_TRUE(err.isEmpty()) << err.toStdString();  // no diagnostics without --verbose
}

TEST_F(Cli, WhatAGatewayCommandSaysIsSaidOnceAndCarriedInItsJson)
{
    StartSim();
    // The read succeeds, then its file cannot be written: a FIFO stands in its place.
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path("x.kvx")).constData(), 0600), 0);
    EXPECT_EQ(Run({"read", "x.kvx", "--port", port, "--json"}), 2);
    EXPECT_EQ(Json()["exit"].toInt(), 2);
    EXPECT_TRUE(Json()["error"].toString().contains("x.kvx': not a regular file")) << out.toStdString();
    EXPECT_EQ(Lines(err), 1) << err.toStdString();
    // An unknown key of the file is reported once, though write and compare use the file twice.
    WriteFile("old.kvx", "FXSVolRec=\"2\"\nRetired=\"1\"\n");
    for (const char* command : {"compare", "write"}) {
        Run({command, "old.kvx", "--port", port, "--yes"});
        EXPECT_EQ(err.count("unknown keys ignored"), 1) << command << ": " << err.toStdString();
    }
    EXPECT_EQ(sim->Image()[33], 2);
}

TEST_F(Cli, IdentifyOnlyIdentifies)
{
    TSimOptions o;
    o.operLock = "23001";
    StartSim(o);
    ASSERT_EQ(Run({"identify", "--port", port}), 0) << err.toStdString();
    EXPECT_EQ(out, "HWVer\tC\nSWVer\t3.15\nSerialNum\tKX2-004711\nOperLock\t23001\n");
    EXPECT_EQ(sim->CommandLog(), "UXBCDFA");
    ASSERT_EQ(Run({"identify", "--port", port, "--json"}), 0);
    const QJsonObject j = Json();
    EXPECT_EQ(j["serial"].toString(), "KX2-004711");
    EXPECT_EQ(j["firmware"].toString(), "3.15");
    EXPECT_EQ(j["hardware"].toString(), "C");
    EXPECT_EQ(j["operatorLock"].toString(), "23001");
    EXPECT_EQ(j["exit"].toInt(), 0);
}

TEST_F(Cli, EachFailureClassHasItsExitStatus)
{
    StartSim();
    WriteFile("notconfig.kvx", "just some text\n");
    WriteFile("short.Bin", "firmware?");
    QDir(dir.path()).mkdir("folder");
    struct {
        QStringList args;
        int code;
        const char* says;
    } cases[] = {
        {{"frobnicate"}, 1, "unknown command"},
        {{"read", "x.kvx", "--port"}, 1, "Missing value after '--port'"},
        {{"read", "x.kvx", "y.kvx", "--port", port}, 1, "2 arguments given"},
        {{"read", "x.kvx", "--bogus"}, 1, "Unknown option 'bogus'"},
        {{"write", "missing.kvx", "--port", port}, 2, "cannot read 'missing.kvx': no such file"},
        {{"get", "folder", "FXSVolRec"}, 2, "cannot read 'folder': it is a folder"},
        {{"read", "no/such/folder/x.kvx", "--port", port}, 2, "No such file or directory"},
        {{"write", "notconfig.kvx", "--port", port}, 3, "no configuration keys found in 'notconfig.kvx'"},
        {{"upgrade", "short.Bin", "--port", port, "--yes"}, 3, ""},
        {{"upgrade", DemoFirmware(), "--port", port}, 4, "no: give --agree newer-firmware or --yes"},
        {{"read", "x.kvx", "--port", Path("no-such-port")}, 15, "No such file or directory"},
        {{"read", "x.kvx", "--port", Path("notconfig.kvx")}, 15, "This is not a serial port"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), c.code) << c.args.join(' ').toStdString() << "\n" << err.toStdString();
        EXPECT_TRUE(err.contains(c.says)) << err.toStdString();
        EXPECT_EQ(Lines(err), 1) << err.toStdString();
    }
    EXPECT_EQ(sim->FirmwareBlocks(), 0);
    EXPECT_EQ(sim->ImageWrites(), 0);

    // Another program holds the port.
    TComm holder;
    holder.SetDeviceName(port);
    holder.Open();
    EXPECT_EQ(Run({"identify", "--port", port}), 15);
    EXPECT_TRUE(err.contains("Another program is using this port")) << err.toStdString();
}

TEST_F(Cli, APortTheUserMayNotUseSaysWhoOwnsIt)
{
    // Root opens every device: the refusal needs an ordinary user.
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    if (::geteuid() != 0 || setpriv.isEmpty()) GTEST_SKIP() << "needs root and setpriv to run as another user";
    StartSim();
    ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0755), 0);
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(setpriv,
            {"--reuid=65534", "--regid=65534", "--clear-groups", Program("korvanext-cli"), "identify", "--port", port});
    ASSERT_TRUE(p.waitForFinished(30000));
    const QString said = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 15) << said.toStdString();
    EXPECT_TRUE(said.contains("Port " + port + ": Permission denied")) << said.toStdString();
    // The fix: the group that owns the device, and a new login.
    struct stat st {};
    ASSERT_EQ(::stat(port.toLocal8Bit().constData(), &st), 0);
    const group* owner = ::getgrgid(st.st_gid);
    ASSERT_NE(owner, nullptr);
    EXPECT_TRUE(said.contains(QString("('%1')").arg(owner->gr_name))) << said.toStdString();
    EXPECT_TRUE(said.contains("log in again")) << said.toStdString();
}

TEST_F(Cli, TheGatewaysFaultsHaveTheirExitStatus)
{
    TSimOptions damaged;
    damaged.badChecksum = 3;
    StartSim(damaged);
    EXPECT_EQ(Run({"read", "x.kvx", "--port", port}), 5) << err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("x.kvx")));
    sim->Stop();

    TSimOptions refusing;
    refusing.refuseWrite = true;
    StartSim(refusing);
    ASSERT_EQ(Run({"defaults", "d.kvx"}), 0);
    EXPECT_EQ(Run({"write", "d.kvx", "--port", port}), 5) << err.toStdString();
    sim->Stop();

    TSimOptions other;
    other.hwLetter = 'D';
    StartSim(other);
    EXPECT_EQ(Run({"identify", "--port", port}), 5);
    sim->Stop();

    TSimOptions dropping;
    dropping.dropMidBlock = true;
    StartSim(dropping);
    EXPECT_EQ(Run({"read", "x.kvx", "--port", port}), 10) << err.toStdString();
}

TEST_F(Cli, ASilentGatewayIsGivenUpAfterTheWait)
{
    TSimOptions o;
    o.silentAfter = 0;
    StartSim(o);
    EXPECT_EQ(Run({"identify", "--port", port, "--wait", "1"}), 12);
    EXPECT_EQ(err, "korvanext-cli: The gateway on " + port +
                       " did not answer within 1 s. Check the cable and "
                       "that the gateway is switched on.\n");
    EXPECT_EQ(Run({"backup", "b", "--port", port, "--wait=1", "--verbose"}), 12);
    EXPECT_TRUE(err.contains("Connection timeout"));  // diagnostics only on request
}

TEST_F(Cli, CommandsThatDoNotUpgradeStopAtOldFirmware)
{
    TSimOptions o;
    o.version = "2.9";
    StartSim(o);
    ASSERT_EQ(Run({"defaults", "d.kvx"}), 0);
    for (const QStringList& args : {QStringList{"identify"}, QStringList{"read", "x.kvx"}, QStringList{"backup", "b"},
                                    QStringList{"write", "d.kvx"}}) {
        EXPECT_EQ(Run(args + QStringList{"--port", port, "--yes"}), 4) << args.join(' ').toStdString();
        EXPECT_TRUE(err.contains("has firmware 2.9, older than version 3")) << err.toStdString();
        EXPECT_TRUE(err.contains("'korvanext-cli upgrade FILE' does that"));
        EXPECT_EQ(Lines(err), 1);
    }
    EXPECT_EQ(sim->FirmwareBlocks(), 0);
    EXPECT_EQ(sim->ImageWrites(), 0);
    // The upgrade itself names what it flashes and goes ahead with --yes.
    ASSERT_EQ(Run({"upgrade", DemoFirmware(), "--port", port, "--yes"}), 0) << err.toStdString();
    EXPECT_TRUE(err.contains("File: " + DemoFirmware() + ". File version: 3.20. Gateway version: 2.9."))
        << err.toStdString();
    EXPECT_EQ(sim->Version(), "3.20");
}

TEST_F(Cli, SignalsEndTheOperationAndReleaseTheGateway)
{
    // The firmware resend loop of a gateway that refuses every block.
    // Paced, so that the nine refusals between the tenth (where the window offers
    // Cancel and a first signal stops the transfer) and the twentieth (where the
    // upgrade gives up by itself) take over a second, not a busy machine's moment.
    TSimOptions refusing;
    refusing.badFirmwareAck = -1;
    refusing.throttleBaud = 115200;
    StartSim(refusing);
    // The port is noted apart from the later runs.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_STATE_HOME", dir.filePath("state"));
    auto p = Start({"upgrade", DemoFirmware(), "--port", port, "--yes"}, env);
    ASSERT_TRUE(WaitFor([&] { return sim->FirmwareBlocks() >= 11; }));
    ::kill(pid_t(p->processId()), SIGINT);
    EXPECT_EQ(Finish(std::move(p)), 11);
    EXPECT_EQ(Lines(err.section('\n', 1)), 1) << err.toStdString();  // after the question, one line
    EXPECT_TRUE(err.contains("interrupted by SIGINT: stopped 'upgrade' on " + port));
    EXPECT_TRUE(err.contains("The firmware upgrade did not finish"));
    EXPECT_TRUE(WaitForRelease(*sim)) << sim->CommandLog();
    sim->Stop();

    // The identification of a silent gateway that would be asked for ever.
    TSimOptions silent;
    silent.silentAfter = 0;
    StartSim(silent);
    p = Start({"identify", "--port", port, "--wait", "0"});
    ASSERT_TRUE(WaitFor([&] { return sim->CommandLog().size() >= 2; }));
    ::kill(pid_t(p->processId()), SIGTERM);
    EXPECT_EQ(Finish(std::move(p)), 11);
    EXPECT_EQ(err, "korvanext-cli: interrupted by SIGTERM: stopped 'identify' on " + port + " and closed the port.\n");
    sim->Stop();

    // A read on a slow line.
    TSimOptions slow;
    slow.throttleBaud = 9600;
    StartSim(slow);
    p = Start({"read", "x.kvx", "--port", port});
    ASSERT_TRUE(WaitFor([&] { return sim->CommandLog().find('e') != std::string::npos; }));
    ::kill(pid_t(p->processId()), SIGHUP);
    EXPECT_EQ(Finish(std::move(p)), 11);
    EXPECT_TRUE(err.startsWith("korvanext-cli: interrupted by SIGHUP")) << err.toStdString();
    EXPECT_FALSE(QFile::exists(Path("x.kvx")));
    EXPECT_TRUE(WaitForRelease(*sim)) << sim->CommandLog();
}

TEST_F(Cli, ValuesInFilesAreReadAndSetByKey)
{
    ASSERT_EQ(Run({"defaults", "a.kvx"}), 0);
    EXPECT_EQ(Run({"set", "a.kvx", "FXSVolRec=99", "GSMNum:2=+420 600", "--yes"}), 0);
    EXPECT_TRUE(err.contains("FXSVolRec: \"99\" is stored as \"5\"")) << err.toStdString();
    EXPECT_TRUE(err.contains("GSMNum:2: \"+420 600\" is stored as \"+420600\"")) << err.toStdString();
    EXPECT_EQ(Run({"get", "a.kvx", "FXSVolRec"}), 0);
    EXPECT_EQ(out, "5\n");
    EXPECT_EQ(Run({"get", "a.kvx", "GSMNum:2"}), 0);
    EXPECT_EQ(out, "+420600\n");
    EXPECT_EQ(Run({"get", "a.kvx", "GSMNum"}), 0);
    EXPECT_EQ(out.count('\n'), 120);
    EXPECT_TRUE(out.startsWith("GSMNum:1\t\nGSMNum:2\t+420600\n"));

    // Mistakes change nothing and say what was meant.
    const QByteArray before = ReadFile("a.kvx");
    EXPECT_EQ(Run({"set", "a.kvx", "FXSVolRec=2", "fxsvolrek=1"}), 1);
    EXPECT_TRUE(err.contains("unknown key 'fxsvolrek'; the closest is 'FXSVolRec'")) << err.toStdString();
    EXPECT_EQ(Run({"set", "a.kvx", "GSMNum:121=1"}), 1);
    EXPECT_EQ(Run({"set", "a.kvx", "GSMNum=1"}), 1);
    // The gateway keeps a byte a character: one it has none for is no adjustment to make silently.
    EXPECT_EQ(Run({"set", "a.kvx", QString::fromUtf8("SMSText=\xC5\x81odz")}), 3);
    EXPECT_TRUE(
        err.contains(QString::fromUtf8("SMSText: \"\xC5\x81odz\" holds '\xC5\x81', which the gateway cannot store")))
        << err.toStdString();
    EXPECT_EQ(ReadFile("a.kvx"), before);
    EXPECT_EQ(Run({"set", "a.kvx", QString::fromUtf8("SMSText=M\xC3\xBCller")}), 0) << err.toStdString();
    EXPECT_EQ(Run({"get", "a.kvx", "SMSText"}), 0);
    EXPECT_EQ(out, QString::fromUtf8("M\xC3\xBCller\n"));
    ASSERT_EQ(Run({"set", "a.kvx", "SMSText="}), 0);

    // diff says how to get from A to B.
    ASSERT_EQ(Run({"defaults", "b.kvx"}), 0);
    EXPECT_EQ(Run({"diff", "b.kvx", "a.kvx"}), 6);
    EXPECT_EQ(out, "FXSVolRec \"3\" -> \"5\"\nGSMNum:2 \"\" -> \"+420600\"\n");
    EXPECT_EQ(Run({"diff", "b.kvx", "a.kvx", "--json"}), 6);
    const QJsonArray d = Json()["differences"].toArray();
    ASSERT_EQ(d.size(), 2);
    EXPECT_EQ(d[1].toObject()["row"].toInt(), 2);
    EXPECT_EQ(d[1].toObject()["to"].toString(), "+420600");
}

TEST_F(Cli, HelpAndVersion)
{
    EXPECT_EQ(Run({"--version"}), 0);
    EXPECT_EQ(out, "korvanext-cli " KVX_VERSION "\n");
    EXPECT_EQ(Run({"--help"}), 0);
    for (const char* word : {"identify", "get", "set", "--wait", "--json", "--ports-from", "12  no answer"})
        EXPECT_TRUE(out.contains(word)) << word;
    EXPECT_EQ(Run({"write", "--help"}), 0);
    EXPECT_TRUE(out.startsWith("usage: korvanext-cli write"));
    EXPECT_EQ(Run({}), 1);

    // The window and the simulator answer without a display.
    for (const char* program : {"korvanext", "korvanext-gatewaysim"}) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        p.setProcessEnvironment(env);
        p.start(Program(program), {"--version"});
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitCode(), 0) << program;
        EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()), QString(program) + " " KVX_VERSION "\n");
    }
}

TEST_F(Cli, FilesThatAreNoConfigurationAreRefused)
{
    WriteFile("empty.kvx", "");
    WriteFile("random.kvx", QByteArray(3000, '\x9c'));
    WriteFile("old.kvx", "FXSVolRec=\"2\"\nRetired=\"1\"\n");
    WriteFile("image.bin", QByteArray(ImageLayout::ImageSize + 1, '\0'));
    // A write of such a file would put the default configuration into the gateway.
    EXPECT_EQ(Run({"write", "empty.kvx", "--port", Path("no-such-port")}), 3);
    EXPECT_TRUE(err.contains("no configuration keys found in 'empty.kvx'")) << err.toStdString();
    EXPECT_EQ(Run({"encode", "random.kvx", "x.bin"}), 3);
    EXPECT_FALSE(QFile::exists(Path("x.bin")));
    EXPECT_EQ(Run({"encode", "old.kvx", "x.bin"}), 0);
    EXPECT_TRUE(err.contains("'old.kvx': 1 unknown keys ignored: Retired")) << err.toStdString();
    EXPECT_EQ(Run({"decode", "image.bin", "y.kvx"}), 3);
    EXPECT_TRUE(err.contains("too large (12289 bytes, at most 12288)")) << err.toStdString();
    // Devices and FIFOs are not read at all: no endless read, no blocking open.
    EXPECT_EQ(Run({"decode", "/dev/zero", "y.kvx"}), 2);
    EXPECT_TRUE(err.contains("cannot read '/dev/zero': not a regular file")) << err.toStdString();
    ASSERT_EQ(::mkfifo(Path("fifo").toLocal8Bit().constData(), 0600), 0);
    EXPECT_EQ(Run({"diff", "fifo", "--defaults"}), 2);
    EXPECT_EQ(Run({"upgrade", "fifo", "--port", Path("no-such-port"), "--yes"}), 2);
    EXPECT_EQ(Run({"encode", "missing.kvx", "x.bin"}), 2);
    EXPECT_TRUE(err.contains("cannot read 'missing.kvx': no such file")) << err.toStdString();
    EXPECT_EQ(Run({"defaults", "."}), 2);
    EXPECT_TRUE(err.contains("cannot write '.': it is a folder")) << err.toStdString();
}

TEST_F(Cli, AnInterruptInABlockFinishesItAndASecondStopsAtOnce)
{
    FileWithBothBlocks(*this);
    const QString state = dir.filePath("state");
    // A gateway that waits for ever for the rest of a block: the worst case.
    TSimOptions o;
    o.throttleBaud = 57600;
    o.blockAbandonMs = 0;
    StartSim(o);
    const std::vector<uint8_t> before = sim->Image();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_STATE_HOME", state);
    auto start = [&](const QStringList& args) { return Start(args, env); };
    auto p = start({"write", "new.kvx", "--port", port, "--no-backup", "--json"});
    ASSERT_TRUE(WaitFor([&] { return sim->WriteCommands() >= 2; }));
    ::kill(pid_t(p->processId()), SIGINT);
    EXPECT_EQ(Finish(std::move(p)), 11) << err.toStdString();
    EXPECT_FALSE(Json()["partial"].toBool());
    EXPECT_EQ(sim->ImageWrites(), 2);
    EXPECT_TRUE(WaitForRelease(*sim)) << sim->CommandLog();
    const std::string log = sim->CommandLog();
    EXPECT_EQ(log.substr(log.rfind('G')), "GA") << log;
    // Both blocks whole: the gateway answers at once.
    EXPECT_EQ(Run({"identify", "--port", port, "--wait", "3"}), 0) << err.toStdString();

    // Two interrupts: the block is cut, and that is said and remembered.
    sim->SetImage(before);
    const int writes = sim->ImageWrites();
    p = start({"write", "new.kvx", "--port", port, "--no-backup", "--json"});
    ASSERT_TRUE(WaitFor([&] { return sim->WriteCommands() >= 4; }));
    ::kill(pid_t(p->processId()), SIGINT);
    PumpEvents(30);
    ::kill(pid_t(p->processId()), SIGINT);
    EXPECT_EQ(Finish(std::move(p)), 11) << err.toStdString();
    EXPECT_EQ(sim->ImageWrites(), writes + 1);  // block 2 never complete
    EXPECT_TRUE(Json()["partial"].toBool());
    EXPECT_TRUE(Json()["error"].toString().contains("interrupted by SIGINT twice")) << out.toStdString();
    EXPECT_TRUE(Json()["error"].toString().contains("middle of block 2")) << out.toStdString();
    p = start({"identify", "--port", port, "--wait", "2"});
    EXPECT_EQ(Finish(std::move(p)), 12);
    EXPECT_TRUE(err.contains("may still be waiting for the rest of a block")) << err.toStdString();
}

TEST_F(Cli, EveryCommandAndEveryErrorGivesOneJsonDocument)
{
    ASSERT_EQ(Run({"defaults", "a.kvx"}), 0);
    struct {
        QStringList args;
        int code;
        const char* error;  // nullptr: none
    } cases[] = {
        {{"frobnicate", "--json"}, 1, "unknown command 'frobnicate'"},
        {{"read", "--json", "x.kvx", "y.kvx"}, 1, "2 arguments given"},
        {{"keys", "--json", "--bogus"}, 1, "Unknown option 'bogus'"},
        {{"get", "a.kvx", "Nonsense", "--json"}, 1, "unknown key 'Nonsense'"},
        {{"encode", "missing.kvx", "x.bin", "--json"}, 2, "cannot read 'missing.kvx': no such file"},
        {{"keys", "--json"}, 0, nullptr},
        {{"get", "a.kvx", "GSMNum:2", "--json"}, 0, nullptr},
        {{"set", "a.kvx", "FXSVolRec=99", "--json", "--yes"}, 0, nullptr},
        {{"encode", "a.kvx", "a.bin", "--json"}, 0, nullptr},
        {{"decode", "a.bin", "b.kvx", "--json"}, 0, nullptr},
        // Spelt otherwise, or before the command.
        {{"--json", "keys"}, 0, nullptr},
        {{"keys", "--json=1"}, 0, nullptr},
        {{"keys", "--jsonx"}, 1, "Unknown option 'jsonx'"},
        {{"--jsonx", "keys"}, 1, "Unknown option 'jsonx'"},
        // A network port that is none is a wrong command line, not a port that cannot be opened.
        {{"identify", "--port", "rfc2217://gw", "--json"}, 1, "'rfc2217://gw' is no network port"},
        // At once, not after a wait on a line whose speed cannot be set.
        {{"signal", "--port", "socket://127.0.0.1:9", "--json"}, 1, "port as rfc2217://127.0.0.1:9"},
        {{"identify", "--port", "socket://ops:hunter2@gw:4001", "--json"},
         1,
         "'socket://ops:***@gw:4001' is no network port"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.args), c.code) << c.args.join(' ').toStdString();
        QJsonParseError e{};
        const QJsonObject j = QJsonDocument::fromJson(out.toUtf8(), &e).object();
        ASSERT_EQ(e.error, QJsonParseError::NoError) << c.args.join(' ').toStdString() << ": " << out.toStdString();
        EXPECT_EQ(j["exit"].toInt(-1), c.code);
        if (c.error) EXPECT_TRUE(j["error"].toString().contains(c.error)) << out.toStdString();
        else EXPECT_TRUE(j["error"].isNull()) << out.toStdString();
    }
    EXPECT_FALSE((out + err).contains("hunter2"));  // the last case's password
    // The fields of each command.
    Run({"keys", "--json"});
    EXPECT_EQ(Json()["keys"].toArray().size(), 131);
    Run({"set", "a.kvx", "FXSVolRec=99", "--json", "--yes"});
    EXPECT_EQ(Json()["changed"].toArray()[0].toObject()["stored"].toString(), "5");
    Run({"get", "a.kvx", "FXSVolRec", "--json"});
    EXPECT_EQ(Json()["value"].toString(), "5");
    EXPECT_EQ(Run({"get", "a.kvx", "GSMNum", "--json"}), 0);
    EXPECT_EQ(Json()["values"].toArray().size(), 120);
}

TEST_F(Cli, TextFromTheGatewayIsShownNotObeyed)
{
    TSimOptions o;
    o.serial = "KX\x1b]0;owned\a\nSerialNum\tforged";
    StartSim(o);
    ASSERT_EQ(Run({"identify", "--port", port}), 0) << err.toStdString();
    EXPECT_EQ(Lines(out), 4) << out.toStdString();
    EXPECT_TRUE(out.contains("SerialNum\tKX\\x1b]0;owned\\x07\\x0aSerialNum\\x09forged\n")) << out.toStdString();
    EXPECT_FALSE(out.contains('\x1b'));
    ASSERT_EQ(Run({"identify", "--port", port, "--json"}), 0);
    EXPECT_EQ(Json()["serial"].toString(), QString::fromStdString(o.serial));  // JSON carries it exactly
    // Messages too: the folder of a read is named after the serial number, the file's listing escapes it.
    ASSERT_EQ(Run({"read", "r.kvx", "--port", port}), 0);
    EXPECT_EQ(Run({"get", "r.kvx", "SerialNum"}), 0);
    EXPECT_EQ(out, "KX\\x1b]0;owned\\x07\\x0aSerialNum\\x09forged\n");
}

TEST_F(Cli, FilesNamedBySerialNumberAreNeverSharedNorWrittenThroughALink)
{
    Rack rack;
    for (int i = 0; i < 2; ++i) {
        TSimOptions o;
        o.serial = "KX-7";
        rack.Add(o);
    }
    ASSERT_EQ(Run({"read", "fleet/", "--port", rack.ports[0], "--port", rack.ports[1], "--json"}), 0)
        << err.toStdString();
    QStringList files;
    for (const QJsonValue g : Json()["gateways"].toArray()) files << g.toObject()["file"].toString();
    ASSERT_EQ(files.size(), 2);
    EXPECT_NE(files[0], files[1]);
    for (const QString& f : files) EXPECT_TRUE(ReadFile(f).contains("SerialNum=\"KX-7\"")) << f.toStdString();
    EXPECT_TRUE(files.contains("fleet/KX-7.kvx")) << files.join(' ').toStdString();
    const QJsonArray duplicates = Json()["duplicates"].toArray();
    ASSERT_EQ(duplicates.size(), 1);
    EXPECT_EQ(duplicates[0].toObject()["serial"].toString(), "KX-7");
    EXPECT_TRUE(err.contains("report the same serial number KX-7")) << err.toStdString();

    // A link planted at the name is not written through; the file gets the port's name.
    WriteFile("victim", "keep");
    ASSERT_TRUE(QDir(dir.path()).mkdir("planted"));
    ASSERT_TRUE(QFile::link(Path("victim"), Path("planted/KX-7.kvx")));
    ASSERT_EQ(Run({"read", "planted/", "--port", rack.ports[0]}), 0) << err.toStdString();
    EXPECT_EQ(ReadFile("victim"), "keep");
    const QString written = out.trimmed();
    EXPECT_TRUE(written.startsWith("planted/KX-7-")) << written.toStdString();
    EXPECT_TRUE(ReadFile(written).contains("SerialNum=\"KX-7\""));

    // A backup's image holds the PIN and the service password: both files for the user only.
    ASSERT_EQ(Run({"backup", "saved", "--port", rack.ports[1]}), 0) << err.toStdString();
    const QStringList backup = out.trimmed().split('\n');
    ASSERT_EQ(backup.size(), 2);
    for (const QString& f : backup) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(QDir(dir.path()).filePath(f)).constData(), &st), 0) << f.toStdString();
        EXPECT_EQ(st.st_mode & 0777, 0600u) << f.toStdString();
    }
}

TEST_F(Cli, APortLockedByAnotherProgramIsLeftAlone)
{
    if (::access("/run/lock", W_OK) != 0) GTEST_SKIP() << "/run/lock cannot be written here";
    TSimOptions o;
    o.silentAfter = 2;
    StartSim(o);
    const QString lock = "/run/lock/LCK.." + QFileInfo(port).fileName();
    {
        QFile f(lock);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) << lock.toStdString();
        f.write("         1\n");
    }
    EXPECT_EQ(Run({"identify", "--port", port, "--json"}), 15);
    QFile::remove(lock);
    EXPECT_TRUE(Json()["error"].toString().contains("in use by process 1")) << out.toStdString();
    EXPECT_TRUE(sim->CommandLog().empty()) << sim->CommandLog();

    // A modem held so is not dialled either.
    TSimOptions m;
    m.modem = true;
    CGatewaySim modem(m);
    std::string error;
    ASSERT_TRUE(modem.Start(&error)) << error;
    const QString modemPath = QString::fromStdString(modem.SlavePath());
    const QString modemLock = "/run/lock/LCK.." + QFileInfo(modemPath).fileName();
    {
        QFile f(modemLock);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::NewOnly)) << modemLock.toStdString();
        f.write("         1\n");
    }
    EXPECT_NE(Run({"identify", "--modem-number", "123", "--modem", modemPath}), 0);
    QFile::remove(modemLock);
    EXPECT_TRUE(err.contains("in use by process 1")) << err.toStdString();
    EXPECT_TRUE(modem.CommandLog().empty()) << modem.CommandLog();
    modem.Stop();

    // This program's own lock, under the real device's name, is there while it
    // holds the port, and gone after.
    const QString own = "/run/lock/" + UucpLockNames(port).front();
    auto p = Start({"identify", "--port", port, "--wait", "2"});
    EXPECT_TRUE(WaitFor([&] { return QFile::exists(own); }));
    EXPECT_EQ(ParseNumber(ReadFile(own).constData()), int(p->processId()));
    Finish(std::move(p));
    EXPECT_FALSE(QFile::exists(own));
}
