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
    PortTabs = new QTabWidget(this);
    PortTabs->setObjectName("PortTabs");
    PortTabs->setUsesScrollButtons(false);
    top->addWidget(PortTabs);
    FxsSheet = new QWidget;
    FxsSheet->setObjectName("FxsSheet");
    FxoSheet = new QWidget;
    FxoSheet->setObjectName("FxoSheet");
    PortTabs->addTab(FxsSheet, QString());
    PortTabs->addTab(FxoSheet, QString());
    SetTag(FxsSheet, 214);
    SetTag(FxoSheet, 215);

    // An edit with its up-down; the up-down is named after the edit.
    auto spin = [this](QLineEdit*& edit, TUpDown*& ud, const char* name, int max, int lo, int hi, int step = 1) {
        edit = MakeEdit(name, max);
        ud = MakeUpDown((std::string(name) + "UpDown").c_str(), edit, lo, hi, step);
        return EditWithUpDown(edit, ud);
    };
    // A tone: two frequencies side by side, below them whether it has two and its cadence.
    // Its widgets are named after `name`: nameSheet, nameFirst, nameTwoTone, nameSecond,
    // nameSecondLabel, nameCadence.
    auto tone = [this, &spin](QTabWidget* tabs, const std::string& name, int sheetTag, QLineEdit*& f1, TUpDown*& u1,
                              QCheckBox*& box, int boxTag, QLineEdit*& f2, TUpDown*& u2, int f1Tag, int f2Tag,
                              QComboBox*& cadence, std::initializer_list<int> values, int cadTag) {
        auto* page = new QWidget;
        page->setObjectName(QString::fromStdString(name + "Sheet"));
        tabs->addTab(page, QString());
        SetTag(page, sheetTag);
        auto* grid = new QGridLayout(page);
        QWidget* first = spin(f1, u1, (name + "First").c_str(), 4, 5, 3400);
        QWidget* second = spin(f2, u2, (name + "Second").c_str(), 4, 5, 3400);
        box = MakeCheck((name + "TwoTone").c_str(), boxTag);
        cadence = MakeCombo((name + "Cadence").c_str(), values, cadTag);
        QLabel* l2 = AddCell(grid, 0, 2, f2Tag, second, (name + "SecondLabel").c_str());
        AddCell(grid, 0, 0, f1Tag, first);
        grid->addWidget(box, 1, 0, 1, 2);
        AddCell(grid, 1, 2, cadTag, cadence);
        grid->setColumnStretch(1, 1);
        grid->setColumnStretch(3, 1);
        m_Tones.push_back({box, f1, f2, u2, l2});
    };

    // FXS port: two columns of short settings, signalling and tones across the page.
    auto* fxs = new QGridLayout(FxsSheet);
    fxs->setContentsMargins(6, 6, 6, 6);
    QGroupBox* g1 = MakeGroup("FxsVolumeGroup", 41, FxsSheet);
    auto* f1 = new QFormLayout(g1);
    FxsReceiveVolume = MakeTrack("FxsReceiveVolume", 1, 5);
    AddRow(f1, 43, FxsReceiveVolume);
    FxsSendVolume = MakeTrack("FxsSendVolume", 1, 5);
    AddRow(f1, 42, FxsSendVolume);
    QGroupBox* g2 = MakeGroup("FxsDiallingGroup", 47, FxsSheet);
    auto* f2 = new QFormLayout(g2);
    FxsDiallingType = MakeCombo("FxsDiallingType", {0, 1}, 33);
    AddRow(f2, 33, FxsDiallingType);
    AddRow(f2, 34, spin(FxsEndOfDiallingTime, FxsEndOfDiallingTimeUpDown, "FxsEndOfDiallingTime", 3, 1, 255));
    AddRow(f2, 36, spin(FxsMinOnHookTime, FxsMinOnHookTimeUpDown, "FxsMinOnHookTime", 5, 100, 25500, 100));
    FxsEndOfDiallingBeep = MakeCheck("FxsEndOfDiallingBeep", 37);
    f2->addRow(FxsEndOfDiallingBeep);
    FxsToneAfterCall = MakeCombo("FxsToneAfterCall", {0, 1}, 35);
    AddRow(f2, 35, FxsToneAfterCall);
    QGroupBox* g3 = MakeGroup("FxsAutoCallGroup", 38, FxsSheet);
    auto* f3 = new QFormLayout(g3);
    FxsAutoCallNumber = MakeEdit("FxsAutoCallNumber", 20);
    AddRow(f3, 39, FxsAutoCallNumber);
    AddRow(f3, 40, spin(FxsAutoCallDelay, FxsAutoCallDelayUpDown, "FxsAutoCallDelay", 3, 0, 255));
    QGroupBox* g4 = MakeGroup("FxsCallerIdGroup", 163, FxsSheet);
    auto* f4 = new QFormLayout(g4);
    FxsCallerId = MakeCombo("FxsCallerId", {0, 1}, 45);
    AddRow(f4, 45, FxsCallerId);
    FxsPlusReplacement = MakeEdit("FxsPlusReplacement", 4);
    AddRow(f4, 136, FxsPlusReplacement);
    // Signalling in two columns: on/off signals and frequencies, then the patterns.
    QGroupBox* g5 = MakeGroup("FxsSignallingGroup", 152, FxsSheet);
    auto* f5 = new QGridLayout(g5);
    FxsPolarityReversal = MakeCheck("FxsPolarityReversal", 46);
    f5->addWidget(FxsPolarityReversal, 0, 0, 1, 2);
    FxsTariffFrequency = MakeCombo("FxsTariffFrequency", {0, 1}, 148);
    AddCell(f5, 1, 0, 148, FxsTariffFrequency);
    FxsCallProgress = MakeCombo("FxsCallProgress", {0, 1, 2, 3}, 149);
    AddCell(f5, 0, 2, 149, FxsCallProgress);
    FxsRingingFrequency = MakeCombo("FxsRingingFrequency", {50, 25}, 164);
    AddCell(f5, 2, 0, 164, FxsRingingFrequency);
    // One list for voice calls, one for data and fax: the labels say which.
    FxsVoiceRingCadence = MakeCombo("FxsVoiceRingCadence", {0, 1, 2, 3}, 165);
    AddCell(f5, 1, 2, kTextCadenceVoice, FxsVoiceRingCadence);
    FxsDataRingCadence = MakeCombo("FxsDataRingCadence", {0, 1, 2, 3}, 165);
    AddCell(f5, 2, 2, kTextCadenceData, FxsDataRingCadence);
    f5->setColumnStretch(1, 1);
    f5->setColumnStretch(3, 1);
    QGroupBox* gTones = MakeGroup("FxsTonesGroup", 162, FxsSheet);
    auto* ft = new QVBoxLayout(gTones);
    FxsToneTabs = new QTabWidget(gTones);
    FxsToneTabs->setObjectName("FxsToneTabs");
    FxsToneTabs->setUsesScrollButtons(false);
    ft->addWidget(FxsToneTabs);
    tone(FxsToneTabs, "FxsDialTone", 166, FxsDialToneFirst, FxsDialToneFirstUpDown, FxsDialToneTwoTone, 167,
         FxsDialToneSecond, FxsDialToneSecondUpDown, 168, 169, FxsDialToneCadence, {0, 1}, 170);
    tone(FxsToneTabs, "FxsBusyTone", 172, FxsBusyToneFirst, FxsBusyToneFirstUpDown, FxsBusyToneTwoTone, 167,
         FxsBusyToneSecond, FxsBusyToneSecondUpDown, 168, 169, FxsBusyToneCadence, {0, 1, 2, 3, 4}, 171);
    tone(FxsToneTabs, "FxsRingBackTone", 280, FxsRingBackToneFirst, FxsRingBackToneFirstUpDown, FxsRingBackToneTwoTone,
         167, FxsRingBackToneSecond, FxsRingBackToneSecondUpDown, 168, 169, FxsRingBackToneCadence, kRingBackCadences,
         281);
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
    auto* fxo = new QGridLayout(FxoSheet);
    fxo->setContentsMargins(6, 6, 6, 6);
    QGroupBox* g6 = MakeGroup("FxoDiallingGroup", 47, FxoSheet);
    auto* f6 = new QFormLayout(g6);
    AddRow(f6, 177, spin(FxoRingsBeforeAnswer, FxoRingsBeforeAnswerUpDown, "FxoRingsBeforeAnswer", 3, 0, 255));
    AddRow(f6, 178, spin(FxoFirstDigitTime, FxoFirstDigitTimeUpDown, "FxoFirstDigitTime", 3, 1, 255));
    AddRow(f6, 179, spin(FxoEndOfDiallingTime, FxoEndOfDiallingTimeUpDown, "FxoEndOfDiallingTime", 3, 1, 255));
    FxoDiallingType = MakeCombo("FxoDiallingType", {0, 1}, 180);
    AddRow(f6, 180, FxoDiallingType);
    AddRow(f6, 181, spin(FxoMinOnHookTime, FxoMinOnHookTimeUpDown, "FxoMinOnHookTime", 5, 100, 25500, 100));
    AddRow(f6, 182, spin(FxoMaxOnHookTime, FxoMaxOnHookTimeUpDown, "FxoMaxOnHookTime", 3, 1, 255));
    FxoEndOfDiallingBeep = MakeCheck("FxoEndOfDiallingBeep", 183);
    f6->addRow(FxoEndOfDiallingBeep);
    QGroupBox* g7 = MakeGroup("FxoSignallingGroup", 152, FxoSheet);
    auto* f7 = new QFormLayout(g7);
    FxoDetectPolarity = MakeCheck("FxoDetectPolarity", 184);
    f7->addRow(FxoDetectPolarity);
    AddRow(f7, 185, spin(FxoBusyToneDetection, FxoBusyToneDetectionUpDown, "FxoBusyToneDetection", 3, 0, 255));
    AddRow(
        f7, 186,
        spin(FxoPermanentToneDetection, FxoPermanentToneDetectionUpDown, "FxoPermanentToneDetection", 4, 0, 8925, 35));
    FxoPermanentToneDetectionUpDown->OnChangingEx = [this](int v, int d) { return PermanentToneChangingEx(v, d); };
    QGroupBox* g9 = MakeGroup("FxoVolumeGroup", 41, FxoSheet);
    auto* f9 = new QFormLayout(g9);
    FxoReceiveVolume = MakeTrack("FxoReceiveVolume", 1, 5);
    AddRow(f9, 43, FxoReceiveVolume);
    FxoSendVolume = MakeTrack("FxoSendVolume", 1, 5);
    AddRow(f9, 42, FxoSendVolume);
    QGroupBox* g10 = MakeGroup("FxoAutoCallGroup", 192, FxoSheet);
    auto* f10 = new QFormLayout(g10);
    FxoAutoCallNumber = MakeEdit("FxoAutoCallNumber", 20);
    AddRow(f10, 193, FxoAutoCallNumber);
    AddRow(f10, 194, spin(FxoAutoCallDelay, FxoAutoCallDelayUpDown, "FxoAutoCallDelay", 3, 0, 255));
    QGroupBox* g11 = MakeGroup("FxoFlashGroup", 275, FxoSheet);
    auto* f11 = new QFormLayout(g11);
    FxoFlashDtmfCode = MakeEdit("FxoFlashDtmfCode", 4);
    AddRow(f11, 276, FxoFlashDtmfCode);
    AddRow(f11, 277, spin(FxoFlashLength, FxoFlashLengthUpDown, "FxoFlashLength", 4, 100, 1500, 100));
    QGroupBox* g8 = MakeGroup("FxoTonesGroup", 162, FxoSheet);
    auto* f8 = new QVBoxLayout(g8);
    FxoToneTabs = new QTabWidget(g8);
    FxoToneTabs->setObjectName("FxoToneTabs");
    FxoToneTabs->setUsesScrollButtons(false);
    f8->addWidget(FxoToneTabs);
    tone(FxoToneTabs, "FxoDialTone", 166, FxoDialToneFirst, FxoDialToneFirstUpDown, FxoDialToneTwoTone, 188,
         FxoDialToneSecond, FxoDialToneSecondUpDown, 189, 190, FxoDialToneCadence, {0, 1}, 191);
    tone(FxoToneTabs, "FxoRingBackTone", 280, FxoRingBackToneFirst, FxoRingBackToneFirstUpDown, FxoRingBackToneTwoTone,
         188, FxoRingBackToneSecond, FxoRingBackToneSecondUpDown, 189, 190, FxoRingBackToneCadence, kRingBackCadences,
         281);
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
    ChainFocus({PortTabs,
                FxsReceiveVolume,
                FxsSendVolume,
                FxsDiallingType,
                FxsEndOfDiallingTime,
                FxsMinOnHookTime,
                FxsEndOfDiallingBeep,
                FxsToneAfterCall,
                FxsCallerId,
                FxsPlusReplacement,
                FxsAutoCallNumber,
                FxsAutoCallDelay,
                FxsPolarityReversal,
                FxsTariffFrequency,
                FxsRingingFrequency,
                FxsCallProgress,
                FxsVoiceRingCadence,
                FxsDataRingCadence,
                FxsToneTabs,
                FxsDialToneFirst,
                FxsDialToneTwoTone,
                FxsDialToneSecond,
                FxsDialToneCadence,
                FxsBusyToneFirst,
                FxsBusyToneTwoTone,
                FxsBusyToneSecond,
                FxsBusyToneCadence,
                FxsRingBackToneFirst,
                FxsRingBackToneTwoTone,
                FxsRingBackToneSecond,
                FxsRingBackToneCadence,
                FxoReceiveVolume,
                FxoSendVolume,
                FxoRingsBeforeAnswer,
                FxoFirstDigitTime,
                FxoEndOfDiallingTime,
                FxoDiallingType,
                FxoMinOnHookTime,
                FxoMaxOnHookTime,
                FxoEndOfDiallingBeep,
                FxoDetectPolarity,
                FxoBusyToneDetection,
                FxoPermanentToneDetection,
                FxoAutoCallNumber,
                FxoAutoCallDelay,
                FxoFlashDtmfCode,
                FxoFlashLength,
                FxoToneTabs,
                FxoDialToneFirst,
                FxoDialToneTwoTone,
                FxoDialToneSecond,
                FxoDialToneCadence,
                FxoRingBackToneFirst,
                FxoRingBackToneTwoTone,
                FxoRingBackToneSecond,
                FxoRingBackToneCadence});

    // m_Tones is built FXS dial, busy, ring-back, FXO dial, ring-back; the page's rules take
    // the FXO dial tone before the FXS ring-back tone.
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

