#include "Captions.h"

#include "Commonutils.h"
#include "Globals.h"
#include "Language.h"

// The widget-free half of the captions: what the command line needs too.

namespace {
const int kTextTicked = 401, kTextNotTicked = 402, kTextEmpty = 403;

// Language texts of labels end in neither an accelerator nor a colon here.
QString Plain(const QString& label)
{
    QString text = WithoutMnemonic(label).trimmed();
    if (text.endsWith(':')) text.chop(1);
    return text;
}
}  // namespace

void CCaptions::Add(int page, const std::string& key, TCaption c)
{
    if (!m_Table.emplace(key, c).second) return;
    m_Order.push_back({page, key, std::move(c)});
}

QString CCaptions::Text(int number) { return Plain(Language().Text(number)); }

CCaptions CCaptions::FromEntries(std::vector<TEntry> entries)
{
    CCaptions table;
    for (TEntry& e : entries) table.Add(e.page, e.key, std::move(e.caption));
    return table;
}

const CCaptions::TCaption* CCaptions::Find(const std::string& key) const
{
    const auto it = m_Table.find(key);
    return it == m_Table.end() ? nullptr : &it->second;
}

QString CCaptions::Caption(const std::string& key) const
{
    const TCaption* c = Find(key);
    if (!c || c->path.empty()) return QString::fromStdString(key);
    QStringList parts;
    for (int n : c->path) parts << Text(n);
    QString caption = parts.join(QString(" \u203A "));
    if (c->row > 0) caption += QString(" %1.").arg(c->row);
    return caption;
}

QString CCaptions::Show(const std::string& key, const std::string& value) const
{
    const TCaption* c = Find(key);
    const TShow show = c ? c->show : TShow::Text;
    switch (show) {
    case TShow::Tick:
    case TShow::TickInverted: {
        const bool ticked = (ParseNumber(value) != 0) != (show == TShow::TickInverted);
        return Language().Text(ticked ? kTextTicked : kTextNotTicked);
    }
    case TShow::List: {
        const int v = ParseNumber(value);
        for (size_t j = 0; j < c->values.size(); ++j)
            if (c->values[j] == v) return Language().Item(c->list, int(j));
        break;
    }
    case TShow::Memo:
        if (!value.empty())
            return FromBytes(value).replace("\r\n", QString(" \u21B5 ")).replace('\n', QString(" \u21B5 "));
        break;
    case TShow::Text: break;
    }
    return value.empty() ? Language().Text(kTextEmpty) : FromBytes(value);
}
