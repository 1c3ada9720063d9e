#include "Clikeys.h"

#include "Catalogue.h"
#include "Cliexit.h"
#include "Clireport.h"
#include "Commonutils.h"
#include "Globals.h"

#include <QJsonObject>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

int EditDistance(const QString& a, const QString& b)
{
    std::vector<int> row(size_t(b.size()) + 1);
    for (int j = 0; j <= b.size(); ++j) row[size_t(j)] = j;
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= b.size(); ++j) {
            const int up = row[size_t(j)];
            row[size_t(j)] = std::min({up + 1, row[size_t(j - 1)] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = up;
        }
    }
    return row[size_t(b.size())];
}

}  // namespace

QString ClosestKey(const CParameters& p, const QString& key)
{
    QString best;
    int bestDistance = 1 << 30;
    for (const auto& entry : p.Entries()) {
        if (!entry.second.Par->m_InFile) continue;
        const QString k = QString::fromStdString(entry.first);
        const int d = EditDistance(k.toLower(), key.toLower());
        if (d < bestDistance) {
            bestDistance = d;
            best = k;
        }
    }
    return best;
}

int ParseKeyRef(const CParameters& p, const QString& text, TKeyRef& ref)
{
    const int colon = text.indexOf(':');
    const QString key = colon < 0 ? text : text.left(colon);
    ref.key = key.toStdString();
    ref.par = p.Find(ref.key);
    if (!ref.par || !ref.par->Par->m_InFile) {
        if (ref.par) return Fail(kUsage, Quoted(key) + " is not kept in configuration files");
        return Fail(kUsage, "unknown key " + Quoted(key) + "; the closest is " + Quoted(ClosestKey(p, key)) +
                                " ('korvanext-cli keys' lists them all)");
    }
    if (colon < 0) return kOk;
    bool ok = false;
    ref.row = text.mid(colon + 1).toInt(&ok);
    if (!ok || ref.row < 1 || ref.row > ref.par->Count)
        return Fail(
            kUsage,
            QString("%1 has %2: not %3")
                .arg(key, ref.par->Count == 1 ? QString("no rows") : QString("rows 1 to %1").arg(ref.par->Count),
                     Quoted(text.mid(colon + 1))));
    return kOk;
}

QString KeyName(const std::string& key, int count, int index)
{
    return QString::fromStdString(SettingName(key, index, count));
}

QString Value(const char* key) { return FromBytes(Parameters().GetValue(key, 0)); }

// Prints each difference as KEY[:ROW] "a" -> "b" (unless JSON is asked for) and
// gives them as JSON, the two sides named aName and bName.
QJsonArray Differences(const TComparison& c, const char* aName, const char* bName, bool json)
{
    QJsonArray list;
    for (const TDifference& d : c.differences) {
        QJsonObject j{{"key", QString::fromStdString(d.key)}, {aName, FromBytes(d.mine)}, {bName, FromBytes(d.other)}};
        if (d.count > 1) j["row"] = d.index + 1;
        list.append(j);
        if (!json) PrintDifference(d, false);
    }
    return list;
}

void PrintDifference(const TDifference& d, bool hideSecrets)
{
    const bool secret = hideSecrets && SecretSetting(d.key);
    // As a .kvx file writes the value, in the terminal's encoding (the gateway's bytes are Latin-1).
    auto quoted = [secret](const std::string& v) {
        return secret ? QString("(secret)") : "\"" + ShownText(FromBytes(EscapeFileValue(v))) + "\"";
    };
    std::printf("%s %s -> %s\n", qPrintable(KeyName(d.key, d.count, d.index)), qPrintable(quoted(d.mine)),
                qPrintable(quoted(d.other)));
}
