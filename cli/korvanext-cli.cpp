// Command-line access to the tool's configuration model and gateway link.
#include "Catalogue.h"
#include "Commonutils.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Parametry.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

enum ExitCode { kOk = 0, kUsage = 1, kFileError = 2, kDataError = 3 };

struct Command {
    const char* name;
    const char* args;
    const char* help;
    int minArgs;
    std::function<int(const std::vector<std::string>&)> run;
};

int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "korvanext-cli: %s\n", message.c_str());
    return code;
}

bool ReadFileBytes(const std::string& path, QByteArray& out)
{
    QFile f(QString::fromLocal8Bit(path.c_str()));
    if (!f.open(QIODevice::ReadOnly)) return false;
    out = f.readAll();
    return true;
}

int CmdKeys(const std::vector<std::string>&)
{
    CParameters p;
    BuildCatalogue(p);
    for (const auto& [key, rc] : p.Entries())
        std::printf("%s\t%s\t%d\t%d\n", key.c_str(), rc.Par->ClassName(), rc.Count, rc.Par->m_Address);
    return kOk;
}

int CmdDefaults(const std::vector<std::string>& a)
{
    CParameters p;
    BuildCatalogue(p);
    if (!p.SaveToFile(a[0])) return Fail(kFileError, "cannot write '" + a[0] + "'");
    return kOk;
}

int CmdEncode(const std::vector<std::string>& a)
{
    CParameters p;
    BuildCatalogue(p);
    if (!p.LoadFromFile(a[0])) return Fail(kFileError, "cannot read '" + a[0] + "'");
    std::vector<uint8_t> image(ImageLayout::ImageSize);
    p.ToImage(image.data(), int(image.size()));
    FillUsedBitmaps(p, image.data());
    WriteChecksums(image.data());
    if (!WriteFileAtomically(QString::fromLocal8Bit(a[1].c_str()),
                             QByteArray(reinterpret_cast<const char*>(image.data()), int(image.size()))))
        return Fail(kFileError, "cannot write '" + a[1] + "'");
    return kOk;
}

int CmdDecode(const std::vector<std::string>& a)
{
    QByteArray bytes;
    if (!ReadFileBytes(a[0], bytes)) return Fail(kFileError, "cannot read '" + a[0] + "'");
    if (bytes.size() != ImageLayout::ImageSize)
        return Fail(kDataError, "'" + a[0] + "' holds " + std::to_string(bytes.size()) + " bytes, an image has " +
                                    std::to_string(ImageLayout::ImageSize));
    const auto* image = reinterpret_cast<const uint8_t*>(bytes.constData());
    if (!Block1Valid(image)) return Fail(kDataError, "block 1 of '" + a[0] + "' has a bad checksum");
    if (!Block2Valid(image)) return Fail(kDataError, "block 2 of '" + a[0] + "' has a bad checksum");
    CParameters p;
    BuildCatalogue(p);
    p.FromImage(image);
    if (!p.SaveToFile(a[1])) return Fail(kFileError, "cannot write '" + a[1] + "'");
    return kOk;
}

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        {"keys", "", "list every parameter: key, value type, instance count, image address", 0, CmdKeys},
        {"defaults", "FILE.kvx", "write the default configuration file", 1, CmdDefaults},
        {"encode", "FILE.kvx IMAGE.bin", "encode a configuration file into a 12288-byte gateway image", 2, CmdEncode},
        {"decode", "IMAGE.bin FILE.kvx", "decode a gateway image into a configuration file", 2, CmdDecode},
    };
    return commands;
}

void Usage(FILE* out)
{
    std::fprintf(out, "usage: korvanext-cli COMMAND [ARGS]\n\ncommands:\n");
    for (const Command& c : Commands()) std::fprintf(out, "  %-9s %-22s %s\n", c.name, c.args, c.help);
    std::fprintf(out, "\n'korvanext-cli COMMAND --help' describes one command.\n");
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        Usage(args.empty() ? stderr : stdout);
        return args.empty() ? kUsage : kOk;
    }
    for (const Command& c : Commands()) {
        if (args[0] != c.name) continue;
        std::vector<std::string> rest(args.begin() + 1, args.end());
        if (!rest.empty() && (rest[0] == "--help" || rest[0] == "-h")) {
            std::printf("usage: korvanext-cli %s %s\n  %s\n", c.name, c.args, c.help);
            return kOk;
        }
        if (int(rest.size()) < c.minArgs) {
            std::fprintf(stderr, "usage: korvanext-cli %s %s\n", c.name, c.args);
            return kUsage;
        }
        return c.run(rest);
    }
    return Fail(kUsage, "unknown command '" + args[0] + "' (see --help)");
}
