// korvanext-gatewaysim: a gateway on a pseudo-terminal, for trying the tool
// without hardware, for tests and for benchmarks.
#include "Gatewaysim.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

static volatile std::sig_atomic_t g_Quit = 0;
static volatile std::sig_atomic_t g_CountAsked = 0;
static void OnSignal(int) { g_Quit = 1; }
static void OnCountAsked(int) { g_CountAsked = 1; }

static void Usage()
{
    std::printf(
        "usage: korvanext-gatewaysim [options]\n"
        "Creates a pseudo-terminal that answers like a gateway and prints its path.\n\n"
        "  --link PATH          also make PATH a symlink to the pseudo-terminal (never replaces a\n"
        "                       file or folder; the link is removed at exit)\n"
        "  --image FILE         keep the configuration image in FILE (created from defaults)\n"
        "  --baud-throttle N    pace the line to N baud (e.g. 19200)\n"
        "  --hw-letter X        hardware letter reported by \"B\" (default C)\n"
        "  --fw-version V       firmware version reported by \"C\" (default 3.15)\n"
        "  --serial S           serial number reported by \"D\"\n"
        "  --oper-lock S        operator lock reported by \"F\"\n"
        "  --bad-checksum N     the first N block reads carry a wrong checksum\n"
        "  --silent-after N     stop answering after N commands\n"
        "  --refuse-write       refuse configuration writes with \"Y\"\n"
        "  --drop-mid-block     end the line in the middle of the first block read\n"
        "  --block-wait-forever wait for ever for the rest of a block being written (by default\n"
        "                       5 s of line silence drop it, as the gateway does)\n"
        "  --bad-firmware-ack N acknowledge the first N firmware blocks with a wrong CRC\n"
        "                       (-1: every block, the gateway never accepts one)\n"
        "  --refuse-each-block N acknowledge every firmware block wrongly N times, then take it\n"
        "  --keep-firmware      acknowledge every firmware block but keep the old firmware\n"
        "  --at-error CMD       answer the AT command CMD with ERROR (repeatable)\n"
        "  --signal N           signal quality reported by AT+CSQ (default 17)\n"
        "  --call NUMBER        a call is up with NUMBER\n"
        "  --call-direction D   0: made by the module, 1: incoming (default)\n"
        "  --modem              a modem answers first; ATD connects to the gateway\n"
        "  --dial-result R      CONNECT (default), BUSY, \"NO CARRIER\", \"NO ANSWER\", \"NO DIALTONE\"\n"
        "  --connect-delay MS   time from ATD to the result (default 300)\n"
        "  --verbose            log what happens on stderr\n"
        "  --version            show the program's version\n"
        "  --help               show this text\n"
        "SIGUSR1 prints \"bytes IN OUT\" on stdout: the bytes received and sent on the line so far.\n");
}

int main(int argc, char** argv)
{
    TSimOptions o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "korvanext-gatewaysim: %s needs a value\n", a.c_str());
                std::exit(1);
            }
            return argv[++i];
        };
        auto number = [&]() {
            const std::string v = value();
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (!end || *end) {
                std::fprintf(stderr, "korvanext-gatewaysim: %s wants a number, not '%s'\n", a.c_str(), v.c_str());
                std::exit(1);
            }
            return int(n);
        };
        if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else if (a == "--version") {
            std::printf("korvanext-gatewaysim %s\n", KVX_VERSION);
            return 0;
        } else if (a == "--link") o.linkPath = value();
        else if (a == "--image") o.imagePath = value();
        else if (a == "--baud-throttle") o.throttleBaud = number();
        else if (a == "--hw-letter") o.hwLetter = value()[0];
        else if (a == "--fw-version") o.version = value();
        else if (a == "--serial") o.serial = value();
        else if (a == "--oper-lock") o.operLock = value();
        else if (a == "--bad-checksum") o.badChecksum = number();
        else if (a == "--silent-after") o.silentAfter = number();
        else if (a == "--refuse-write") o.refuseWrite = true;
        else if (a == "--drop-mid-block") o.dropMidBlock = true;
        else if (a == "--block-wait-forever") o.blockAbandonMs = 0;
        else if (a == "--bad-firmware-ack") o.badFirmwareAck = number();
        else if (a == "--refuse-each-block") o.refuseEachBlock = number();
        else if (a == "--keep-firmware") o.keepFirmware = true;
        else if (a == "--at-error") o.atErrors.insert(value());
        else if (a == "--signal") o.signal = number();
        else if (a == "--call") {
            o.call = true;
            o.callNumber = value();
        } else if (a == "--call-direction") o.callDirection = number();
        else if (a == "--modem") o.modem = true;
        else if (a == "--dial-result") o.dialResult = value();
        else if (a == "--connect-delay") o.connectDelayMs = number();
        else if (a == "--verbose") o.quiet = false;
        else {
            std::fprintf(stderr, "korvanext-gatewaysim: unknown option '%s' (see --help)\n", a.c_str());
            return 1;
        }
    }
    // A file or folder of the user's at that path is never replaced.
    std::string why;
    if (!o.linkPath.empty() && !CGatewaySim::LinkPathFree(o.linkPath, &why)) {
        std::fprintf(stderr, "korvanext-gatewaysim: %s\n", why.c_str());
        return 1;
    }
    // Before the port is printed: a caller may ask for the count as soon as it has it.
    std::signal(SIGUSR1, OnCountAsked);
    CGatewaySim sim(o);
    std::string error;
    if (!sim.Start(&error)) {
        std::fprintf(stderr, "korvanext-gatewaysim: %s\n", error.c_str());
        return 2;
    }
    std::printf("%s\n", sim.SlavePath().c_str());
    std::fflush(stdout);
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    while (!g_Quit && sim.Running()) {
        if (g_CountAsked) {
            g_CountAsked = 0;
            std::printf("bytes %lld %lld\n", sim.BytesIn(), sim.BytesOut());
            std::fflush(stdout);
        }
        usleep(20000);
    }
    sim.Stop();
    return 0;
}
