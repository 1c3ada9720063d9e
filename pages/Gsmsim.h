// GSM and SIM page: CLIR, roaming, hand-over, GPRS, credit check, operator lock.
#pragma once
#include "Pageform.h"

class TFGsmSim : public TFPage {
    Q_OBJECT
public:
    explicit TFGsmSim(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;

    QComboBox *Clir, *Roaming, *CallHandOver;
    QLineEdit *CreditCheckCalls, *CreditQueryCode, *MinimumCredit, *CreditPosition, *ServiceSmsNumber, *GprsApn;
    TUpDown *CreditCheckCallsUpDown, *CreditPositionUpDown, *MinimumCreditUpDown;
    QLabel *OperatorLockLabel, *OperatorLock;
};
