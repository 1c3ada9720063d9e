#include "Clicommands.h"

#include "Clischema.h"

namespace {

const char* const kExitHelp =
    "Exit status:\n"
    "  0   done\n"
    "  1   usage: a wrong command line, an unknown key\n"
    "  2   a file cannot be read or written (missing, permission, a folder, disk full)\n"
    "  3   bad input data: not a configuration file, an image or firmware file of the wrong size or content,\n"
    "      a value the gateway cannot hold; write: a file it would not hold as it is (no --yes,\n"
    "      no --agree not-as-shown)\n"
    "  4   declined: a question not agreed to (no --yes, its name not in --agree), firmware older\n"
    "      than 3, or firmware whose upgrade on that port was cut off, met by a command other than\n"
    "      upgrade\n"
    "  5   the gateway's data damaged or not confirmed (a block bad three times, a write not\n"
    "      acknowledged or read back different, firmware not taken or a block refused 20\n"
    "      times), or not a gateway of this kind\n"
    "  6   differences: diff and compare found some, apply --check: the gateway would change\n"
    "  10  line lost      11  interrupted (SIGINT, SIGTERM, SIGHUP)    12  no answer (also --wait)\n"
    "  13  bad reply      14  send failure                             15  the port cannot be opened\n"
    "  11 also when the operation was finished before stopping, as it is where stopping would\n"
    "      harm the gateway: a write or apply met by a first SIGTERM or SIGHUP (SIGINT stops after\n"
    "      the block in flight), a firmware transfer met by any first signal (unless the gateway has\n"
    "      refused ten blocks). The message says that the gateway is whole, and write's \"written\"\n"
    "      (apply's \"changed\") is true. A second signal cuts.\n"
    "  With several ports: the worst status of all gateways (the highest; 6 only when none failed).\n";

const char* const kJsonHelp =
    "--json (any command) prints one JSON document on stdout, also for a wrong command line:\n"
    "  always: command, exit, result, error (null when done)\n"
    "  keys: keys [{key, type, rows, address}]; defaults, encode, decode, sheet: file\n"
    "  get: key, value (and row) or values; set: file, changed [{key, row, given, stored}]\n"
    "  identify: port, hardware, firmware, serial, operatorLock\n"
    "  read, backup, write, upgrade: port, serial, firmware, file or files\n"
    "  upgrade: also fileVersion and previousFirmware; firmware is what the gateway reports after it\n"
    "  diff: from, to, count, differences [{key, row (keys with rows), from, to}]\n"
    "  compare: port, serial, firmware, file, count, equal, differences [{key, row, gateway, file}]\n"
    "  write: also copy (the folder of the kept copy), partial (true: the gateway may hold part\n"
    "         of the file, block 1 new and block 2 old or a block cut off), written (true: the\n"
    "         gateway holds the whole file, read back, also when a signal made the exit 11), result\n"
    "         (unchanged or changed where the read before the write tells it) and changed (null: not\n"
    "         known)\n"
    "  schema: settings [{key, type, rows, default, block, secret, asks, allowed, min, max, step, length,\n"
    "          choices [{value, caption}]}]\n"
    "  apply: result (unchanged, changed, would-change, declined, failed), changed, before, after\n"
    "         ({\"KEY[:ROW]\": value} of the differing settings; secrets \"(secret)\"), serial, firmware,\n"
    "         backup (the kept copy), partial\n"
    "  backups: root, copies [{time, serial, firmware, folder, damaged (why, for a damaged copy)}]\n"
    "  signal: port, readings [{time, csq, dB (null: no measurement)}]\n"
    "  several ports: gateways [{port, exit, result, seconds, and the fields above}],\n"
    "                 duplicates [{serial, ports}] (gateways that report one serial number)\n"
    "  a question declined: declinedQuestion, its name as --agree takes it\n";

const char* const kLinkHelp =
    "LINK:\n"
    "  --port PORT          serial port: a device path or Com1..Com8 (default Com1); repeat it,\n"
    "                       or give --ports-from FILE, to run on several gateways at once;\n"
    "                       a terminal server's port: rfc2217://HOST:PORT or socket://HOST:PORT\n"
    "  --ports-from FILE    the ports, one a line ('#' starts a comment)\n"
    "  --jobs N             several ports: at most N gateways at once, the rest queued (default 32)\n"
    "  --modem-number NUMBER --modem DEVICE     dial the gateway instead\n"
    "  --yes, -y            agree to the gateway's questions\n"
    "  --agree NAME[,NAME...]  agree to these questions only, the others are declined:\n"
    "                       not-as-shown (write: the gateway would not hold the file as it is),\n"
    "                       other-serial (write: the file came from another gateway),\n"
    "                       supervision-numbers (write, apply: the remote supervision numbers change),\n"
    "                       newer-firmware, same-firmware, older-firmware (upgrade: the file's version\n"
    "                       against the gateway's)\n"
    "  --wait SECONDS       give up when the gateway does not answer (default 15, 0: for ever);\n"
    "                       bytes that keep coming do not extend it, and a device that talks but\n"
    "                       never answers as the gateway does is no gateway (exit 5)\n"
    "  --verbose            show the link's diagnostic lines\n"
    "  --json               one JSON document on stdout\n";

const char* const kUpgradeHelp =
    "Upgrade:\n"
    "  A file whose bytes do not add up to its own checksum is damaged and refused (exit 3):\n"
    "  --force-damaged      load it all the same (--yes does not)\n"
    "  Each block is sent again when the gateway refuses it; 20 refusals of one block in a\n"
    "  row stop the upgrade (exit 5). --wait also bounds the wait for each block's answer\n"
    "  (20 s at most). Afterwards the gateway is asked for its version: one other than\n"
    "  the file's means it did not take the firmware (exit 5).\n";

const char* const kWriteHelp =
    "Write:\n"
    "  --only KEY[,KEY...]  take only these settings from the file; the rest of the gateway stays\n"
    "  --no-backup          keep no copy of what the gateway held (kept by default, see 'backups')\n";

}  // namespace

