#include "Initialisation.h"

#include "Globals.h"
#include "Keyboard.h"
#include "Formtexts.h"
#include "Language.h"
#include "Parameters.h"

#include <QGridLayout>
#include <QPushButton>
#include <QVBoxLayout>

const std::vector<const char*>& TFInitialisation::GroupKeys(int group)
{
    static const std::vector<const char*> groups[7] = {
        {"FXSTypeDial",     "FXSVolRec",           "FXSVolSend",       "FXSSigBeep",    "FXSTimeDial",
         "FXSToneAfter",    "FXSNumAutDial",       "FXSTimeToAutDial", "FXSHangMin",    "FXSSigCall",
         "FXSSendClip",     "FXSChangePlusTo",     "FXSFrekvTarImp",   "FXSSigOfCall",  "FXSAlertFrekv",
         "FXSAlertCadency", "FXSAlertCadencyData", "FXSConToneCad",    "FXSDialToneF1", "FXSDialToneF2",
         "FXSConToneF1",    "FXSConToneF2",        "FXSRBToneCad",     "FXSRBToneF1",   "FXSRBToneF2",
         "FXSDialToneCad"},
        {"FXOAlertCount",    "FXOTimeFor1Dial", "FXOTimeForEDial",  "FXOSigEDialBeep", "FXODialType",
         "FXOMinTimeCancel", "FXOMaxTimeDial",  "FXODetSigPrepol",  "FXODetConTone",   "FXODetPermTone",
         "FXODialToneCad",   "FXODialToneF1",   "FXODialToneF2",    "FXORBToneCad",    "FXORBToneF1",
         "FXORBToneF2",      "FXONumAutDial",   "FXOTimeToAutDial", "FXODTMFCode",     "FXODTMFLength",
         "FXOVolRec",        "FXOVolSend"},
        {"Veltran",      "FXSDefPermitted", "FXSDefDirection", "FXSDefNumLength", "FXSDefNumEnd",
         "FXSDefRemove", "FXSDefAdd",       "FXSDefExtraTar",  "FXSDefTarif",     "FXSDefCallTime",
         "FXSNumBegin",  "FXSPermitted",    "FXSDirection",    "FXSNumLength",    "FXSNumEnd",
         "FXSRemove",    "FXSAdd",          "FXSExtraTar",     "FXSTarif",        "FXSCallTime"},
        {"Veltran", "FXODirection", "FXOFollowMeNum", "FXOAlertFMCount", "FXOFMPassw", "FXOHangUpCode",
         "FXODefPermitted", "FXODefNumLength", "FXODefNumEnd", "FXODefRemove", "FXODefAdd", "FXODefCallTime",
         "FXONumBegin", "FXOPermitted", "FXONumLength", "FXONumEnd", "FXORemove", "FXOAdd", "FXOCallTime"},
        {"GSMDISATime", "GSMDialFXOTime", "GSMCallBackTime", "GSMDefDirection", "GSMDefDialNum", "GSMDefCallTime",
         "GSMNum", "GSMSubString", "GSMDirection", "GSMDialNUm", "GSMFaxTo", "GSMCallTime", "GSMDataTo"},
        {"CLIRInk", "RoamPerm", "CallsCadence", "CreditCode", "MinCredit", "CreditAnswer", "CallHandOver", "GprsApn"},
        {"PhoneNumForSMS", "SMSText", "SendAfterMS", "TimeOfIdleS"},
    };
    static const std::vector<const char*> rest = {"COMPerm", "SMSCandence", "SMSNum", "PINVal", "ServisPassw"};
    static const std::vector<const char*> all = [] {
        std::vector<const char*> v;
        for (const auto& g : groups) v.insert(v.end(), g.begin(), g.end());
        v.insert(v.end(), rest.begin(), rest.end());
        return v;
    }();
    return group < 0 ? all : groups[group];
}

TFInitialisation::TFInitialisation(QWidget* parent) : TFPage(parent)
{
    setObjectName("TFInitialisation");
    static const char* const names[8] = {"ResetFxsButton",        "ResetFxoButton",        "ResetFxsRoutingButton",
                                         "ResetFxoRoutingButton", "ResetGsmRoutingButton", "ResetGsmSimButton",
                                         "ResetSmsInputButton",   "ResetAllButton"};
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    for (int i = 0; i < 8; ++i) {
        auto* b = new QPushButton(this);
        b->setObjectName(names[i]);
        SetTag(b, 195 + i);
        b->setMinimumHeight(36);
        const int group = i == 7 ? -1 : i;
        connect(b, &QPushButton::clicked, this, [this, group] { ButtonClick(group); });
        Buttons[size_t(i)] = b;
        if (i < 7) grid->addWidget(b, i % 4, i / 4);
    }
    top->addLayout(grid);
    top->addSpacing(16);
    top->addWidget(Buttons[7]);
    top->addStretch();
}

void TFInitialisation::LoadFromParameters() { TranslatePage(this); }

void TFInitialisation::ButtonClick(int group)
{
    const int confirm = group < 0 ? 210 : 203 + group;
    if (m_Host && !m_Host->Question(Language().Text(confirm))) return;
    ResetGroup(group);
}

void TFInitialisation::ResetGroup(int group)
{
    for (const char* key : GroupKeys(group)) Parameters().SetDefault(key);
    // The defaults of the PIN and the service password go to the gateway with the next write.
    if (group < 0 && m_Host) {
        m_Host->SetPinChanged();
        m_Host->SetPasswordChanged();
    }
}
