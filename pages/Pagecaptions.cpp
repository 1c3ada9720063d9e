#include "Pagecaptions.h"

#include "Commonutils.h"
#include "Pageform.h"
#include "Globals.h"
#include "Keyboard.h"
#include "Formtexts.h"
#include "Language.h"
#include "Parameters.h"
#include "Bindings.h"
#include "Service.h"
#include "Routingtables.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTableWidget>
#include <cstdlib>

namespace {
// The tab pages and groups a control sits in, outermost first.
std::vector<int> Context(const QWidget* control, const QWidget* page)
{
    std::vector<int> path;
    for (const QWidget* w = control->parentWidget(); w && w != page; w = w->parentWidget()) {
        const int tag = GetTag(w);
        if (tag <= 0) continue;
        if (IsTabPage(w) || qobject_cast<const QGroupBox*>(w)) path.insert(path.begin(), tag);
    }
    return path;
}

// The label a page puts beside a control (its buddy, maybe of the box that holds
// the control and its spinner); 0 when there is none.
int LabelOf(const QWidget* control, const QWidget* page)
{
    for (const QLabel* l : page->findChildren<QLabel*>()) {
        const QWidget* buddy = l->buddy();
        if (buddy && (buddy == control || buddy->isAncestorOf(control)) && GetTag(l) > 0) return GetTag(l);
    }
    return 0;
}

// A control in a grid with headings instead of labels: the heading of its column
// and the number its row is labelled with.
bool GridHeading(const QWidget* control, int& heading, int& row)
{
    for (const QWidget* w = control; w && w->parentWidget(); w = w->parentWidget()) {
        const auto* grid = qobject_cast<const QGridLayout*>(w->parentWidget()->layout());
        if (!grid) continue;
        const int i = grid->indexOf(const_cast<QWidget*>(w));
        if (i < 0) continue;
        int r = 0, c = 0, rs = 0, cs = 0;
        grid->getItemPosition(i, &r, &c, &rs, &cs);
        const QLayoutItem* top = grid->itemAtPosition(0, c);
        const QLayoutItem* left = grid->itemAtPosition(r, 0);
        const auto* head = top ? qobject_cast<const QLabel*>(top->widget()) : nullptr;
        const auto* number = left ? qobject_cast<const QLabel*>(left->widget()) : nullptr;
        if (!head || r == 0 || GetTag(head) <= 0) return false;
        heading = GetTag(head);
        row = number ? ParseNumber(ToBytes(number->text())) : 0;
        return true;
    }
    return false;
}

void ListOf(const QComboBox* combo, CCaptions::TCaption& c)
{
    c.show = CCaptions::TShow::List;
    c.list = std::abs(GetTag(combo));  // a translated combo box keeps its number negated
    for (int j = 0; j < combo->count(); ++j) c.values.push_back(ComboItemValue(combo, j));
}

}  // namespace

CCaptions CaptionsFromPages(const std::vector<TFPage*>& pages)
{
    using TCaption = CCaptions::TCaption;
    using TShow = CCaptions::TShow;
    std::vector<CCaptions::TEntry> entries;
    int index = -1;
    auto add = [&entries, &index](const std::string& key, TCaption c) {
        entries.push_back({index, key, std::move(c)});
    };
    for (TFPage* page : pages) {
        ++index;
        // A page without bindings of its own leaves the list as it was.
        Bindings().ClearControls();
        page->LoadFromParameters();
        for (const auto& binding : Bindings().Controls()) {
            TCaption c;
            const QWidget* control = nullptr;
            const CParControl* b = binding.get();
            if (const auto* check = dynamic_cast<const CParCheck*>(b)) {
                control = check->m_Control;
                c.show = check->m_Inverted ? TShow::TickInverted : TShow::Tick;
            } else if (const auto* combo = dynamic_cast<const CParCombo*>(b)) {
                control = combo->m_Control;
                ListOf(combo->m_Control, c);
            } else if (const auto* memo = dynamic_cast<const CParMemo*>(b)) {
                control = memo->m_Control;
                c.show = TShow::Memo;
            } else if (const auto* edit = dynamic_cast<const CParEdit*>(b)) {
                control = edit->m_Control;
            } else if (const auto* track = dynamic_cast<const CParTrack*>(b)) {
                control = track->m_Control;
            }
            if (!control) continue;
            c.path = Context(control, page);
            int label = qobject_cast<const QCheckBox*>(control) ? GetTag(control) : LabelOf(control, page);
            if (label <= 0) GridHeading(control, label, c.row);
            if (label > 0) c.path.push_back(label);
            add(binding->m_Name, std::move(c));
        }
        if (auto* routing = dynamic_cast<TFRoutingTables*>(page)) {
            for (const auto* grid : {&routing->TabFXS, &routing->TabFXSDef, &routing->TabFXO, &routing->TabFXODef,
                                     &routing->TabGSM, &routing->TabGSMDef}) {
                const std::vector<int> context = Context(grid->table, page);
                for (const auto& column : grid->columns) {
                    TCaption c;
                    c.path = context;
                    if (!grid->routing) c.path.push_back(grid->labelText);
                    c.path.push_back(column.text);
                    if (column.list) ListOf(column.list, c);
                    add(column.key, std::move(c));
                }
            }
        }
        if (auto* service = dynamic_cast<TFService*>(page)) {
            const std::pair<const QLabel*, const char*> shown[] = {{service->HardwareVersion, "HWVer"},
                                                                   {service->FirmwareVersion, "SWVer"},
                                                                   {service->SerialNumber, "SerialNum"},
                                                                   {service->OperatorLock, "OperLock"}};
            for (const auto& [label, key] : shown) {
                TCaption c;
                c.path = Context(label, page);
                if (const int tag = LabelOf(label, page)) c.path.push_back(tag);
                add(key, std::move(c));
            }
        }
    }
    return CCaptions::FromEntries(std::move(entries));
}
