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
    // included) unless the newest copy of that serial number holds the same image.
    // The copy appears whole or not at all, and is read back before it counts.
    // On failure returns false and names the folder and the reason.
    struct TResult {
        bool ok = false;
        bool kept = false;  // a new copy was made (false: the newest one is the same)
        QString folder;     // the new copy, or the identical one, or the folder that failed
        QString reason;     // why it failed
    };
    TResult Keep(const std::vector<uint8_t>& image, const CParameters& decoded) const;

    // Kept copies, newest first; only those of one serial number when given.
    std::vector<TKeptCopy> List(const QString& serial = {}) const;

    // A serial number as a folder name: letters, digits, "-", "_" and "." stay,
    // but not as its first characters.
    static QString FolderName(const QString& serial);

private:
    // The complete copies in one serial number's folder, newest first, not decoded.
    static std::vector<TKeptCopy> Stamped(const QString& serialFolder);
    QString m_Root;
};
