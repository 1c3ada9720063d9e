#include "Keptcopies.h"

#include "Catalogue.h"
#include "Commonutils.h"
#include "Compare.h"
#include "Gatewayimage.h"
#include "Imagelayout.h"
#include "Parameters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const char* const kConfiguration = "configuration.kvx";
const char* const kImage = "image.bin";
const char* const kPartial = ".partial";
const char* const kStamp = "yyyy-MM-ddTHH-mm-ss.zzz'Z'";

// Writes a new private file and reads it back: a copy that cannot be read as
// written does not count.
bool WriteChecked(const QString& path, const QByteArray& bytes, QString& reason)
{
    TFileStatus status;
    QByteArray back;
    if (!CreateFileExclusively(path, bytes, 0600, &status) || !ReadFileBounded(path, bytes.size(), back, &status)) {
        reason = status.Reason;
        return false;
    }
    if (back != bytes) {
        reason = "the file read back differs from what was written";
        return false;
    }
    return true;
}

QString SystemReason(int error, const char* fallback)
{
    return error ? QString::fromLocal8Bit(std::strerror(error)) : QString(fallback);
}

// Why a copy's file cannot be trusted, empty when it can: a file of this user
// that no one else may read or change, as Keep writes it. A sound folder may
// still hold a file put there by another hand.
QString UnsafeFile(const QString& path)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return SystemReason(errno, "it cannot be looked at");
    if (S_ISLNK(st.st_mode)) return "it is a link, not a file";
    if (!S_ISREG(st.st_mode)) return "it is not a file";
    if (st.st_uid != ::geteuid()) return QString("it belongs to another user (%1)").arg(st.st_uid);
    if ((st.st_mode & 077) != 0) return QString("others may use it (mode %1)").arg(st.st_mode & 0777, 4, 8, QChar('0'));
    return {};
}

// Why the folder may not hold copies, empty when it may: a folder (no link) of
// this user. With `narrow`, one that others may enter (as earlier versions
// left them) is made private before anything is put in it.
QString UnsafeFolder(const QString& path, bool narrow)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) return SystemReason(errno, "it cannot be looked at");
    if (S_ISLNK(st.st_mode)) return "it is a link, not a folder";
    if (!S_ISDIR(st.st_mode)) return "it is not a folder";
    if (st.st_uid != ::geteuid()) return QString("it belongs to another user (%1)").arg(st.st_uid);
    if (narrow && (st.st_mode & 077) != 0) {
        if (::chmod(QFile::encodeName(path).constData(), 0700) != 0)
            return SystemReason(errno, "its rights cannot be narrowed");
    }
    return {};
}

// The folder, made private when missing and checked when present: empty, or why not.
QString PrivateFolder(const QString& path)
{
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0 && errno != EEXIST)
        return SystemReason(errno, "the folder cannot be created");
    return UnsafeFolder(path, true);
}

// A copy that names a time to come (a clock set wrong) is listed but never
// taken as the newest to save a copy.
bool FromTheFuture(const TKeptCopy& c) { return c.time > QDateTime::currentDateTimeUtc().addSecs(60); }
}  // namespace

QString TKeptCopy::ConfigurationFile() const { return QDir(folder).filePath(kConfiguration); }
QString TKeptCopy::ImageFile() const { return QDir(folder).filePath(kImage); }

CKeptCopies::CKeptCopies(QString root) : m_Root(root.isEmpty() ? DefaultRoot() : std::move(root)) {}

QString CKeptCopies::DefaultRoot()
{
    // The window's AppDataLocation; spelled out so the command-line tool, which has
    // another application name, finds the same copies.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/korvanext/backups";
}

QString CKeptCopies::FolderName(const QString& serial)
{
    QString name;
    for (const QChar c : serial) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '_' || c == '.';
        name += plain ? c : QChar('_');
    }
    // No ".", "..", nor a hidden folder that a listing would pass over.
    for (int i = 0; i < name.size() && name[i] == '.'; ++i) name[i] = '_';
    return name.isEmpty() ? QString("unknown") : name;
}

