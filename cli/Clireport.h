// How a command of korvanext-cli ends: error lines on the error output, and
// with --json one JSON document on stdout that every command and every error
// gets, usage errors included (exit, result, error and the command's fields).
#pragma once
#include <QJsonObject>
#include <QString>
#include <QStringList>

class TCliReport {
public:
    // --json anywhere on the command line asks for the document, also when
    // the line is wrong otherwise (--json=0 or --jsonx among it: a usage error, in JSON).
    explicit TCliReport(const QStringList& arguments);
    bool Json() const { return m_Json; }
    void SetCommand(const QString& command) { m_Fields["command"] = command; }

    // Adds the command's fields to the document.
    void Add(const QJsonObject& fields);
    // Prints the error line (control characters shown escaped) and keeps it for the document.
    void Error(const QString& message);
    // An error that was printed already (by the gateway operations).
    void KeepError(const QString& message) { m_Error = message; }

    // Prints the document when it is asked for; returns the exit status.
    int Finish(int code) const;

private:
    bool m_Json = false;
    QJsonObject m_Fields;
    QString m_Error;
};

// The report of this run, owned by main.
TCliReport& Report();

// Says why a command fails and returns its exit status.
int Fail(int code, const QString& message);
// A path or value as messages quote it.
QString Quoted(const QString& path);
