#include "Clifiles.h"

#include "Catalogue.h"
#include "Cliexit.h"
#include "Clireport.h"
#include "Commonutils.h"
#include "Writecheck.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

// Why a file cannot be written (created or replaced), or empty when it can.
QString WriteProblem(const QString& path)
{
    const QFileInfo info(path);
    const QByteArray p = QFile::encodeName(path);
    struct stat st {};
    if (::stat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode)) return "it is a folder";
    const QString folder = info.absolutePath();
    const QByteArray f = QFile::encodeName(folder);
    if (::stat(f.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return "folder " + Quoted(folder) + ": " + QString::fromLocal8Bit(std::strerror(errno ? errno : ENOTDIR));
    // Written through a temporary file beside it: the folder must take new files.
    if (::access(f.constData(), W_OK) != 0)
        return "folder " + Quoted(folder) + ": " + QString::fromLocal8Bit(std::strerror(errno));
    return {};
}

// Why a folder cannot be made or written into, or empty when it can.
QString FolderProblem(const QString& path)
{
    QString existing = QFileInfo(path).absoluteFilePath();
    while (!QFileInfo::exists(existing) && QFileInfo(existing).absolutePath() != existing)
        existing = QFileInfo(existing).absolutePath();
    const QByteArray e = QFile::encodeName(existing);
    struct stat st {};
    if (::stat(e.constData(), &st) != 0) return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return Quoted(existing) + " is not a folder";
    if (::access(e.constData(), W_OK) != 0)
        return Quoted(existing) + ": " + QString::fromLocal8Bit(std::strerror(errno));
    return {};
}

// Creates the folder: empty, or why it cannot be.
QString MakeFolder(const QString& path)
{
    if (const QString why = FolderProblem(path); !why.isEmpty()) return why;
    return CreatePath(path) ? QString() : QString("it cannot be created");
}

int CannotRead(const QString& path, const QString& why)
{
    return Fail(kFileError, "cannot read " + Quoted(path) + ": " + why);
}
int CannotWrite(const QString& path, const QString& why)
{
    return Fail(kFileError, "cannot write " + Quoted(path) + ": " + why);
}

// Writes a gateway image atomically (every byte on the disk before the old file
// is replaced); empty, or the reason of the failure.
QString SaveImage(const QString& path, const std::vector<uint8_t>& image)
{
    TFileStatus status;
    const QByteArray bytes(reinterpret_cast<const char*>(image.data()), int(image.size()));
    return WriteFileAtomically(path, bytes, &status) ? QString() : status.Reason;
}

QString SaveConfiguration(const CParameters& p, const QString& path)
{
    TFileStatus status;
    return p.SaveToFile(QFile::encodeName(path).toStdString(), status) ? QString() : status.Reason;
}

// Reads a regular file of at most maxSize bytes: 0, or the exit status after
// saying why not (devices and FIFOs are never opened).
int ReadBounded(const QString& path, qint64 maxSize, QByteArray& bytes, const QString& what)
{
    TFileStatus status;
    if (ReadFileBounded(path, maxSize, bytes, &status)) return kOk;
    if (status.Kind == TFileStatus::TooLarge)
        return Fail(kDataError, Quoted(path) + " is not " + what + ": " + status.Reason);
    return CannotRead(path, status.Reason);
}

// Loads a configuration file: 0, or the exit status after saying why not. A
// file that names no known key is refused: it would load as the defaults.
// `gaps` receives what the file left out of the gateway's settings.
int LoadConfiguration(CParameters& p, const QString& path, CParameters::TFileGaps* gaps)
{
    CParameters::TLoadReport r;
    if (!p.LoadFromFile(QFile::encodeName(path).toStdString(), r)) {
        if (r.File.Kind == TFileStatus::NotConfiguration)
            return Fail(kDataError, "no configuration keys found in " + Quoted(path));
        if (r.File.Kind == TFileStatus::TooLarge)
            return Fail(kDataError, Quoted(path) + " is not a configuration file: " + r.File.Reason);
        return CannotRead(path, r.File.Reason);
    }
    if (r.UnknownCount > 0) {
        QStringList names;
        for (const std::string& n : r.UnknownNames) names << QString::fromStdString(n);
        if (r.UnknownCount > int(r.UnknownNames.size())) names << "...";
        std::fprintf(stderr, "korvanext-cli: %s: %d unknown keys ignored: %s\n", qPrintable(ShownText(Quoted(path))),
                     r.UnknownCount, qPrintable(ShownText(names.join(", "))));
    }
    if (gaps) *gaps = r.Gaps;
    return kOk;
}

// Warns of what the configuration from `path` would give the gateway other
// than the file says: values it cannot hold, what the file left out.
void WarnNotHeld(const CParameters& p, const QString& path, const CParameters::TFileGaps& gaps, const char* outcome)
{
    const TWriteCheck check = CheckBeforeWrite(p, gaps);
    for (const TDifference& d : check.changed)
        std::fprintf(stderr, "korvanext-cli: %s: %s %s cannot be held by the gateway, it keeps %s (%s)\n",
                     qPrintable(Quoted(path)), SettingName(d.key, d.index, d.count).c_str(),
                     qPrintable(ShownValue(d.mine)), qPrintable(ShownValue(d.other)),
                     qPrintable(HeldLimit(*p.Find(d.key)->Par)));
    if (!check.missing.empty()) {
        QStringList names;
        for (const CParameters::TFileGap& g : check.missing) names << GapName(g);
        std::fprintf(stderr, "korvanext-cli: %s lacks %s: %s\n", qPrintable(Quoted(path)), qPrintable(names.join(", ")),
                     outcome);
    }
    if (check.brokenLastLine)
        std::fprintf(stderr, "korvanext-cli: %s ends in a broken line: it may have been cut short\n",
                     qPrintable(Quoted(path)));
}

std::unique_ptr<CParameters> Catalogue()
{
    auto p = std::make_unique<CParameters>();
    BuildCatalogue(*p);
    return p;
}
