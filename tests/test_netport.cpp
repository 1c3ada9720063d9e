#include "Dialing.h"
#include "Hayesmodem.h"
#include "Terminal.h"
#include "Demo.h"
#include "Netport.h"
#include "Telnetcodec.h"
#include "clirun.h"
#include "countingserver.h"
#include "hostilepeer.h"
#include "ser2netfixture.h"
#include "simfixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {
using Codec = TTelnetCodec;
std::string Bytes(std::initializer_list<int> b)
{
    std::string s;
    for (int c : b) s += char(c);
    return s;
}
// Feeds text to the codec in pieces of `step` bytes and returns the data.
std::string Decode(Codec& c, const std::string& text, size_t step = 1)
{
    std::string data;
    for (size_t i = 0; i < text.size(); i += step) {
        const size_t n = std::min(step, text.size() - i);
        std::string out(n, '\0');
        out.resize(
            c.Decode(reinterpret_cast<const uint8_t*>(text.data() + i), n, reinterpret_cast<uint8_t*>(out.data())));
        data += out;
    }
    return data;
}
// The server's side of a good opening: binary both ways and the COM-PORT-OPTION taken.
const std::string kAgree = Bytes({255, 253, 0, 255, 251, 0, 255, 253, 44});
}  // namespace

TEST(NetPortTelnetCodec, DataBytes0xFFAreDoubledOnTheLineAndSingleInTheProgram)
{
    std::string data;
    for (int i = 0; i < 512; ++i) data += char(i % 7 == 0 ? 0xFF : i);
    std::string line;
    Codec::Escape(reinterpret_cast<const uint8_t*>(data.data()), data.size(), line);
    EXPECT_EQ(line.size(), data.size() + size_t(std::count(data.begin(), data.end(), char(0xFF))));
    // However the reads cut it, an IAC IAC pair among them included.
    for (size_t step : {size_t(1), size_t(2), size_t(3), size_t(64), line.size()}) {
        Codec c;
        EXPECT_EQ(Decode(c, line, step), data) << step;
        EXPECT_TRUE(c.TakeReplies().empty());
    }
    // The COM-PORT-OPTION's values are escaped the same way.
    EXPECT_EQ(Codec::ComPortCommand(Codec::SetBaudrate, Bytes({0, 0, 0xFF, 1})),
              Bytes({255, 250, 44, 1, 0, 0, 255, 255, 1, 255, 240}));
}

TEST(NetPortTelnetCodec, NegotiationAnswersOnlyChangesAndNeverTakesAnEcho)
{
    Codec c;
    const std::string offers = c.Start();
    EXPECT_EQ(offers, Bytes({255, 251, 0, 255, 253, 0, 255, 251, 3, 255, 253, 3, 255, 251, 44}));
    EXPECT_FALSE(c.Ready());
    // Agreeing to our own offers needs no answer.
    EXPECT_EQ(Decode(c, kAgree + "ok"), "ok");
    EXPECT_TRUE(c.TakeReplies().empty());
    EXPECT_TRUE(c.Ready());
    // An echo would mix our bytes into the replies: declined once, however often offered.
    Decode(c, Bytes({255, 251, 1, 255, 251, 1, 255, 253, 24, 255, 253, 24}));
    EXPECT_EQ(c.TakeReplies(), Bytes({255, 254, 1, 255, 252, 24}));
    // An option it turns off is acknowledged once; the refusal of binary mode is noted.
    Decode(c, Bytes({255, 252, 0, 255, 252, 0}));
    EXPECT_EQ(c.TakeReplies(), Bytes({255, 254, 0}));
    EXPECT_TRUE(c.Refused());
    EXPECT_FALSE(c.Ready());

    Codec noComPort;
    noComPort.Start();
    Decode(noComPort, Bytes({255, 254, 44}));
    EXPECT_TRUE(noComPort.Refused());
}

