#include "Bindings.h"

#include "Commonutils.h"
#include "Globals.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

// ---------------------------------------------------------------- up-down

TUpDown::TUpDown(QWidget* parent) : QWidget(parent), m_Up(new QToolButton(this)), m_Down(new QToolButton(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* b : {m_Up, m_Down}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setFixedSize(16, 11);
        layout->addWidget(b);
    }
    m_Up->setArrowType(Qt::UpArrow);
    m_Down->setArrowType(Qt::DownArrow);
    connect(m_Up, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(m_Down, &QToolButton::clicked, this, [this] { Step(-1); });
    setFixedWidth(16);
}

void TUpDown::SetAssociate(QLineEdit* edit)
{
    if (m_Associate) m_Associate->removeEventFilter(this);
    m_Associate = edit;
    if (edit) edit->installEventFilter(this);
}

void TUpDown::SetPosition(int position)
{
    m_Position = std::clamp(position, m_Min, m_Max);
    if (m_Associate) m_Associate->setText(QString::number(m_Position));
}

void TUpDown::Step(int direction)
{
    if (!isEnabled()) return;
    int current = m_Position;
    if (m_Associate) current = std::clamp(ParseNumber(ToBytes(m_Associate->text())), m_Min, m_Max);
    m_Position = current;
    const int next = std::clamp(current + direction * m_Increment, m_Min, m_Max);
    if (next == current) return;
    if (OnChangingEx && !OnChangingEx(next, direction)) return;
    SetPosition(next);
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_Associate && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------- bindings

std::string CParEdit::GetFromControl() const { return ToBytes(m_Control->text()); }

void CParEdit::SetToControl(const std::string& text)
{
    // Spinners first, so the edit ends up with the stored text whatever they write.
    if (QWidget* owner = m_Control->window()) {
        for (TUpDown* ud : owner->findChildren<TUpDown*>())
            if (ud->Associate() == m_Control) ud->SetPosition(ParseNumber(text));
    }
    m_Control->setText(FromBytes(text));
    m_Control->update();
}

std::string CParCheck::GetFromControl() const
{
    const bool on = m_Control->isChecked();
    return (on != m_Inverted) ? "1" : "0";
}

void CParCheck::SetToControl(const std::string& text)
{
    const bool nonZero = ParseNumber(text) != 0;
    m_Control->setChecked(m_Inverted ? !nonZero : nonZero);
}

std::string CParTrack::GetFromControl() const { return NumberText(m_Control->value()); }
void CParTrack::SetToControl(const std::string& text) { m_Control->setValue(ParseNumber(text)); }

int ComboItemValue(const QComboBox* combo, int index)
{
    const QVariant v = combo->itemData(index);
    return v.isValid() ? v.toInt() : ParseNumber(ToBytes(combo->itemText(index)));
}

int ComboFindValue(const QComboBox* combo, int value)
{
    for (int j = 0; j < combo->count(); ++j)
        if (ComboItemValue(combo, j) == value) return j;
    return -1;
}

std::string CParCombo::GetFromControl() const
{
    const int i = m_Control->currentIndex();
    return NumberText(i < 0 ? 0 : ComboItemValue(m_Control, i));
}

void CParCombo::SetToControl(const std::string& text)
{
    m_Control->setCurrentIndex(m_Control->count() ? 0 : -1);
    const int j = ComboFindValue(m_Control, ParseNumber(text));
    if (j >= 0) m_Control->setCurrentIndex(j);
}

std::string CParMemo::GetFromControl() const
{
    std::string s = ToBytes(m_Control->toPlainText());
    std::string out;
    for (char c : s) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

void CParMemo::SetToControl(const std::string& text)
{
    std::string s;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) s += text[i];
    m_Control->setPlainText(FromBytes(s));
}

// ---------------------------------------------------------------- exit check

namespace {
// Replaces the control's text by its normalised form when the focus leaves it.
class TExitCheck : public QObject {
public:
    TExitCheck(QObject* control, const CParBasic* par) : QObject(control), m_Par(par) { setObjectName("ExitCheck"); }
    const CParBasic* m_Par;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut) {
            if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
                const QString corrected = FromBytes(m_Par->Normalize(ToBytes(edit->text())));
                if (corrected != edit->text()) edit->setText(corrected);
            } else if (auto* memo = qobject_cast<QPlainTextEdit*>(watched)) {
                CParMemo binding({}, 0, memo);
                const std::string normalized = m_Par->Normalize(binding.GetFromControl());
                if (normalized != binding.GetFromControl()) binding.SetToControl(normalized);
            }
        }
        return false;
    }
};

void InstallExitCheck(QWidget* control, const CParBasic* par)
{
    for (QObject* child : control->children()) {
        if (auto* old = dynamic_cast<TExitCheck*>(child)) {
            old->m_Par = par;
            return;
        }
    }
    control->installEventFilter(new TExitCheck(control, par));
}
}  // namespace

// ---------------------------------------------------------------- the list

void CParBindings::AddControl(const std::string& key, int index, QLineEdit* edit)
{
    AppendControl(std::make_unique<CParEdit>(key, index, edit));
    if (const CParameters::TMultiPar* rc = m_Registry.Find(key)) InstallExitCheck(edit, rc->Par.get());
}

void CParBindings::AddControl(const std::string& key, int index, QPlainTextEdit* memo)
{
    AppendControl(std::make_unique<CParMemo>(key, index, memo));
    if (const CParameters::TMultiPar* rc = m_Registry.Find(key)) InstallExitCheck(memo, rc->Par.get());
}

void CParBindings::AppendControl(std::unique_ptr<CParControl> control)
{
    if (control) m_Controls.push_back(std::move(control));
}

void CParBindings::ControlsFromValues()
{
    for (const auto& c : m_Controls) {
        const CParameters::TMultiPar* rc = m_Registry.Find(c->m_Name);
        if (!rc || c->m_Index < 0 || c->m_Index >= rc->Count) continue;
        c->SetToControl(rc->Values[size_t(c->m_Index)]);
    }
}

void CParBindings::ValuesFromControls()
{
    for (const auto& c : m_Controls) {
        const CParameters::TMultiPar* rc = m_Registry.Find(c->m_Name);
        if (!rc || c->m_Index < 0 || c->m_Index >= rc->Count) continue;
        m_Registry.SetValue(c->m_Name, c->m_Index, c->GetFromControl());
    }
}

CParBindings& Bindings()
{
    static std::unique_ptr<CParBindings> list;
    CParameters& registry = Parameters();
    if (!list || !list->On(registry)) list = std::make_unique<CParBindings>(registry);
    return *list;
}
