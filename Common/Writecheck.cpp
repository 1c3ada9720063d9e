#include "Writecheck.h"

#include "Commonutils.h"
#include "Language.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {
// Texts of the check and of a load's note.
const int kTextHeldInstead = 481;
const int kTextMissingOnWrite = 482;
const int kTextBrokenLine = 483;
const int kTextMore = 485;
const int kTextLoadedAsHeld = 486;
const int kTextMissingOnLoad = 487;

// Wider than any field: a length byte and 40 characters.
constexpr size_t kFieldWindow = 64;
// Values longer than this are shortened in messages.
constexpr int kShownLength = 40;
// A number type with more values than this is described by its ends.
constexpr int kMaxCounted = 70000;

const CParInt* NumberType(const CParBasic& par) { return dynamic_cast<const CParInt*>(&par); }

// The first maxItems of the items, then how many more there are.
QStringList Limited(const CLanguage& language, QStringList items, int maxItems)
{
    if (items.size() <= maxItems) return items;
    const int more = int(items.size()) - maxItems;
    items = items.mid(0, maxItems);
    items << Substitute(language.Text(kTextMore), {QString::number(more)});
    return items;
}

QStringList ChangeLines(const std::vector<TDifference>& changes)
{
    QStringList lines;
    for (const TDifference& d : changes)
        lines << QString("%1: %2 \u2192 %3")
                     .arg(QString::fromStdString(SettingName(d.key, d.index, d.count)), ShownValue(d.mine),
                          ShownValue(d.other));
    return lines;
}

QStringList GapNames(const std::vector<CParameters::TFileGap>& gaps, const TSettingNamer& name = {})
{
    QStringList names;
    for (const CParameters::TFileGap& g : gaps) names << GapName(g, name);
    return names;
}
}  // namespace

std::string HeldValue(const CParBasic& par, const std::string& value)
{
    if (par.m_Address == -1) return value;
    std::array<uint8_t, kFieldWindow> field{};
    par.Encode(value, field.data());
    return par.Normalize(par.Decode(field.data()));
}

QString HeldLimit(const CParBasic& par)
{
    if (const auto* text = dynamic_cast<const CParString*>(&par))
        return QString("at most %1 characters").arg(text->m_MaxSize);
    const CParInt* number = NumberType(par);
    if (!number) return {};
    const long long step = std::max(number->m_Step, 1);
    if ((static_cast<long long>(number->m_Max) - number->m_Min) / step > kMaxCounted)
        return QString("from %1 to %2").arg(number->m_Min).arg(number->m_Max);
    QStringList kept;
    for (long long v = number->m_Min; v <= number->m_Max; v += step) {
        const std::string t = NumberText(v);
        if (par.Normalize(t) == t && HeldValue(par, t) == t) kept << QString::fromStdString(t);
    }
    if (kept.isEmpty()) return {};
    if (kept.size() > 6) return QString("from %1 to %2").arg(kept.front(), kept.back());
    const QString last = kept.takeLast();
    return kept.isEmpty() ? "only " + last : "only " + kept.join(", ") + " and " + last;
}

TWriteCheck CheckBeforeWrite(const CParameters& configuration, const CParameters::TFileGaps& gaps,
                             const std::vector<TSettingRef>* chosen, const std::set<std::string>& extraKeys)
{
    std::set<std::pair<std::string, int>> picked;
    if (chosen)
        for (const TSettingRef& r : *chosen) picked.emplace(r.key, r.index);
    auto counts = [&](const std::string& key, int i) { return !chosen || picked.count({key, i}) > 0; };

    TWriteCheck check;
    for (const auto& [key, rc] : configuration.Entries()) {
        if (rc.Par->m_Address == -1 || (!rc.Par->m_InFile && !extraKeys.count(key))) continue;
        for (int i = 0; i < rc.Count; ++i) {
            if (!counts(key, i)) continue;
            const std::string& value = rc.Values[size_t(i)];
            std::string held = HeldValue(*rc.Par, value);
            if (held != value) check.changed.push_back({key, i, rc.Count, value, std::move(held)});
        }
    }
    // What the file left out counts while it is still at its default: a value
    // set since then is what the user sees.
    for (const CParameters::TFileGap& gap : gaps.missing) {
        const CParameters::TMultiPar* rc = configuration.Find(gap.key);
        if (!rc) continue;
        int runFrom = -1;
        const int last = std::min(gap.to, rc->Count - 1);
        for (int i = gap.from; i <= last + 1; ++i) {
            const bool listed = i <= last && counts(gap.key, i) && rc->Values[size_t(i)] == rc->Par->m_Default;
            if (listed && runFrom < 0) runFrom = i;
            if (!listed && runFrom >= 0) {
                check.missing.push_back({gap.key, runFrom, i - 1, rc->Count});
                runFrom = -1;
            }
        }
    }
    check.brokenLastLine = gaps.brokenLastLine && !chosen;
    return check;
}

std::vector<TDifference> HoldNumbers(CParameters& configuration)
{
    std::vector<TDifference> changed;
    for (const auto& [key, rc] : configuration.Entries()) {
        if (rc.Par->m_Address == -1 || !NumberType(*rc.Par)) continue;
        for (int i = 0; i < rc.Count; ++i) {
            const std::string value = rc.Values[size_t(i)];
            const std::string held = HeldValue(*rc.Par, value);
            if (held == value) continue;
            changed.push_back({key, i, rc.Count, value, held});
        }
    }
    for (const TDifference& d : changed) configuration.SetValue(d.key, d.index, d.other);
    return changed;
}

QString GapName(const CParameters::TFileGap& gap, const TSettingNamer& name)
{
    const QString key = name ? name(gap.key) : QString::fromStdString(gap.key);
    if (gap.count <= 1 || (gap.from == 0 && gap.to >= gap.count - 1)) return key;
    const QString rows =
        gap.from == gap.to ? QString::number(gap.from + 1) : QString("%1-%2").arg(gap.from + 1).arg(gap.to + 1);
    return name ? QString("%1 (%2)").arg(key, rows) : QString("%1:%2").arg(key, rows);
}

QString ShownValue(const std::string& value)
{
    QString shown = FromBytes(EscapeFileValue(value));
    if (shown.size() > kShownLength) shown = shown.left(kShownLength - 1) + QChar(0x2026);
    return '"' + shown + '"';
}

QString WriteCheckText(const CLanguage& language, const TWriteCheck& check, int maxItems)
{
    QStringList parts;
    if (!check.changed.empty())
        parts << language.Text(kTextHeldInstead) + "\n" +
                     Limited(language, ChangeLines(check.changed), maxItems).join('\n');
    if (!check.missing.empty())
        parts << language.Text(kTextMissingOnWrite) + "\n" +
                     Limited(language, GapNames(check.missing), maxItems).join(", ");
    if (check.brokenLastLine) parts << language.Text(kTextBrokenLine);
    return parts.join("\n\n");
}

QString LoadNoteText(const CLanguage& language, const std::vector<TDifference>& held,
                     const CParameters::TFileGaps& gaps, int maxItems, const TSettingNamer& name)
{
    QStringList parts;
    if (!held.empty())
        parts << language.Text(kTextLoadedAsHeld) + "\n" + Limited(language, ChangeLines(held), maxItems).join('\n');
    if (!gaps.missing.empty())
        parts << language.Text(kTextMissingOnLoad) + "\n" +
                     Limited(language, GapNames(gaps.missing, name), maxItems).join(", ");
    if (gaps.brokenLastLine) parts << language.Text(kTextBrokenLine);
    return parts.join("\n\n");
}