TEST(NetPortTelnetCodec, SubnegotiationsAreBoundedAndTheirAnswersCounted)
{
    Codec c;
    c.Start();
    // 57600 = 0x0000E100, split over single-byte reads, data around it.
    EXPECT_EQ(Decode(c, "a" + Bytes({255, 250, 44, 101, 0, 0, 0xE1, 0, 255, 240}) + "b"), "ab");
    EXPECT_EQ(c.Acks(Codec::SetBaudrate), 1u);
    EXPECT_EQ(c.AckedBaud(), 57600u);
    // A value with 0xFF in it arrives doubled.
    Decode(c, Bytes({255, 250, 44, 101, 0, 0, 255, 255, 1, 255, 240}), 4);
    EXPECT_EQ(c.AckedBaud(), 0xFF01u);
    // A flood inside a subnegotiation is dropped, not stored, and data resumes after it.
    EXPECT_EQ(Decode(c, Bytes({255, 250, 44, 101}) + std::string(100000, '\x01') + Bytes({255, 240}) + "c", 4096), "c");
    EXPECT_EQ(c.Dropped(), 1u);
    EXPECT_EQ(c.Acks(Codec::SetBaudrate), 2u);
    // A command inside an unfinished subnegotiation ends it and still counts.
    EXPECT_EQ(Decode(c, Bytes({255, 250, 44, 101, 0, 255, 251, 1}) + "d"), "d");
    EXPECT_EQ(c.Dropped(), 2u);
    EXPECT_EQ(c.TakeReplies(), Bytes({255, 254, 1}));
    // One that never ends swallows what follows but holds no more than its bound.
    EXPECT_EQ(Decode(c, Bytes({255, 250, 44}) + std::string(10000, 'x'), 999), "");
    EXPECT_EQ(c.Acks(Codec::SetBaudrate), 2u);
}

TEST(NetPort, Names)
{
    TNetworkAddress a;
    ASSERT_TRUE(ParseNetworkPort("socket://gw-rack.example:3001", a));
    EXPECT_FALSE(a.comPort);
    EXPECT_EQ(a.Name(), "gw-rack.example:3001");
    ASSERT_TRUE(ParseNetworkPort(" RFC2217://[fe80::1%eth0]:2217/ ", a));
    EXPECT_TRUE(a.comPort);
    EXPECT_EQ(a.host, "fe80::1%eth0");
    EXPECT_EQ(a.Name(), "[fe80::1%eth0]:2217");
    for (const char* bad : {"socket://host", "socket://host:0", "socket://host:65536", "rfc2217://::1:22",
                            "socket://:22", "socket://a b:22", "tcp://host:22", "/dev/ttyS0", "socket://h:22/path"}) {
        EXPECT_FALSE(ParseNetworkPort(bad, a)) << bad;
    }
    EXPECT_TRUE(IsNetworkPort("socket://host"));  // a network port, though a wrong one: never a device path
    EXPECT_FALSE(IsNetworkPort("/dev/socket"));
    EXPECT_EQ(TComm::DevicePath("rfc2217://h:1"), "rfc2217://h:1");
}

