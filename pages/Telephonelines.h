// Telephone lines page: the FXS and FXO ports, their tones and signalling.
#pragma once
#include "Pageform.h"

class QTabWidget;

class TFTelephoneLines : public TFPage {
    Q_OBJECT
public:
    explicit TFTelephoneLines(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;

    // One tone made of one or two frequencies.
    struct TTwoTone {
        QCheckBox* box;
        QLineEdit* first;
        QLineEdit* second;
        TUpDown* secondUpDown;
        QLabel* secondLabel;
    };
    void TwoToneClick(const TTwoTone& t);  // a two-tone box clicked
    void FirstChange(const TTwoTone& t);   // a first frequency typed
    bool PermanentToneChangingEx(int newValue, int direction);

    QTabWidget* PortTabs;
    QWidget *FxsSheet, *FxoSheet;
    QTabWidget *FxsToneTabs, *FxoToneTabs;
    QComboBox *FxsDiallingType, *FxsToneAfterCall, *FxsCallerId, *FxsDialToneCadence, *FxsCallProgress,
        *FxsTariffFrequency, *FxsBusyToneCadence, *FxsRingingFrequency, *FxsVoiceRingCadence, *FxoDiallingType,
        *FxoDialToneCadence, *FxsDataRingCadence, *FxsRingBackToneCadence, *FxoRingBackToneCadence;
    QSlider *FxsReceiveVolume, *FxsSendVolume, *FxoReceiveVolume, *FxoSendVolume;
    QCheckBox *FxsEndOfDiallingBeep, *FxsPolarityReversal, *FxoEndOfDiallingBeep, *FxsDialToneTwoTone,
        *FxsBusyToneTwoTone, *FxoDetectPolarity, *FxoDialToneTwoTone, *FxsRingBackToneTwoTone, *FxoRingBackToneTwoTone;
    QLineEdit *FxsEndOfDiallingTime, *FxsAutoCallNumber, *FxsAutoCallDelay, *FxsMinOnHookTime, *FxsPlusReplacement,
        *FxoEndOfDiallingTime, *FxoMinOnHookTime, *FxsDialToneFirst, *FxsDialToneSecond, *FxsBusyToneFirst,
        *FxsBusyToneSecond, *FxoRingsBeforeAnswer, *FxoFirstDigitTime, *FxoMaxOnHookTime, *FxoBusyToneDetection,
        *FxoPermanentToneDetection, *FxoDialToneFirst, *FxoDialToneSecond, *FxoAutoCallNumber, *FxoAutoCallDelay,
        *FxoFlashDtmfCode, *FxoFlashLength, *FxsRingBackToneFirst, *FxsRingBackToneSecond, *FxoRingBackToneSecond,
        *FxoRingBackToneFirst;
    TUpDown *FxsEndOfDiallingTimeUpDown, *FxsAutoCallDelayUpDown, *FxsMinOnHookTimeUpDown, *FxoEndOfDiallingTimeUpDown,
        *FxoMinOnHookTimeUpDown, *FxsDialToneFirstUpDown, *FxsDialToneSecondUpDown, *FxsBusyToneFirstUpDown,
        *FxsBusyToneSecondUpDown, *FxoRingsBeforeAnswerUpDown, *FxoFirstDigitTimeUpDown, *FxoMaxOnHookTimeUpDown,
        *FxoBusyToneDetectionUpDown, *FxoPermanentToneDetectionUpDown, *FxoDialToneFirstUpDown,
        *FxoDialToneSecondUpDown, *FxoAutoCallDelayUpDown, *FxoFlashLengthUpDown, *FxsRingBackToneFirstUpDown,
        *FxsRingBackToneSecondUpDown, *FxoRingBackToneSecondUpDown, *FxoRingBackToneFirstUpDown;
    std::vector<TTwoTone> m_Tones;  // FXS dial, busy, FXO dial, FXS ring-back, FXO ring-back

private:
    bool m_Spinning = false;  // re-entrancy guard of the permanent-tone spinner
};