const std::vector<TCommand>& Commands()
{
    static const std::vector<TCommand> commands = {
        {"keys", "", "list every parameter: key, value type, row count, image address", kFileCommand, 0, 0, CmdKeys},
        {"schema", "",
         "list what every setting allows: key, type, range/step or choices, rows, default, block, secret, asks",
         kFileCommand, 0, 0, [](TOptions& o) { return RunSchema(o.json); }},
        {"defaults", "FILE.kvx", "write the default configuration file", kFileCommand, 1, 1, CmdDefaults},
        {"encode", "FILE.kvx IMAGE.bin", "encode a configuration file into a 12288-byte gateway image", kFileCommand, 2,
         2, CmdEncode},
        {"decode", "IMAGE.bin FILE.kvx", "decode a gateway image into a configuration file", kFileCommand, 2, 2,
         CmdDecode},
        {"get", "FILE.kvx KEY[:ROW]", "print a value (a key with rows and no ROW: every row)", kFileCommand, 2, 2,
         CmdGet},
        {"set", "FILE.kvx KEY[:ROW]=VALUE...",
         "store values as given (refuses one its setting would store otherwise, exit 3; --yes: stores it adjusted)",
         kSetCommand, 2, -1, CmdSet},
        {"diff", "A.kvx B.kvx | --defaults A.kvx",
         "show how to get from A to B: KEY[:ROW] \"a\" -> \"b\" (exit 6 when any)", kDiffCommand, 1, 2, CmdDiff},
        {"identify", "[LINK]", "show the gateway's hardware, firmware, serial number and operator lock", kLinkCommand,
         0, 0, CmdIdentify},
        {"read", "FILE.kvx|DIR/ [LINK]",
         "read the configuration from the gateway into a file (DIR: named by serial number)", kLinkCommand, 1, 1,
         CmdRead},
        {"write", "FILE.kvx [LINK]",
         "write a file to the gateway (verified; keeps the gateway's PIN and password and a copy of what it held)",
         kWriteCommand, 1, 1, CmdWrite},
        {"compare", "FILE.kvx [LINK]",
         "show where the gateway differs from the file: KEY[:ROW] \"gateway\" -> \"file\" (exit 6 when any)",
         kLinkCommand, 1, 1, CmdCompare},
        {"apply", "STATE [LINK]",
         "bring the gateway to a desired state (YAML, JSON or .kvx): only what differs is written (exit 6: --check "
         "found some)",
         kApplyCommand, 1, 1, CmdApply},
        {"backups", "[--serial N]", "list the kept copies of gateway configurations: time, serial, firmware, folder",
         kBackupsCommand, 0, 0, CmdBackups},
        {"backup", "DIR [LINK]", "read the gateway into DIR as a time-stamped file and image", kLinkCommand, 1, 1,
         CmdBackup},
        {"upgrade", "FIRMWARE.Bin [LINK]", "load new firmware into the gateway (names file and versions; needs --yes)",
         kUpgradeCommand, 1, 1, CmdUpgrade},
        {"signal", "[--interval S] [--count N] [LINK]",
         "print the GSM signal once a second (or every S seconds) until Ctrl-C or N readings", kSignalCommand, 0, 0,
         CmdSignal},
        {"sheet", "FILE.kvx OUT.pdf|OUT.html [--language ID]",
         "write the configuration sheet: every setting as the pages show it (ID: Eng, Ger, ...)", kSheetCommand, 2, 2,
         CmdSheet},
    };
    return commands;
}
const char* const kApplyHelp =
    "Apply:\n"
    "  STATE names only the settings that matter: KEY: VALUE (keys as 'keys' prints them,\n"
    "  values as .kvx files store them), KEY:ROW: VALUE or KEY: [rows from 1] or KEY: {ROW: VALUE};\n"
    "  PINVal and ServisPassw only as {env: NAME} or {file: PATH}. Every value is checked before\n"
    "  any port is opened (exit 3).\n"
    "  --state merged|replaced  merged (default): only the named settings change; replaced:\n"
    "                       every other one goes to its default (PIN and password stay)\n"
    "  --check              do everything but write (exit 6 when the gateway would change)\n"
    "  --diff               print each differing setting: KEY[:ROW] \"before\" -> \"after\"\n"
    "  --no-backup          keep no copy of what the gateway held\n";

