// Many gateways at once: one korvanext-cli per port (the terminal is one per
// process), their output prefixed with the port, a summary at the end.
#pragma once
#include <QString>
#include <QStringList>
#include <atomic>

struct TFleetRun {
    QString command;        // identify, read, backup, write or upgrade
    QStringList arguments;  // passed to every run: files and options, without --port
    QStringList ports;
    bool json = false;  // the summary as a JSON document
    int jobs = 32;      // runs at once at most; the others are queued
};

// Runs the command on every port in parallel, run.jobs at a time; an interrupt is passed on to the
// runs. Prints the summary to stdout and returns the worst exit status.
int RunFleet(const TFleetRun& run, std::atomic<bool>& interrupt);
