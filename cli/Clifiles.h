// The files a command of korvanext-cli names: why one cannot be read or
// written, and configurations and images loaded and saved with the exit
// status a failure ends the command with.
#pragma once
#include "Parameters.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

// Why a file cannot be written (created or replaced), or empty when it can.
QString WriteProblem(const QString& path);
// Why a folder cannot be made or written into, or empty when it can.
QString FolderProblem(const QString& path);
// Creates the folder: empty, or why it cannot be.
QString MakeFolder(const QString& path);

int CannotRead(const QString& path, const QString& why);
int CannotWrite(const QString& path, const QString& why);

// Writes a gateway image atomically (every byte on the disk before the old file
// is replaced); empty, or the reason of the failure.
QString SaveImage(const QString& path, const std::vector<uint8_t>& image);
QString SaveConfiguration(const CParameters& p, const QString& path);

// Reads a regular file of at most maxSize bytes: 0, or the exit status after
// saying why not (devices and FIFOs are never opened).
int ReadBounded(const QString& path, qint64 maxSize, QByteArray& bytes, const QString& what);

// Loads a configuration file: 0, or the exit status after saying why not. A
// file that names no known key is refused: it would load as the defaults.
// `gaps` receives what the file left out of the gateway's settings.
int LoadConfiguration(CParameters& p, const QString& path, CParameters::TFileGaps* gaps = nullptr);

// Warns of what the configuration from `path` would give the gateway other
// than the file says: values it cannot hold, what the file left out.
void WarnNotHeld(const CParameters& p, const QString& path, const CParameters::TFileGaps& gaps, const char* outcome);

// A configuration of the defaults, apart from the program's own.
std::unique_ptr<CParameters> Catalogue();
