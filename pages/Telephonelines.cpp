#include "Telephonelines.h"

#include "Globals.h"
#include "Keyboard.h"
#include "Formtexts.h"
#include "Language.h"
#include "Parameters.h"
#include "Bindings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
// Labels of the two ringing cadences.
const int kTextCadenceVoice = 370, kTextCadenceData = 371;
// The gateway keeps one bit of a ring-back cadence: only the first two patterns
// survive a write, so only they are offered (their item texts stay theirs).
constexpr std::initializer_list<int> kRingBackCadences = {0, 1};
}  // namespace

TFTelephoneLines::TFTelephoneLines(QWidget* parent) : TFPage(parent)
{
    setObjectName("TFTelephoneLines");
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(6, 6, 6, 6);
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setUsesScrollButtons(false);
    top->addWidget(PageControl1);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName("TabSheet1");
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName("TabSheet2");
    PageControl1->addTab(TabSheet1, QString());
    PageControl1->addTab(TabSheet2, QString());
    SetTag(TabSheet1, 214);
    SetTag(TabSheet2, 215);

    auto spin = [this](QLineEdit*& edit, TUpDown*& ud, const char* en, const char* un, int max, int lo, int hi,
                       int step = 1) {
        edit = MakeEdit(en, max);
        ud = MakeUpDown(un, edit, lo, hi, step);
        return EditWithUpDown(edit, ud);
    };
    // A tone: two frequencies side by side, below them whether it has two and its cadence.
    auto tone = [this, &spin](QTabWidget* tabs, const char* sheet, int sheetTag, QLineEdit*& f1, TUpDown*& u1,
                              const char* e1, const char* ud1, QCheckBox*& box, const char* boxName, int boxTag,
                              QLineEdit*& f2, TUpDown*& u2, const char* e2, const char* ud2, const char* label2,
                              int f1Tag, int f2Tag, QComboBox*& cadence, const char* cadName,
                              std::initializer_list<int> values, int cadTag) {
        auto* page = new QWidget;
        page->setObjectName(sheet);
        tabs->addTab(page, QString());
        SetTag(page, sheetTag);
        auto* grid = new QGridLayout(page);
        QWidget* first = spin(f1, u1, e1, ud1, 4, 5, 3400);
        QWidget* second = spin(f2, u2, e2, ud2, 4, 5, 3400);
        box = MakeCheck(boxName, boxTag);
        cadence = MakeCombo(cadName, values, cadTag);
        QLabel* l2 = AddCell(grid, 0, 2, f2Tag, second, label2);
        AddCell(grid, 0, 0, f1Tag, first);
        grid->addWidget(box, 1, 0, 1, 2);
        AddCell(grid, 1, 2, cadTag, cadence);
        grid->setColumnStretch(1, 1);
        grid->setColumnStretch(3, 1);
        m_Tones.push_back({box, f1, f2, u2, l2});
    };

    // FXS port: two columns of short settings, signalling and tones across the page.
    auto* fxs = new QGridLayout(TabSheet1);
    fxs->setContentsMargins(6, 6, 6, 6);
    QGroupBox* g1 = MakeGroup("GroupBox1", 41, TabSheet1);
    auto* f1 = new QFormLayout(g1);
    TrackBar1 = MakeTrack("TrackBar1", 1, 5);
    AddRow(f1, 43, TrackBar1);
    TrackBar2 = MakeTrack("TrackBar2", 1, 5);
    AddRow(f1, 42, TrackBar2);
    QGroupBox* g2 = MakeGroup("GroupBox2", 47, TabSheet1);
    auto* f2 = new QFormLayout(g2);
    ComboBox1 = MakeCombo("ComboBox1", {0, 1}, 33);
    AddRow(f2, 33, ComboBox1);
    AddRow(f2, 34, spin(Edit1, UpDown1, "Edit1", "UpDown1", 3, 1, 255));
    AddRow(f2, 36, spin(Edit4, UpDown3, "Edit4", "UpDown3", 5, 100, 25500, 100));
    CheckBox1 = MakeCheck("CheckBox1", 37);
    f2->addRow(CheckBox1);
    ComboBox2 = MakeCombo("ComboBox2", {0, 1}, 35);
    AddRow(f2, 35, ComboBox2);
    QGroupBox* g3 = MakeGroup("GroupBox3", 38, TabSheet1);
    auto* f3 = new QFormLayout(g3);
    Edit2 = MakeEdit("Edit2", 20);
    AddRow(f3, 39, Edit2);
    AddRow(f3, 40, spin(Edit3, UpDown2, "Edit3", "UpDown2", 3, 0, 255));
    QGroupBox* g4 = MakeGroup("GroupBox4", 163, TabSheet1);
    auto* f4 = new QFormLayout(g4);
    ComboBox3 = MakeCombo("ComboBox3", {0, 1}, 45);
    AddRow(f4, 45, ComboBox3);
    Edit5 = MakeEdit("Edit5", 4);
    AddRow(f4, 136, Edit5);
    // Signalling in two columns: on/off signals and frequencies, then the patterns.
    QGroupBox* g5 = MakeGroup("GroupBox5", 152, TabSheet1);
    auto* f5 = new QGridLayout(g5);
    CheckBox2 = MakeCheck("CheckBox2", 46);
    f5->addWidget(CheckBox2, 0, 0, 1, 2);
    ComboBox6 = MakeCombo("ComboBox6", {0, 1}, 148);
    AddCell(f5, 1, 0, 148, ComboBox6);
    ComboBox5 = MakeCombo("ComboBox5", {0, 1, 2, 3}, 149);
    AddCell(f5, 0, 2, 149, ComboBox5);
    ComboBox8 = MakeCombo("ComboBox8", {50, 25}, 164);
    AddCell(f5, 2, 0, 164, ComboBox8);
    // One list for voice calls, one for data and fax: the labels say which.
    ComboBox9 = MakeCombo("ComboBox9", {0, 1, 2, 3}, 165);
    AddCell(f5, 1, 2, kTextCadenceVoice, ComboBox9);
    ComboBox12 = MakeCombo("ComboBox12", {0, 1, 2, 3}, 165);
    AddCell(f5, 2, 2, kTextCadenceData, ComboBox12);
    f5->setColumnStretch(1, 1);
    f5->setColumnStretch(3, 1);
    QGroupBox* gTones = MakeGroup("GroupBox12", 162, TabSheet1);
    auto* ft = new QVBoxLayout(gTones);
    PageControl2 = new QTabWidget(gTones);
    PageControl2->setObjectName("PageControl2");
    PageControl2->setUsesScrollButtons(false);
    ft->addWidget(PageControl2);
    tone(PageControl2, "TabSheet5", 166, Edit8, UpDown6, "Edit8", "UpDown6", CheckBox4, "CheckBox4", 167, Edit9,
         UpDown7, "Edit9", "UpDown7", "Label19", 168, 169, ComboBox4, "ComboBox4", {0, 1}, 170);
    tone(PageControl2, "TabSheet3", 172, Edit10, UpDown8, "Edit10", "UpDown8", CheckBox5, "CheckBox5", 167, Edit11,
         UpDown9, "Edit11", "UpDown9", "Label22", 168, 169, ComboBox7, "ComboBox7", {0, 1, 2, 3, 4}, 171);
    tone(PageControl2, "TabSheet4", 280, Edit23, UpDown19, "Edit23", "UpDown19", CheckBox8, "CheckBox8", 167, Edit24,
         UpDown20, "Edit24", "UpDown20", "Label42", 168, 169, ComboBox13, "ComboBox13", kRingBackCadences, 281);
    fxs->addWidget(g1, 0, 0);
    fxs->addWidget(g2, 1, 0);
    fxs->addWidget(g4, 0, 1);
    fxs->addWidget(g3, 1, 1);
    fxs->addWidget(g5, 2, 0, 1, 2);
    fxs->addWidget(gTones, 3, 0, 1, 2);
    fxs->setColumnStretch(0, 1);
    fxs->setColumnStretch(1, 1);
    fxs->setRowStretch(4, 1);

    // FXO port, laid out like the FXS port.
    auto* fxo = new QGridLayout(TabSheet2);
    fxo->setContentsMargins(6, 6, 6, 6);
    QGroupBox* g6 = MakeGroup("GroupBox6", 47, TabSheet2);
    auto* f6 = new QFormLayout(g6);
    AddRow(f6, 177, spin(Edit12, UpDown10, "Edit12", "UpDown10", 3, 0, 255));
    AddRow(f6, 178, spin(Edit13, UpDown11, "Edit13", "UpDown11", 3, 1, 255));
    AddRow(f6, 179, spin(Edit6, UpDown4, "Edit6", "UpDown4", 3, 1, 255));
    ComboBox10 = MakeCombo("ComboBox10", {0, 1}, 180);
    AddRow(f6, 180, ComboBox10);
    AddRow(f6, 181, spin(Edit7, UpDown5, "Edit7", "UpDown5", 5, 100, 25500, 100));
    AddRow(f6, 182, spin(Edit14, UpDown12, "Edit14", "UpDown12", 3, 1, 255));
    CheckBox3 = MakeCheck("CheckBox3", 183);
    f6->addRow(CheckBox3);
    QGroupBox* g7 = MakeGroup("GroupBox7", 152, TabSheet2);
    auto* f7 = new QFormLayout(g7);
    CheckBox6 = MakeCheck("CheckBox6", 184);
    f7->addRow(CheckBox6);
    AddRow(f7, 185, spin(Edit15, UpDown13, "Edit15", "UpDown13", 3, 0, 255));
    AddRow(f7, 186, spin(Edit16, UpDown14, "Edit16", "UpDown14", 4, 0, 8925, 35));
    UpDown14->OnChangingEx = [this](int v, int d) { return UpDown14ChangingEx(v, d); };
    QGroupBox* g9 = MakeGroup("GroupBox9", 41, TabSheet2);
    auto* f9 = new QFormLayout(g9);
    TrackBar3 = MakeTrack("TrackBar3", 1, 5);
    AddRow(f9, 43, TrackBar3);
    TrackBar4 = MakeTrack("TrackBar4", 1, 5);
    AddRow(f9, 42, TrackBar4);
    QGroupBox* g10 = MakeGroup("GroupBox10", 192, TabSheet2);
    auto* f10 = new QFormLayout(g10);
    Edit19 = MakeEdit("Edit19", 20);
    AddRow(f10, 193, Edit19);
    AddRow(f10, 194, spin(Edit20, UpDown17, "Edit20", "UpDown17", 3, 0, 255));
    QGroupBox* g11 = MakeGroup("GroupBox11", 275, TabSheet2);
    auto* f11 = new QFormLayout(g11);
    Edit21 = MakeEdit("Edit21", 4);
    AddRow(f11, 276, Edit21);
    AddRow(f11, 277, spin(Edit22, UpDown18, "Edit22", "UpDown18", 4, 100, 1500, 100));
    QGroupBox* g8 = MakeGroup("GroupBox8", 162, TabSheet2);
    auto* f8 = new QVBoxLayout(g8);
    PageControl3 = new QTabWidget(g8);
    PageControl3->setObjectName("PageControl3");
    PageControl3->setUsesScrollButtons(false);
    f8->addWidget(PageControl3);
    tone(PageControl3, "TabSheet6", 166, Edit17, UpDown15, "Edit17", "UpDown15", CheckBox7, "CheckBox7", 188, Edit18,
         UpDown16, "Edit18", "UpDown16", "Label32", 189, 190, ComboBox11, "ComboBox11", {0, 1}, 191);
    tone(PageControl3, "TabSheet7", 280, Edit26, UpDown22, "Edit26", "UpDown22", CheckBox9, "CheckBox9", 188, Edit25,
         UpDown21, "Edit25", "UpDown21", "Label48", 189, 190, ComboBox14, "ComboBox14", kRingBackCadences, 281);
    fxo->addWidget(g9, 0, 0);
    fxo->addWidget(g6, 1, 0, 2, 1);
    fxo->addWidget(g7, 0, 1);
    fxo->addWidget(g10, 1, 1);
    fxo->addWidget(g11, 2, 1);
    fxo->addWidget(g8, 3, 0, 1, 2);
    fxo->setColumnStretch(0, 1);
    fxo->setColumnStretch(1, 1);
    fxo->setRowStretch(4, 1);

    // Tab goes column by column, as the groups stand, and through the tones last.
    ChainFocus({PageControl1, TrackBar1, TrackBar2, ComboBox1, Edit1, Edit4, CheckBox1, ComboBox2, ComboBox3,
                Edit5, Edit2, Edit3, CheckBox2, ComboBox6, ComboBox8, ComboBox5, ComboBox9, ComboBox12,
                PageControl2, Edit8, CheckBox4, Edit9, ComboBox4, Edit10, CheckBox5, Edit11, ComboBox7, Edit23,
                CheckBox8, Edit24, ComboBox13, TrackBar3, TrackBar4, Edit12, Edit13, Edit6, ComboBox10, Edit7, Edit14,
                CheckBox3, CheckBox6, Edit15, Edit16, Edit19, Edit20, Edit21, Edit22, PageControl3, Edit17,
                CheckBox7, Edit18, ComboBox11, Edit26, CheckBox9, Edit25, ComboBox14});

    // m_Tones is in the order CheckBox4, 5, 8, 7, 9 as built; the page's rules run 4, 5, 7, 8, 9.
    std::swap(m_Tones[2], m_Tones[3]);
    for (size_t i = 0; i < m_Tones.size(); ++i) {
        const TTwoTone t = m_Tones[i];
        connect(t.box, &QCheckBox::clicked, this, [this, t] { TwoToneClick(t); });
        connect(t.first, &QLineEdit::textChanged, this, [this, t] { FirstChange(t); });
    }
}