CKeptCopies::TResult CKeptCopies::Keep(const std::vector<uint8_t>& image, const CParameters& decoded) const
{
    TResult r;
    const QString serial = FromBytes(decoded.GetValue("SerialNum", 0));
    const QDir serialDir(QDir(m_Root).filePath(FolderName(serial)));
    // The root's own parents are the user's data folders; from the root down every folder is checked.
    r.folder = m_Root;
    errno = 0;
    if (!QDir().mkpath(QFileInfo(m_Root).absolutePath())) {
        r.reason = SystemReason(errno, "the folder cannot be created");
        return r;
    }
    if ((r.reason = PrivateFolder(m_Root)).isEmpty()) {
        r.folder = serialDir.path();
        r.reason = PrivateFolder(serialDir.path());
    }
    if (!r.reason.isEmpty()) return r;
    const QByteArray bytes(reinterpret_cast<const char*>(image.data()), int(image.size()));
    // Only this gateway's sound copies count (an unknown serial number is a folder of its own).
    CParameters scratch;
    BuildCatalogue(scratch);
    for (TKeptCopy& c : Stamped(serialDir.path())) {
        if (FromTheFuture(c)) continue;
        QByteArray newest;
        if (Judge(c, scratch).isEmpty() && ReadFileBounded(c.ImageFile(), bytes.size(), newest) && newest == bytes) {
            r.ok = true;
            r.folder = c.folder;
            return r;
        }
        break;  // only the newest is the gateway's last known state
    }
    QString stamp = QDateTime::currentDateTimeUtc().toString(kStamp);
    // Two copies within a millisecond get the next one.
    for (QDateTime t = QDateTime::currentDateTimeUtc();
         serialDir.exists(stamp) || serialDir.exists(stamp + kPartial);) {
        t = t.addMSecs(1);
        stamp = t.toString(kStamp);
    }
    const QString partial = serialDir.filePath(stamp + kPartial);
    const QString final = serialDir.filePath(stamp);
    r.folder = final;
    errno = 0;
    if (::mkdir(QFile::encodeName(partial).constData(), 0700) != 0) {
        r.reason = SystemReason(errno, "the folder cannot be created");
        return r;
    }
    // The image holds the gateway's PIN and service password: for the user's eyes only.
    const std::string text = decoded.SaveToText();
    const bool written =
        WriteChecked(QDir(partial).filePath(kImage), bytes, r.reason) &&
        WriteChecked(QDir(partial).filePath(kConfiguration), QByteArray(text.data(), int(text.size())), r.reason);
    errno = 0;
    if (!written || !QDir().rename(partial, final)) {
        if (written) r.reason = SystemReason(errno, "the folder cannot be renamed");
        QDir(partial).removeRecursively();
        return r;
    }
    r.ok = r.kept = true;
    return r;
}

namespace {
void NewestFirst(std::vector<TKeptCopy>& copies)
{
    std::sort(copies.begin(), copies.end(), [](const TKeptCopy& a, const TKeptCopy& b) {
        return a.time != b.time ? a.time > b.time : a.folder > b.folder;
    });
}
}  // namespace

std::vector<TKeptCopy> CKeptCopies::Stamped(const QString& serialFolder)
{
    std::vector<TKeptCopy> copies;
    for (const QFileInfo& copy : QDir(serialFolder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        QDateTime time = QDateTime::fromString(copy.fileName(), kStamp);
        if (!time.isValid()) continue;  // a copy being written, or something else
        time.setTimeSpec(Qt::UTC);
        TKeptCopy c;
        c.folder = copy.filePath();
        c.time = time;
        copies.push_back(std::move(c));
    }
    NewestFirst(copies);
    return copies;
}

QString CKeptCopies::Judge(TKeptCopy& c, CParameters& scratch)
{
    c.damage.clear();
    // A file that does not load leaves the registry as it was: start from the defaults.
    scratch.SetAllDefaults();
    CParameters::TLoadReport report;
    const bool loaded = scratch.LoadFromFile(QFile::encodeName(c.ConfigurationFile()).toStdString(), report);
    if (loaded) {
        c.serial = FromBytes(scratch.GetValue("SerialNum", 0));
        c.firmware = FromBytes(scratch.GetValue("SWVer", 0));
    }
    if (const QString why = UnsafeFolder(c.folder, false); !why.isEmpty()) return c.damage = "folder: " + why;
    for (const QString& file : {c.ConfigurationFile(), c.ImageFile()})
        if (const QString why = UnsafeFile(file); !why.isEmpty())
            return c.damage = QFileInfo(file).fileName() + ": " + why;
    if (!loaded) return c.damage = QString(kConfiguration) + ": " + report.File.Reason;
    int keys = 0;
    for (const auto& entry : scratch.Entries()) keys += entry.second.Par->m_InFile ? 1 : 0;
    if (report.Keys < keys)
        return c.damage = QString("%1: %2 of %3 settings").arg(kConfiguration).arg(report.Keys).arg(keys);
    QByteArray bytes;
    TFileStatus status;
    if (!ReadFileBounded(c.ImageFile(), ImageLayout::ImageSize, bytes, &status))
        return c.damage = QString(kImage) + ": " + status.Reason;
    const auto* image = reinterpret_cast<const uint8_t*>(bytes.constData());
    if (bytes.size() != ImageLayout::ImageSize || !Block1Valid(image) || !Block2Valid(image))
        return c.damage = QString(kImage) + ": cut short or damaged";
    CParameters fromImage;
    BuildCatalogue(fromImage);
    fromImage.FromImage(image);
    if (!CompareConfigurations(fromImage, scratch).Same()) return c.damage = "the two files do not agree";
    return {};
}

QString CKeptCopies::RootProblem() const
{
    struct stat st {};
    if (::lstat(QFile::encodeName(m_Root).constData(), &st) != 0 && errno == ENOENT) return {};
    return UnsafeFolder(m_Root, false);
}

std::vector<TKeptCopy> CKeptCopies::List(const QString& serial) const
{
    std::vector<TKeptCopy> copies;
    CParameters p;
    BuildCatalogue(p);
    const QDir root(m_Root);
    // A root or serial folder that is not the user's own lists nothing: its copies could be anyone's.
    if (!RootProblem().isEmpty()) return copies;
    for (const QFileInfo& serialDir : root.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        if (!serial.isEmpty() && serialDir.fileName() != FolderName(serial)) continue;
        const QString unsafe = UnsafeFolder(serialDir.filePath(), false);
        for (TKeptCopy& c : Stamped(serialDir.filePath())) {
            Judge(c, p);
            if (!unsafe.isEmpty()) c.damage = serialDir.fileName() + ": " + unsafe;
            copies.push_back(std::move(c));
        }
    }
    NewestFirst(copies);
    return copies;
}
