#include "Desiredstate.h"

#include "Catalogue.h"
#include "Commonutils.h"
#include "Imagelayout.h"
#include "Parameters.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtGlobal>
#include <cmath>
#include <set>
#include <utility>
#include <yaml-cpp/yaml.h>

namespace {
// A value as the file gives it: text, or where a secret is to be found.
struct TGiven {
    enum Kind { Text, Env, File } kind = Text;
    std::string text;   // the value, the variable's name or the file's path
    bool utf8 = false;  // text of a YAML or JSON file; the gateway keeps a byte a character
};

// Checks each value as it is met and keeps the first reason to refuse the file.
class TStateReader {
public:
    TStateReader(const QString& path, const CParameters& catalogue, const TDesiredRules& rules, TDesiredState& state)
        : m_Path(path), m_Catalogue(catalogue), m_Rules(rules), m_State(state)
    {}

    bool Fail(int line, const QString& reason)
    {
        if (m_Error.isEmpty()) m_Error = (line > 0 ? QString("%1:%2: ").arg(m_Path).arg(line) : m_Path + ": ") + reason;
        return false;
    }
    const QString& Error() const { return m_Error; }

    // The setting a name of the file stands for: KEY, or KEY:ROW (rows from 1; row 0: none given).
    const CParameters::TMultiPar* Setting(const std::string& name, int line, std::string& key, int& row)
    {
        const size_t colon = name.find(':');
        key = name.substr(0, colon);
        row = 0;
        const CParameters::TMultiPar* rc = m_Catalogue.Find(key);
        const QString shown = "'" + FromBytes(key) + "'";
        if (!rc) return Fail(line, "unknown key " + shown + " ('korvanext-cli keys' lists them)"), nullptr;
        if (rc->Par->m_Address < 0) return Fail(line, shown + " is read from the gateway, never set"), nullptr;
        if (!rc->Par->m_InFile && !m_Rules.secretOutside(key)) return Fail(line, shown + " cannot be set"), nullptr;
        if (colon == std::string::npos) return rc;
        if (!Row(name.substr(colon + 1), *rc, key, line, row)) return nullptr;
        return rc;
    }

    bool Row(const std::string& text, const CParameters::TMultiPar& rc, const std::string& key, int line, int& row)
    {
        bool ok = false;
        row = FromBytes(text).toInt(&ok);
        if (ok && row >= 1 && row <= rc.Count && rc.Count > 1) return true;
        const QString rows = rc.Count > 1 ? QString("rows 1 to %1").arg(rc.Count) : QString("no rows");
        return Fail(line, QString("%1 has %2: not '%3'").arg(FromBytes(key), rows, FromBytes(text)));
    }

