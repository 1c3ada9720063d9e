// Settings as the command line names them: KEY or KEY:ROW, the closest key
// to a wrong one, and differences listed by key.
#pragma once
#include "Compare.h"
#include "Parameters.h"

#include <QJsonArray>
#include <QString>
#include <string>

QString ClosestKey(const CParameters& p, const QString& key);

// KEY or KEY:ROW (rows count from 1, as the window shows them). row is 0 for
// a whole key.
struct TKeyRef {
    std::string key;
    int row = 0;
    const CParameters::TMultiPar* par = nullptr;
};

// 0, or the exit status after saying why `text` names no key or row.
int ParseKeyRef(const CParameters& p, const QString& text, TKeyRef& ref);

QString KeyName(const std::string& key, int count, int index);

// The value of a one-row key in the program's configuration.
QString Value(const char* key);

// Prints each difference as KEY[:ROW] "a" -> "b" (unless JSON is asked for) and
// gives them as JSON, the two sides named aName and bName.
QJsonArray Differences(const TComparison& c, const char* aName, const char* bName, bool json);
// One difference as a line: KEY[:ROW] "a" -> "b"; with hideSecrets a secret setting's
// values are (secret).
void PrintDifference(const TDifference& d, bool hideSecrets);