void Usage(FILE* out)
{
    std::fprintf(out, "usage: korvanext-cli COMMAND [ARGS] [OPTIONS]\n\nCommands:\n");
    for (const TCommand& c : Commands()) std::fprintf(out, "  %-9s %-31s %s\n", c.name, c.args, c.help);
    std::fprintf(out,
                 "\n%s\n%s\n%s\n%s"
                 "  Options may come anywhere after the command; --wait=5 is the same as --wait 5.\n"
                 "  Several ports: one run per port in parallel; their messages are prefixed with\n"
                 "  the port, a summary (port, serial number, firmware, result, time, files) ends.\n"
                 "  Progress goes to stderr when it is a terminal.\n\n%s\n%s\n"
                 "'korvanext-cli COMMAND --help' describes one command; --version shows the version.\n",
                 kLinkHelp, kWriteHelp, kApplyHelp, kUpgradeHelp, kJsonHelp, kExitHelp);
}

void CommandUsage(const TCommand& c)
{
    std::printf("usage: korvanext-cli %s %s\n  %s\n", c.name, c.args, c.help);
    if (c.group == kSignalCommand)
        std::printf(
            "\n  --interval S  seconds between two readings (default 1)\n"
            "  --count N     stop after N readings (default: at Ctrl-C, which then ends with 0)\n");
    if (c.group == kSetCommand)
        std::printf("\n  --yes        store a value adjusted to what its setting keeps instead of refusing it\n");
    if (c.group == kSheetCommand)
        std::printf("\n  --language ID the sheet's language: Cze, Eng, Slo, Ger, Pol, Fin or Tur (default Eng)\n");
    if (OnLink(c.group)) std::printf("\n%s", kLinkHelp);
    if (c.group == kWriteCommand) std::printf("\n%s", kWriteHelp);
    if (c.group == kApplyCommand) std::printf("\n%s", kApplyHelp);
    if (c.group == kUpgradeCommand) std::printf("\n%s", kUpgradeHelp);
    if (c.group == kBackupsCommand)
        std::printf("\n  --serial N   only the copies of this gateway\n  --json       one JSON document\n");
    if (c.group == kDiffCommand)
        std::printf("\n  --defaults   compare with the default configuration\n  --json       one JSON document\n");
    std::printf("\n%s", kExitHelp);
}
