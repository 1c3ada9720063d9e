#include "Strictvalues.h"

#include "Commonutils.h"
#include "Writecheck.h"

#include <QStringList>
#include <algorithm>
#include <cstring>

namespace {
// A decimal integer and nothing else: the gateway's own reading skips what
// follows a number, a desired state must not.
bool StrictNumber(const std::string& text, long long& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i == text.size() || text.size() - i > 12) return false;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
    }
    value = negative ? -v : v;
    return true;
}

QString Shown(const std::string& text) { return ShownValue(text); }

QString ChoiceList(const TChoices& choices)
{
    QStringList items;
    for (const TChoice& c : choices)
        items << (c.caption.isEmpty() ? QString::number(c.value) : QString("%1 (%2)").arg(c.value).arg(c.caption));
    if (items.size() < 2) return items.join("");
    const QString last = items.takeLast();
    return items.join(", ") + " or " + last;
}
}  // namespace

const CParInt* NumberTypeOf(const CParBasic& par) { return dynamic_cast<const CParInt*>(&par); }

const char* PhoneExtras(const CParBasic& par)
{
    // Most derived first: each type keeps its own characters.
    if (dynamic_cast<const CParStringNum*>(&par)) return "";
    if (dynamic_cast<const CParPhoneNoPlus*>(&par)) return "*#";
    if (dynamic_cast<const CParPhoneQuest*>(&par)) return "*#?";
    if (dynamic_cast<const CParPhoneString*>(&par)) return "+*#";
    return nullptr;
}

QString AllowedText(const CParBasic& par, const TChoices& choices)
{
    if (!choices.empty()) return ChoiceList(choices);
    if (const CParInt* n = NumberTypeOf(par)) {
        QString range = QString("from %1 to %2").arg(n->m_Min).arg(n->m_Max);
        if (n->m_Step > 1) range += QString(" in steps of %1").arg(n->m_Step);
        return range;
    }
    const auto* text = dynamic_cast<const CParString*>(&par);
    if (!text) return {};
    if (const auto* digits = dynamic_cast<const CParStringNum*>(&par)) {
        const QString empty = dynamic_cast<const CPIN*>(&par) ? QString(", or empty") : QString();
        return QString("%1 to %2 digits%3").arg(digits->m_MinSize).arg(digits->m_MaxSize).arg(empty);
    }
    if (const char* extras = PhoneExtras(par)) {
        QStringList chars;
        for (const char* c = extras; *c; ++c) chars << QString(QChar(*c));
        QString allowed = QString("at most %1 digits").arg(text->m_MaxSize);
        if (!chars.isEmpty()) allowed += " and " + chars.join(' ');
        if (dynamic_cast<const CParPhoneCross*>(&par)) allowed += ", ending with #";
        return allowed;
    }
    return QString("at most %1 characters").arg(text->m_MaxSize);
}

QString StrictProblem(const std::string& name, const CParBasic& par, const std::string& text, const TChoices& choices,
                      bool secret)
{
    const auto Shown = [secret](const std::string& t) { return secret ? QString("(secret)") : ::Shown(t); };
    const QString head = QString("%1: %2 ").arg(QString::fromStdString(name), Shown(text));
    const QString allowed = "; allowed: " + AllowedText(par, choices);
    if (const CParInt* n = NumberTypeOf(par)) {
        long long v = 0;
        if (!StrictNumber(text, v)) return head + "is not a whole number" + allowed;
        if (v < n->m_Min || v > n->m_Max) return head + "is out of range" + allowed;
        if (n->m_Step > 1 && (v - n->m_Min) % n->m_Step != 0) return head + "is not a multiple of the step" + allowed;
        if (!choices.empty() &&
            std::none_of(choices.begin(), choices.end(), [v](const TChoice& c) { return c.value == v; }))
            return head + "is not offered" + allowed;
    } else if (const auto* t = dynamic_cast<const CParString*>(&par)) {
        if (const char* extras = PhoneExtras(par)) {
            for (const char c : text)
                if (!(c >= '0' && c <= '9') && (c == 0 || !std::strchr(extras, c)))
                    return head + QString("holds %1, which the setting does not keep").arg(Shown(std::string(1, c))) +
                           allowed;
            // A PIN or password counts digits against its own maximum below.
            if (!dynamic_cast<const CParStringNum*>(&par) && int(text.size()) > t->m_MaxSize)
                return head + QString("has %1 digits").arg(text.size()) + allowed;
        }
        if (const auto* digits = dynamic_cast<const CParStringNum*>(&par)) {
            const bool emptyPin = text.empty() && dynamic_cast<const CPIN*>(&par);
            if (!emptyPin && (int(text.size()) < digits->m_MinSize || int(text.size()) > digits->m_MaxSize))
                return head + QString("has %1 digits").arg(text.size()) + allowed;
        }
        if (!PhoneExtras(par) && int(text.size()) > t->m_MaxSize)
            return head + QString("has %1 characters").arg(text.size()) + allowed;
    }
    // What the checks above do not name (a number the type turns into another,
    // a field with too few bits, a text the image cuts) still shows what would be kept.
    const std::string stored = par.Normalize(text);
    if (stored != text) return head + "would be stored as " + Shown(stored) + allowed;
    const std::string held = HeldValue(par, stored);
    if (held != stored) return head + "cannot be held by the gateway, which keeps " + HeldLimit(par);
    return {};
}
