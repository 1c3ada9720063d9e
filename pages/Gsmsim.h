// GSM and SIM page: CLIR, roaming, hand-over, GPRS, credit check, operator lock.
#pragma once
#include "Pageform.h"

class TFGsmSim : public TFPage {
    Q_OBJECT
public:
    explicit TFGsmSim(QWidget* parent = nullptr);
    void LoadFromParameters() override;
    void StoreToParameters() override;

    QComboBox *ComboBox1, *ComboBox2, *ComboBox3;
    QLineEdit *Edit1, *Edit2, *Edit3, *Edit4, *Edit5, *Edit6;
    TUpDown *UpDown1, *UpDown2, *UpDown3;
    QLabel *Label1, *Label8;
};