bool TFTelephoneLines::PermanentToneChangingEx(int newValue, int direction)
{
    if (m_Spinning) return true;
    m_Spinning = true;
    bool allow = true;
    if (newValue < 1610) {
        // 0 switches the detection off; the shortest time that detects is 1610 ms.
        allow = false;
        FxoPermanentToneDetectionUpDown->SetPosition(direction > 0 ? 1610 : 0);
    }
    m_Spinning = false;
    return allow;
}

void TFTelephoneLines::LoadFromParameters()
{
    TranslatePage(this);
    CParBindings& p = Bindings();
    p.ClearControls();
    BindCombo("FXSTypeDial", FxsDiallingType);
    BindTrack("FXSVolRec", FxsReceiveVolume);
    BindTrack("FXSVolSend", FxsSendVolume);
    BindCheck("FXSSigBeep", FxsEndOfDiallingBeep, true);
    BindEdit("FXSTimeDial", FxsEndOfDiallingTime);
    BindEdit("FXSTimeToAutDial", FxsAutoCallDelay);
    BindEdit("FXSHangMin", FxsMinOnHookTime);
    BindCheck("FXSSigCall", FxsPolarityReversal);
    BindCombo("FXSSendClip", FxsCallerId);
    BindEdit("FXSNumAutDial", FxsAutoCallNumber);
    BindEdit("FXSChangePlusTo", FxsPlusReplacement);
    BindCombo("FXSFrekvTarImp", FxsTariffFrequency);
    BindCombo("FXSSigOfCall", FxsCallProgress);
    BindCombo("FXSAlertFrekv", FxsRingingFrequency);
    BindCombo("FXSAlertCadency", FxsVoiceRingCadence);
    BindCombo("FXSAlertCadencyData", FxsDataRingCadence);
    BindEdit("FXSDialToneF1", FxsDialToneFirst);
    BindEdit("FXSDialToneF2", FxsDialToneSecond);
    BindCombo("FXSDialToneCad", FxsDialToneCadence);
    BindCombo("FXSConToneCad", FxsBusyToneCadence);
    BindEdit("FXSConToneF1", FxsBusyToneFirst);
    BindEdit("FXSConToneF2", FxsBusyToneSecond);
    BindCombo("FXSRBToneCad", FxsRingBackToneCadence);
    BindEdit("FXSRBToneF1", FxsRingBackToneFirst);
    BindEdit("FXSRBToneF2", FxsRingBackToneSecond);
    BindCombo("FXSToneAfter", FxsToneAfterCall);
    BindTrack("FXOVolRec", FxoReceiveVolume);
    BindTrack("FXOVolSend", FxoSendVolume);
    BindEdit("FXOAlertCount", FxoRingsBeforeAnswer);
    BindEdit("FXOTimeFor1Dial", FxoFirstDigitTime);
    BindEdit("FXOTimeForEDial", FxoEndOfDiallingTime);
    BindCombo("FXODialType", FxoDiallingType);
    BindEdit("FXOMinTimeCancel", FxoMinOnHookTime);
    BindEdit("FXOMaxTimeDial", FxoMaxOnHookTime);
    BindCheck("FXOSigEDialBeep", FxoEndOfDiallingBeep, true);
    BindCheck("FXODetSigPrepol", FxoDetectPolarity);
    BindEdit("FXODetConTone", FxoBusyToneDetection);
    BindEdit("FXODetPermTone", FxoPermanentToneDetection);
    BindEdit("FXODialToneF1", FxoDialToneFirst);
    BindEdit("FXODialToneF2", FxoDialToneSecond);
    BindCombo("FXODialToneCad", FxoDialToneCadence);
    BindEdit("FXORBToneF1", FxoRingBackToneFirst);
    BindEdit("FXORBToneF2", FxoRingBackToneSecond);
    BindCombo("FXORBToneCad", FxoRingBackToneCadence);
    BindEdit("FXONumAutDial", FxoAutoCallNumber);
    BindEdit("FXOTimeToAutDial", FxoAutoCallDelay);
    BindEdit("FXODTMFCode", FxoFlashDtmfCode);
    BindEdit("FXODTMFLength", FxoFlashLength);
    // The tab the user was on stays in front (a language switch reloads the page).
    QWidget* shown = PortTabs->currentWidget();
    PortTabs->setCurrentWidget(FxoSheet);
    p.ControlsFromValues();
    PortTabs->setCurrentWidget(FxsSheet);
    p.ControlsFromValues();
    PortTabs->setCurrentWidget(shown);
    for (const TTwoTone& t : m_Tones) t.box->setChecked(t.first->text() != t.second->text());
    for (const TTwoTone& t : m_Tones) TwoToneClick(t);
}

void TFTelephoneLines::StoreToParameters() { Bindings().ValuesFromControls(); }