    // One value of one setting; row 0 for a setting without rows.
    bool Add(const std::string& key, const CParameters::TMultiPar& rc, int row, const TGiven& given, int line)
    {
        const int index = std::max(row - 1, 0);
        const std::string name = SettingName(key, index, rc.Count);
        const QString shownName = FromBytes(name);
        if (rc.Count > 1 && row == 0)
            return Fail(line, QString("%1 has rows 1 to %2: give %1:ROW, a list of rows or a map of rows")
                                  .arg(FromBytes(key))
                                  .arg(rc.Count));
        if (!m_Seen.emplace(key, index).second) return Fail(line, shownName + " is given twice");
        std::string value = given.text;
        if (given.kind == TGiven::Text && given.utf8) {
            const QString text = QString::fromUtf8(given.text.data(), int(given.text.size()));
            if (const QString why = BeyondBytes(text); !why.isEmpty())
                return Fail(line, QString("%1: \"%2\" %3").arg(shownName, text, why));
            value = ToBytes(text);
        }
        if (given.kind == TGiven::Text && m_Rules.secretOutside(key))
            return Fail(line, shownName + " is secret: give it as {env: NAME} or {file: PATH}, never in the file");
        if (given.kind == TGiven::Env) {
            const QByteArray variable = given.text.c_str();
            if (variable.isEmpty() || !qEnvironmentVariableIsSet(variable.constData()))
                return Fail(
                    line,
                    QString("%1: the environment variable '%2' is not set").arg(shownName, FromBytes(given.text)));
            value = qgetenv(variable.constData()).toStdString();
        } else if (given.kind == TGiven::File) {
            const QString file = QDir(QFileInfo(m_Path).absolutePath()).filePath(QFile::decodeName(given.text.c_str()));
            QByteArray bytes;
            TFileStatus status;
            if (!ReadFileBounded(file, kMaxConfigFileSize, bytes, &status))
                return Fail(line, QString("%1: cannot read '%2': %3").arg(shownName, file, status.Reason));
            while (bytes.endsWith('\n') || bytes.endsWith('\r')) bytes.chop(1);
            value = bytes.toStdString();
        }
        const TChoices choices = m_Rules.choices ? m_Rules.choices(key) : TChoices{};
        const bool secret = m_Rules.secret(key);
        if (const QString why = StrictProblem(name, *rc.Par, value, choices, secret); !why.isEmpty())
            return Fail(line, why);
        m_State.settings.push_back({key, index, value, line});
        return true;
    }

private:
    QString m_Path;
    const CParameters& m_Catalogue;
    const TDesiredRules& m_Rules;
    TDesiredState& m_State;
    std::set<std::pair<std::string, int>> m_Seen;
    QString m_Error;
};

// ---------------------------------------------------------------- YAML

int LineOf(const YAML::Node& node) { return node.Mark().line >= 0 ? node.Mark().line + 1 : 0; }

// A value node: text (a null is empty), or {env: NAME} / {file: PATH}; false when it is neither.
bool YamlGiven(const YAML::Node& node, TGiven& given)
{
    if (node.IsNull()) return given = {}, true;
    if (node.IsScalar()) return given = {TGiven::Text, node.Scalar(), true}, true;
    if (!node.IsMap() || node.size() != 1) return false;
    const auto it = node.begin();
    if (!it->first.IsScalar() || !it->second.IsScalar()) return false;
    const std::string& kind = it->first.Scalar();
    if (kind != "env" && kind != "file") return false;
    given = {kind == "env" ? TGiven::Env : TGiven::File, it->second.Scalar()};
    return true;
}

bool ReadYaml(const std::string& text, TStateReader& reader)
{
    YAML::Node root;
    try {
        root = YAML::Load(text);
    } catch (const YAML::Exception& e) {
        return reader.Fail(e.mark.line >= 0 ? e.mark.line + 1 : 0, QString::fromStdString(e.msg));
    }
    if (root.IsNull()) return true;  // names nothing
    if (!root.IsMap()) return reader.Fail(LineOf(root), "a desired state is a map of KEY: VALUE");
    for (const auto& entry : root) {
        const int line = LineOf(entry.first);
        if (!entry.first.IsScalar()) return reader.Fail(line, "a key is a name, as 'korvanext-cli keys' prints it");
        std::string key;
        int row = 0;
        const CParameters::TMultiPar* rc = reader.Setting(entry.first.Scalar(), line, key, row);
        if (!rc) return false;
        const YAML::Node& value = entry.second;
        TGiven given;
        if (YamlGiven(value, given)) {
            if (!reader.Add(key, *rc, row, given, line)) return false;
        } else if (row == 0 && rc->Count > 1 && value.IsSequence()) {
            if (int(value.size()) > rc->Count)
                return reader.Fail(
                    line, QString("%1 has %2 rows, the list %3").arg(FromBytes(key)).arg(rc->Count).arg(value.size()));
            int r = 0;
            for (const YAML::Node& item : value) {
                if (!YamlGiven(item, given) || given.kind != TGiven::Text)
                    return reader.Fail(LineOf(item), "a row's value is a single value");
                if (!reader.Add(key, *rc, ++r, given, LineOf(item))) return false;
            }
        } else if (row == 0 && rc->Count > 1 && value.IsMap()) {
            for (const auto& item : value) {
                const int itemLine = LineOf(item.first);
                if (!item.first.IsScalar() || !reader.Row(item.first.Scalar(), *rc, key, itemLine, row)) {
                    return reader.Fail(itemLine, "a map of rows has row numbers as its keys");
                }
                if (!YamlGiven(item.second, given) || given.kind != TGiven::Text)
                    return reader.Fail(itemLine, "a row's value is a single value");
                if (!reader.Add(key, *rc, row, given, itemLine)) return false;
            }
        } else {
            return reader.Fail(line, FromBytes(key) + ": a value is a single value, {env: NAME} or {file: PATH}" +
                                         (rc->Count > 1 ? QString(", or a list or map of rows") : QString()));
        }
    }
    return true;
}

// ---------------------------------------------------------------- JSON

bool JsonGiven(const QJsonValue& value, TGiven& given)
{
    switch (value.type()) {
    case QJsonValue::Null: given = {}; return true;
    case QJsonValue::Bool: given = {TGiven::Text, value.toBool() ? "true" : "false"}; return true;
    case QJsonValue::String: given = {TGiven::Text, value.toString().toStdString(), true}; return true;
    case QJsonValue::Double: {
        // A whole number as the file stores it; anything else as written, and refused as no whole number.
        const double d = value.toDouble();
        const bool whole = std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 1e15;
        given = {TGiven::Text, whole ? NumberText((long long)d) : ToBytes(QString::number(d, 'g', 17))};
        return true;
    }
    case QJsonValue::Object: {
        const QJsonObject o = value.toObject();
        if (o.size() != 1 || !o.begin().value().isString()) return false;
        const QString kind = o.begin().key();
        if (kind != "env" && kind != "file") return false;
        given = {kind == "env" ? TGiven::Env : TGiven::File, o.begin().value().toString().toStdString()};
        return true;
    }
    default: return false;
    }
}

bool ReadJson(const QByteArray& bytes, TStateReader& reader)
{
    QJsonParseError e{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &e);
    if (e.error != QJsonParseError::NoError)
        return reader.Fail(int(bytes.left(e.offset).count('\n')) + 1, e.errorString());
    if (!doc.isObject()) return reader.Fail(1, "a desired state is an object of \"KEY\": VALUE");
    const QJsonObject root = doc.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        std::string key;
        int row = 0;
        const CParameters::TMultiPar* rc = reader.Setting(ToBytes(it.key()), 0, key, row);
        if (!rc) return false;
        TGiven given;
        const QJsonValue value = it.value();
        if (JsonGiven(value, given)) {
            if (!reader.Add(key, *rc, row, given, 0)) return false;
        } else if (row == 0 && rc->Count > 1 && value.isArray()) {
            const QJsonArray rows = value.toArray();
            if (rows.size() > rc->Count)
                return reader.Fail(
                    0, QString("%1 has %2 rows, the list %3").arg(FromBytes(key)).arg(rc->Count).arg(rows.size()));
            for (int r = 0; r < rows.size(); ++r)
                if (!JsonGiven(rows[r], given) || given.kind != TGiven::Text)
                    return reader.Fail(0, FromBytes(key) + ": a row's value is a single value");
                else if (!reader.Add(key, *rc, r + 1, given, 0)) return false;
        } else if (row == 0 && rc->Count > 1 && value.isObject()) {
            const QJsonObject rows = value.toObject();
            for (auto r = rows.begin(); r != rows.end(); ++r) {
                if (!reader.Row(ToBytes(r.key()), *rc, key, 0, row)) return false;
                if (!JsonGiven(r.value(), given) || given.kind != TGiven::Text)
                    return reader.Fail(0, FromBytes(key) + ": a row's value is a single value");
                if (!reader.Add(key, *rc, row, given, 0)) return false;
            }
        } else {
            return reader.Fail(0, FromBytes(key) + ": a value is a single value, {\"env\": NAME} or {\"file\": PATH}");
        }
    }
    return true;
}

