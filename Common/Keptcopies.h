// Copies of what a gateway held, kept on disk before a write replaces it: one
// folder per copy, <root>/<serial number>/<UTC time stamp>/, holding the decoded
// configuration file and the 12288-byte image.
#pragma once
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <vector>

class CParameters;

struct TKeptCopy {
    QString folder;    // the copy's own folder
    QString serial;    // the gateway's serial number, as its configuration file names it
    QString firmware;  // the gateway's firmware version
    QDateTime time;    // when it was kept (UTC)
    // Why the copy cannot be trusted (a file missing, cut short or not
    // agreeing with the other, a folder that is not the user's own); empty
    // for a sound copy. A damaged copy never stands in for a new one.
    QString damage;
    bool Damaged() const { return !damage.isEmpty(); }
    QString ConfigurationFile() const;
    QString ImageFile() const;
};

class CKeptCopies {
public:
    // `root` empty: the user's data folder (DefaultRoot).
    explicit CKeptCopies(QString root = {});
    // The window's data folder + "backups": the window and the command-line tool share it.
    static QString DefaultRoot();
    const QString& Root() const { return m_Root; }

    // Keeps the gateway's image and its decoded configuration (identification
    // included) unless the newest sound copy of that serial number holds the
    // same image. The copy appears whole or not at all, and is read back before
    // it counts. Every folder on the way must be the user's own and no link
    // (one of the user's with wider rights is narrowed to 0700); files are 0600.
    // On failure returns false and names the folder and the reason.
    struct TResult {
        bool ok = false;
        bool kept = false;  // a new copy was made (false: the newest one is the same)
        QString folder;     // the new copy, or the identical one, or the folder that failed
        QString reason;     // why it failed
    };
    TResult Keep(const std::vector<uint8_t>& image, const CParameters& decoded) const;

    // Why the copies' folder cannot be trusted (a link, another user's), empty
    // when it can or does not exist yet; such a folder lists no copies.
    QString RootProblem() const;
    // Kept copies, newest first, damaged ones included and marked; only those
    // of one serial number when given.
    std::vector<TKeptCopy> List(const QString& serial = {}) const;

    // A serial number as a folder name: letters, digits, "-", "_" and "." stay,
    // but not as its first characters.
    static QString FolderName(const QString& serial);

private:
    // The complete copies in one serial number's folder, newest first, not decoded.
    static std::vector<TKeptCopy> Stamped(const QString& serialFolder);
    // The copy's damage, judged by its files; the serial and firmware are filled in.
    static QString Judge(TKeptCopy& copy, CParameters& scratch);
    QString m_Root;
};