void TFTelephoneLines::TwoToneClick(const TTwoTone& t)
{
    const bool on = t.box->isChecked();
    t.secondLabel->setEnabled(on);
    t.second->setEnabled(on);
    t.secondUpDown->setEnabled(on);
    FirstChange(t);
}

void TFTelephoneLines::FirstChange(const TTwoTone& t)
{
    if (!t.box->isChecked()) t.second->setText(t.first->text());
}

bool TFTelephoneLines::UpDown14ChangingEx(int newValue, int direction)
{
    if (m_Spinning) return true;
    m_Spinning = true;
    bool allow = true;
    if (newValue < 1610) {
        // 0 switches the detection off; the shortest time that detects is 1610 ms.
        allow = false;
        UpDown14->SetPosition(direction > 0 ? 1610 : 0);
    }
    m_Spinning = false;
    return allow;
}

void TFTelephoneLines::LoadFromParameters()
{
    TranslatePage(this);
    CParBindings& p = Bindings();
    p.ClearControls();
    BindCombo("FXSTypeDial", ComboBox1);
    BindTrack("FXSVolRec", TrackBar1);
    BindTrack("FXSVolSend", TrackBar2);
    BindCheck("FXSSigBeep", CheckBox1, true);
    BindEdit("FXSTimeDial", Edit1);
    BindEdit("FXSTimeToAutDial", Edit3);
    BindEdit("FXSHangMin", Edit4);
    BindCheck("FXSSigCall", CheckBox2);
    BindCombo("FXSSendClip", ComboBox3);
    BindEdit("FXSNumAutDial", Edit2);
    BindEdit("FXSChangePlusTo", Edit5);
    BindCombo("FXSFrekvTarImp", ComboBox6);
    BindCombo("FXSSigOfCall", ComboBox5);
    BindCombo("FXSAlertFrekv", ComboBox8);
    BindCombo("FXSAlertCadency", ComboBox9);
    BindCombo("FXSAlertCadencyData", ComboBox12);
    BindEdit("FXSDialToneF1", Edit8);
    BindEdit("FXSDialToneF2", Edit9);
    BindCombo("FXSDialToneCad", ComboBox4);
    BindCombo("FXSConToneCad", ComboBox7);
    BindEdit("FXSConToneF1", Edit10);
    BindEdit("FXSConToneF2", Edit11);
    BindCombo("FXSRBToneCad", ComboBox13);
    BindEdit("FXSRBToneF1", Edit23);
    BindEdit("FXSRBToneF2", Edit24);
    BindCombo("FXSToneAfter", ComboBox2);
    BindTrack("FXOVolRec", TrackBar3);
    BindTrack("FXOVolSend", TrackBar4);
    BindEdit("FXOAlertCount", Edit12);
    BindEdit("FXOTimeFor1Dial", Edit13);
    BindEdit("FXOTimeForEDial", Edit6);
    BindCombo("FXODialType", ComboBox10);
    BindEdit("FXOMinTimeCancel", Edit7);
    BindEdit("FXOMaxTimeDial", Edit14);
    BindCheck("FXOSigEDialBeep", CheckBox3, true);
    BindCheck("FXODetSigPrepol", CheckBox6);
    BindEdit("FXODetConTone", Edit15);
    BindEdit("FXODetPermTone", Edit16);
    BindEdit("FXODialToneF1", Edit17);
    BindEdit("FXODialToneF2", Edit18);
    BindCombo("FXODialToneCad", ComboBox11);
    BindEdit("FXORBToneF1", Edit26);
    BindEdit("FXORBToneF2", Edit25);
    BindCombo("FXORBToneCad", ComboBox14);
    BindEdit("FXONumAutDial", Edit19);
    BindEdit("FXOTimeToAutDial", Edit20);
    BindEdit("FXODTMFCode", Edit21);
    BindEdit("FXODTMFLength", Edit22);
    // The tab the user was on stays in front (a language switch reloads the page).
    QWidget* shown = PageControl1->currentWidget();
    PageControl1->setCurrentWidget(TabSheet2);
    p.ControlsFromValues();
    PageControl1->setCurrentWidget(TabSheet1);
    p.ControlsFromValues();
    PageControl1->setCurrentWidget(shown);
    for (const TTwoTone& t : m_Tones) t.box->setChecked(t.first->text() != t.second->text());
    for (const TTwoTone& t : m_Tones) TwoToneClick(t);
}

void TFTelephoneLines::StoreToParameters() { Bindings().ValuesFromControls(); }