// ---------------------------------------------------------------- configuration file

// A configuration file names every value it sets; the load normalises them, as stored files expect.
bool ReadKvx(const std::string& text, const CParameters& catalogue, TStateReader& reader, TDesiredState& state)
{
    CParameters file;
    BuildCatalogue(file);
    CParameters::TLoadReport report;
    if (!file.LoadFromText(text, &report)) return reader.Fail(0, report.File.Reason);
    if (report.UnknownCount > 0)
        return reader.Fail(
            0,
            QString("unknown key '%1' ('korvanext-cli keys' lists them)").arg(FromBytes(report.UnknownNames.front())));
    std::set<std::pair<std::string, int>> left;
    for (const CParameters::TFileGap& gap : report.Gaps.missing)
        for (int i = gap.from; i <= gap.to; ++i) left.emplace(gap.key, i);
    for (const auto& [key, rc] : catalogue.Entries()) {
        if (rc.Par->m_Address < 0 || !rc.Par->m_InFile) continue;
        for (int i = 0; i < rc.Count; ++i)
            if (!left.count({key, i})) state.settings.push_back({key, i, file.GetValue(key, i), 0});
    }
    return true;
}
}  // namespace

bool TDesiredState::NamesBlock2(const CParameters& catalogue) const
{
    for (const TDesiredSetting& s : settings)
        if (const CParameters::TMultiPar* rc = catalogue.Find(s.key);
            rc && rc->Par->m_Address >= ImageLayout::Block2Start)
            return true;
    return false;
}

bool TDesiredState::Names(const std::string& key) const
{
    for (const TDesiredSetting& s : settings)
        if (s.key == key) return true;
    return false;
}

bool LoadDesiredState(const QString& path, const CParameters& catalogue, const TDesiredRules& rules,
                      TDesiredState& state, QString& error, bool& fileError)
{
    state = {};
    state.path = path;
    fileError = false;
    QByteArray bytes;
    TFileStatus status;
    if (!ReadFileBounded(path, kMaxConfigFileSize, bytes, &status)) {
        fileError = true;
        error = "cannot read '" + path + "': " + status.Reason;
        return false;
    }
    TStateReader reader(path, catalogue, rules, state);
    const QString suffix = QFileInfo(path).suffix().toLower();
    const std::string text(bytes.constData(), size_t(bytes.size()));
    const bool ok = suffix == "json"  ? ReadJson(bytes, reader)
                    : suffix == "kvx" ? ReadKvx(text, catalogue, reader, state)
                                      : ReadYaml(text, reader);
    if (!ok) {
        error = reader.Error();
        state.settings.clear();
    }
    return ok;
}

void PlanTarget(const TDesiredState& state, bool replaced, const CParameters& held, CParameters& target)
{
    target.Restore(held.Snapshot());
    if (replaced)
        for (const auto& [key, rc] : held.Entries())
            if (rc.Par->m_Address >= 0 && rc.Par->m_InFile) target.SetDefault(key);
    for (const TDesiredSetting& s : state.settings) target.SetValue(s.key, s.index, s.value);
}

std::vector<TDifference> PlannedChanges(const CParameters& held, const CParameters& target)
{
    return CompareConfigurations(held, target, {"PINVal", "ServisPassw"}).differences;
}