namespace {
// A one-connection server on loopback that runs `serve` with the accepted socket.
struct TFakeServer {
    explicit TFakeServer(std::function<void(int)> serve)
    {
        const TLoopbackSocket s = LoopbackSocket();
        listener = s.fd;
        port = s.port;
        EXPECT_NE(port, 0);
        thread = std::thread([this, serve] {
            const int fd = ::accept(listener, nullptr, nullptr);
            if (fd < 0) return;
            serve(fd);
            ::close(fd);
        });
    }
    ~TFakeServer()
    {
        ::shutdown(listener, SHUT_RDWR);
        thread.join();
        ::close(listener);
    }
    QString Url(const char* scheme) const { return QString("%1://127.0.0.1:%2").arg(scheme).arg(port); }
    int listener;
    int port = 0;
    std::thread thread;
};

// Reads until the peer closes or `ms` pass.
std::string Drink(int fd, int ms)
{
    std::string got;
    timeval tv{0, 50000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    QElapsedTimer t;
    t.start();
    char b[4096];
    while (t.elapsed() < ms) {
        const ssize_t n = ::recv(fd, b, sizeof b, 0);
        if (n == 0) break;
        if (n > 0) got.append(b, size_t(n));
    }
    return got;
}

TNetFailure OpenFails(const QString& url, std::string* device = nullptr, std::string* text = nullptr)
{
    try {
        OpenNetworkPort(url, TLineSettings{}, 1500);
    } catch (const ECommError& e) {
        if (device) *device = e.Device;
        if (text) *text = e.Text;
        return e.NetFailure;
    }
    return nfNone;
}
}  // namespace

TEST(NetPort, EachFailureNamesTheServerAndItsCause)
{
    std::string device, text;
    const int closedPort = TSer2net::FreePort();
    EXPECT_EQ(OpenFails(QString("socket://127.0.0.1:%1").arg(closedPort), &device), nfRefused);
    EXPECT_EQ(device, "127.0.0.1:" + std::to_string(closedPort));
    EXPECT_EQ(OpenFails("socket://host.invalid:1", &device), nfHostNotFound);
    EXPECT_EQ(OpenFails("socket://host.invalid", &device), nfBadName);
    {
        // A raw port named as rfc2217:// never confirms the COM-PORT-OPTION: given up within the bound.
        TFakeServer silent([](int fd) { Drink(fd, 3000); });
        EXPECT_EQ(OpenFails(silent.Url("rfc2217")), nfNoComPort);
    }
    {
        TFakeServer refusing([](int fd) {
            const std::string no = Bytes({255, 254, 44});
            (void)!::write(fd, no.data(), no.size());
            Drink(fd, 1000);
        });
        EXPECT_EQ(OpenFails(refusing.Url("rfc2217")), nfNoComPort);
    }
    {
        // A server that turns the client away says why, and the message keeps it.
        TFakeServer busy([](int fd) { (void)!::write(fd, "Port already in use\r\n", 21); });
        EXPECT_EQ(OpenFails(busy.Url("rfc2217"), nullptr, &text), nfClosed);
        EXPECT_NE(text.find("Port already in use"), std::string::npos) << text;
    }
}

// Terminal servers that misbehave: each run ends within its bound, says what
// the server did and names it, and holds no more memory than it should.
TEST(NetPort, HostileServersEndTheRunWithTheirCause)
{
    QTemporaryDir dir;
    QString out, err;
    auto run = [&](const QString& port, QElapsedTimer& took) {
        took.start();
        return RunCli({"identify", "--port", port, "--wait", "2"}, dir.path(), out, err,
                      QProcessEnvironment::systemEnvironment(), 15000);
    };
    QElapsedTimer took;
    {
        THostilePeer dripping;
        const QString url = QString("socket://127.0.0.1:%1").arg(dripping.StartTcp(THostilePeer::Drip(50)));
        EXPECT_EQ(run(url, took), 5) << err.toStdString();
        EXPECT_LT(took.elapsed(), 4000);  // twice --wait
        EXPECT_TRUE(err.contains("The device on " + url + " is not a gateway of this kind")) << err.toStdString();
    }
    {
        THostilePeer closing;
        const int port = closing.StartTcp(THostilePeer::HangUp());
        EXPECT_EQ(run(QString("socket://127.0.0.1:%1").arg(port), took), 15) << err.toStdString();
        EXPECT_LT(took.elapsed(), 2000);
        EXPECT_TRUE(err.contains(QString("127.0.0.1:%1 cannot be opened: The server closed the connection").arg(port)))
            << err.toStdString();
        EXPECT_TRUE(err.contains("The terminal server closed the connection")) << err.toStdString();
    }
    {
        THostilePeer looping;
        const int port = looping.StartTcp(THostilePeer::OptionLoop());
        EXPECT_EQ(run(QString("rfc2217://127.0.0.1:%1").arg(port), took), 15) << err.toStdString();
        EXPECT_LT(took.elapsed(), 4000);
        EXPECT_TRUE(err.contains(QString("127.0.0.1:%1 cannot be opened: The server negotiates without end").arg(port)))
            << err.toStdString();
        EXPECT_LT(ChildrenMaxRssKb(), kPeerMemoryCapKb);
    }
}

TEST(NetPort, ANameServiceThatNeverAnswersIsBoundedByTheWait)
{
    // The resolver's own bounds (tries and time-outs of each name server) can
    // add up to minutes. A name server that takes questions and never answers
    // is put in place of the machine's in a mount namespace of the tool's own.
    const QString unshare = QStandardPaths::findExecutable("unshare");
    if (geteuid() != 0 || unshare.isEmpty() || QProcess::execute(unshare, {"-m", "true"}) != 0)
        GTEST_SKIP() << "needs root and unshare -m to put a silent name server in place";
    const int dns = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(53);
    a.sin_addr.s_addr = htonl(0x7F53290B);  // 127.83.41.11
    ASSERT_EQ(::bind(dns, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << std::strerror(errno);
    QTemporaryDir dir;
    QFile conf(dir.filePath("resolv.conf"));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("nameserver 127.83.41.11\noptions timeout:10 attempts:3\n");
    conf.close();
    QString out, err;
    QElapsedTimer took;
    took.start();
    const int rc = RunCli({"-m", "sh", "-c", "mount --bind \"$0\" /etc/resolv.conf && exec \"$@\"", conf.fileName(),
                           QCoreApplication::applicationDirPath() + "/korvanext-cli", "identify", "--port",
                           "socket://gw7.rack.example:3000", "--wait", "2"},
                          dir.path(), out, err, QProcessEnvironment::systemEnvironment(), 60000, unshare);
    ::close(dns);
    EXPECT_EQ(rc, 15) << err.toStdString();
    // Not a measurement: far below the 30 s the resolver alone would take.
    EXPECT_LT(took.elapsed(), 15000);
    EXPECT_TRUE(err.contains("gw7.rack.example:3000 cannot be opened: The host name could not be looked up in time"))
        << err.toStdString();
    EXPECT_TRUE(err.contains("The name service did not answer in time")) << err.toStdString();
}

TEST(NetPort, Rfc2217SetsTheLineAndEscapesBothWays)
{
    std::atomic<int> baudSeen{0};
    std::string received;
    auto server = std::make_unique<TFakeServer>([&](int fd) {
        // A minimal terminal server: agrees, confirms every baud rate, sends 0xFF doubled.
        auto answer = [&](const std::string& s) { (void)!::write(fd, s.data(), s.size()); };
        answer(kAgree);
        Codec c(false);
        std::string raw;
        QElapsedTimer t;
        t.start();
        char b[4096];
        timeval tv{0, 20000};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        while (t.elapsed() < 10000) {
            const ssize_t n = ::recv(fd, b, sizeof b, 0);
            if (n == 0) break;
            if (n < 0) continue;
            raw.append(b, size_t(n));
            // Every SET-BAUDRATE is answered with its value.
            for (size_t at; (at = raw.find(Bytes({255, 250, 44, 1}))) != std::string::npos;) {
                const std::string value = raw.substr(at + 4, 4);
                if (value.size() < 4 || raw.find(Bytes({255, 240}), at) == std::string::npos) break;
                baudSeen = uint8_t(value[2]) << 8 | uint8_t(value[3]);
                answer(Bytes({255, 250, 44, 101}) + value + Bytes({255, 240}));
                raw.erase(at, 10);
            }
            if (raw.find("END") != std::string::npos) {
                received = raw;
                answer(Bytes({'<', 255, 255, 0, 255, 255, '>'}));
            }
        }
    });
    TComm comm;
    comm.SetDeviceName(server->Url("rfc2217"));
    comm.SetBaudRate(br19200);
    comm.Open();
    EXPECT_TRUE(comm.Network());
    EXPECT_EQ(baudSeen, 19200);
    // The monitor's change of speed reaches the server's line while open.
    comm.SetBaudRate(br57600);
    EXPECT_EQ(baudSeen, 57600);
    const std::string data = Bytes({1, 255, 2, 255, 255}) + "END";
    ASSERT_EQ(comm.Write(data.data(), int(data.size())), int(data.size()));
    std::string got;
    QElapsedTimer t;
    t.start();
    while (got.size() < 5 && t.elapsed() < 5000) {
        char b[64];
        const int n = comm.Read(b, sizeof b);
        got.append(b, size_t(n));
        if (n == 0) QThread::msleep(5);
    }
    EXPECT_EQ(got, Bytes({'<', 255, 0, 255, '>'}));
    EXPECT_TRUE(comm.Drain(1000));
    comm.Close();
    server.reset();  // what it received is read once its thread is done
    EXPECT_NE(received.find(Bytes({1, 255, 255, 2, 255, 255, 255, 255}) + "END"), std::string::npos);
}

// ---------------------------------------------------------------- through a real ser2net

namespace {
struct NetPortSer2net : SimFixture, TCliRunner {
    using TCliRunner::Run;  // not the test's own Run
    void Serve(TSimOptions o = {})
    {
        StartSim(o);
        const QString why = server.Start({port});
        ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    }
    TSer2net server;
};
}  // namespace

TEST_F(NetPortSer2net, ReadWriteCompareAndUpgradeThroughRawAndRfc2217)
{
    Serve();
    const auto& p = server.ports[0];
    for (const QString& url : {p.raw, p.rfc2217}) {
        ASSERT_EQ(Run({"identify", "--port", url}), 0) << url.toStdString() << err.toStdString();
        EXPECT_TRUE(out.contains("KX2-004711"));
    }
    ASSERT_EQ(Run({"read", "gw.kvx", "--port", p.rfc2217}), 0) << err.toStdString();
    QByteArray text = ReadFile("gw.kvx");
    text.replace("FXSVolRec=\"3\"", "FXSVolRec=\"1\"");
    WriteFile("gw.kvx", text);
    // The image holds 0xFF bytes: through telnet they must arrive single, and the
    // write reads each block back to verify it.
    const std::vector<uint8_t> before = sim->Image();
    ASSERT_GT(std::count(before.begin(), before.end(), 0xFF), 0);
    ASSERT_EQ(Run({"write", "gw.kvx", "--port", p.rfc2217, "--yes"}), 0) << err.toStdString();
    EXPECT_EQ(sim->Image()[33], 1);
    EXPECT_EQ(Run({"compare", "gw.kvx", "--port", p.raw}), 0) << out.toStdString() << err.toStdString();
    ASSERT_EQ(Run({"write", "gw.kvx", "--port", p.raw, "--yes"}), 0) << err.toStdString();
    ASSERT_EQ(Run({"upgrade", DemoFolder() + "Korvanext-3.20-demo.Bin", "--port", p.rfc2217, "--yes"}), 0)
        << err.toStdString();
    EXPECT_EQ(sim->Version(), "3.20");
}

TEST_F(NetPortSer2net, TheMonitorsSpeedReachesTheLineThroughRfc2217)
{
    Serve();
    CCOMTerminal term;
    // The simulated module answers AT commands only at 57600 baud: the change of
    // speed must go through the COM-PORT-OPTION to the server's serial line.
    try {
        term.Connect(server.ports[0].rfc2217, 57600);
    } catch (const CCOMTermExp& e) {
        FAIL() << e.Device << ": " << e.Detail;
    }
    term.m_Terminator = 13;
    EXPECT_EQ(term.SendAndWait("AT+CSQ", "OK\r\n", "ERROR\r\n"), 1);
    EXPECT_EQ(term.Extract("+CSQ:", ","), "17");
    term.Close();
}

TEST_F(NetPortSer2net, AFleetOfFourAcrossTheTerminalServer)
{
    std::vector<std::unique_ptr<CGatewaySim>> sims;
    QStringList devices;
    for (int i = 1; i <= 4; ++i) {
        TSimOptions o;
        o.serial = "KX-" + std::to_string(i);
        sims.push_back(std::make_unique<CGatewaySim>(o));
        std::string error;
        ASSERT_TRUE(sims.back()->Start(&error)) << error;
        devices << QString::fromStdString(sims.back()->SlavePath());
    }
    const QString why = server.Start(devices);
    ASSERT_TRUE(why.isEmpty()) << why.toStdString();
    QByteArray list;
    for (size_t i = 0; i < server.ports.size(); ++i)
        list += (i % 2 ? server.ports[i].raw : server.ports[i].rfc2217).toUtf8() + "\n";
    WriteFile("ports", list);
    ASSERT_EQ(Run({"read", "fleet/", "--ports-from", "ports"}), 0) << err.toStdString() << out.toStdString();
    for (int i = 1; i <= 4; ++i)
        EXPECT_TRUE(
            ReadFile(QString("fleet/KX-%1.kvx").arg(i)).contains(QString("SerialNum=\"KX-%1\"").arg(i).toUtf8()))
            << i;
    for (auto& s : sims) s->Stop();
}

TEST_F(NetPortSer2net, AServerThatDiesMidTransferIsALineLost)
{
    // Paced as a real line, so that a block is still on its way when the server goes.
    TSimOptions o;
    o.throttleBaud = 19200;
    Serve(o);
    for (const bool writing : {false, true}) {
        if (writing) {
            ASSERT_TRUE(server.Restart().isEmpty());
            ASSERT_EQ(Run({"defaults", "d.kvx"}), 0);
        }
        const int writes = sim->WriteCommands();
        const int reads = sim->Block2Reads();
        auto cli = Start(writing ? QStringList{"write", "d.kvx", "--port", server.ports[0].rfc2217, "--yes"}
                                 : QStringList{"read", "r.kvx", "--port", server.ports[0].raw});
        ASSERT_TRUE(WaitFor([&] { return writing ? sim->WriteCommands() > writes : sim->Block2Reads() > reads; }));
        server.Kill();
        EXPECT_EQ(Finish(std::move(cli)), 10) << writing << err.toStdString();
        EXPECT_TRUE(err.contains("The connection to " + (writing ? server.ports[0].rfc2217 : server.ports[0].raw) +
                                 " was lost"))
            << err.toStdString();
        EXPECT_FALSE(err.contains("cable")) << err.toStdString();
        if (writing) {
            // The same words as a cable pulled in the middle of a block.
            EXPECT_TRUE(err.contains("The write was cut off in the middle of block")) << err.toStdString();
        }
    }
}

TEST_F(NetPortSer2net, ASilentGatewayBehindTheServerIsNamedWithoutCables)
{
    TSimOptions o;
    o.silentAfter = 0;
    Serve(o);
    EXPECT_EQ(Run({"identify", "--port", server.ports[0].rfc2217, "--wait", "1"}), 12);
    EXPECT_TRUE(err.contains("The gateway behind " + server.ports[0].rfc2217 + " did not answer within 1 s"))
        << err.toStdString();
    EXPECT_TRUE(err.contains("terminal server's line")) << err.toStdString();
    EXPECT_FALSE(err.contains("cable")) << err.toStdString();
}

TEST_F(NetPortSer2net, TheCommandLineDialsAModemBehindTheServer)
{
    TSimOptions o;
    o.modem = true;
    Serve(o);
    const auto& p = server.ports[0];
    // The settings' modem search asks a modem behind the server too, and names one that is not there.
    EXPECT_EQ(CHayesTelephony::Probe("m", p.rfc2217, 5000).result, TModemProbe::Answers);
    const TModemProbe none =
        CHayesTelephony::Probe("m", QString("socket://127.0.0.1:%1").arg(TSer2net::FreePort()), 5000);
    EXPECT_EQ(none.result, TModemProbe::CannotOpen);
    EXPECT_FALSE(none.detail.isEmpty());
    ASSERT_EQ(Run({"identify", "--modem", p.rfc2217, "--modem-number", "123"}), 0) << err.toStdString();
    EXPECT_TRUE(out.contains("KX2-004711"));
    EXPECT_FALSE(sim->InCall());  // hung up at the end
    ASSERT_EQ(Run({"read", "m.kvx", "--modem", p.raw, "--modem-number", "123"}), 0) << err.toStdString();
    EXPECT_TRUE(ReadFile("m.kvx").contains("SerialNum=\"KX2-004711\""));
    const QString nobody = QString("rfc2217://127.0.0.1:%1").arg(TSer2net::FreePort());
    EXPECT_EQ(Run({"identify", "--modem", nobody, "--modem-number", "123"}), 15);
    EXPECT_TRUE(err.contains("127.0.0.1:" + nobody.section(':', -1) + " cannot be opened")) << err.toStdString();
    EXPECT_TRUE(err.contains("Nothing accepts connections")) << err.toStdString();
    EXPECT_FALSE(err.contains("cable")) << err.toStdString();
}

// ---------------------------------------------------------------- one connection a session

namespace {
struct NetPortOneConnection : SimFixture, TCliRunner {
    using TCliRunner::Run;
};
}  // namespace

TEST_F(NetPortOneConnection, IdentifyReadAndWriteEachKeepOneConnectionToTheirClosingA)
{
    StartSim();
    ASSERT_EQ(Run({"defaults", "d.kvx"}), 0);
    for (const QStringList& command :
         {QStringList{"identify"}, QStringList{"read", "gw.kvx"}, QStringList{"write", "d.kvx", "--yes"},
          QStringList{"write", "d.kvx", "--yes", "--no-backup"}}) {
        TCountingServer server(port);
        ASSERT_TRUE(server.Ready());
        ASSERT_EQ(Run(command + QStringList{"--port", server.Url()}), 0)
            << command.join(' ').toStdString() << err.toStdString();
        // The gateway left configuration mode by the "A" of the one connection.
        auto endsWithA = [](const std::string& s) { return !s.empty() && s.back() == 'A'; };
        EXPECT_TRUE(WaitFor([&] { return endsWithA(server.Received(0)) && endsWithA(sim->CommandLog()); }, 5000))
            << command.join(' ').toStdString() << " " << sim->CommandLog();
        EXPECT_EQ(server.Accepted(), 1) << command.join(' ').toStdString();
    }
}
