// Ports on which this program cut a transfer off in the middle of a block. A
// gateway there may still be waiting for the rest of the block and answers
// nothing until it is switched off and on; the no-answer message says so.
#pragma once
#include <QSet>
#include <QString>

class CCutTransfers {
public:
    // Without a folder the ports are remembered while the program runs; with
    // one (the command line's state folder) also from one run to the next.
    explicit CCutTransfers(QString folder = {});

    void Mark(const QString& device);
    // The gateway on the port answered: whatever was cut is over.
    void Clear(const QString& device);
    bool Contains(const QString& device) const;

    // $XDG_STATE_HOME/korvanext/<name> (~/.local/state/... without it).
    static QString StateFolder(const QString& name = "cut-transfers");

private:
    QString File(const QString& device) const;
    QString m_Folder;
    QSet<QString> m_Ports;
};
